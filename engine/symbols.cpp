#include "engine/symbols.h"

#include "engine/inventory_check.h"
#include "engine/text_reader.h"
#include "runtime/error.h"

namespace engine {

std::uint32_t SymbolInventory::AddSymbol(std::string_view symbol) {
  rt::CheckedIncrement(SymbolCount);
  return index_.Insert(symbol);
}

void LoadInventory(TextReader& symbols, SymbolInventory& inventory, InventoryCheck& check) {
  std::string_view line;
  for (long long line_number = 1; symbols.NextLine(line); ++line_number) {
    const std::string_view symbol = TrimmedOfSpaces(line);
    const std::uint32_t number =
        symbol.empty() ? SymbolIndex::kAbsent : inventory.AddSymbol(symbol);
    check.Line(line_number, line, symbol, number);
  }
}

}  // namespace engine
