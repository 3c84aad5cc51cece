#include "engine/symbols.h"

#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace engine {

void SymbolInventory::AddSymbol(std::string_view symbol) {
  rt::CheckedIncrement(SymbolCount);
  SymbolList.emplace_back(symbol);
  index_.Insert(symbol);
}

void LoadInventory(SymbolInventory& inventory, rt::FileTable& files, int file_number) {
  while (!files.AtEnd(file_number)) {
    std::string_view symbol = rt::Trim(files.ReadLine(file_number));
    if (!symbol.empty()) inventory.AddSymbol(symbol);
  }
  files.Close(file_number);
}

}  // namespace engine
