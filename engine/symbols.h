// The symbol inventory: every legal phonetic symbol, as Symbols.txt lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/symbol_index.h"

namespace rt {
class FileTable;
}

namespace engine {

class SymbolInventory {
 public:
  // The symbols in the order of their lines, duplicates kept; symbol number i
  // (counting from 1) is SymbolList[i - 1].
  std::vector<std::string> SymbolList;
  int SymbolCount = 0;

  // Stores one symbol, already trimmed and not empty.
  void AddSymbol(std::string_view symbol);

  // True when MySymbol is one of the symbols, byte for byte.
  bool LegalSymbol(std::string_view MySymbol) const { return index_.Contains(MySymbol); }
  // The same question for tokens of at most SymbolIndex::kMaxPackedLength
  // bytes that the caller packs itself, for a loop that asks about many;
  // valid until the next AddSymbol.
  SymbolIndex::PackedProbe LegalPackedSymbols() const { return index_.Probe(); }

 private:
  // Answers what a scan of SymbolList would, without the scan: an inventory of
  // 100,000 lines would otherwise cost 100,000 comparisons a token.
  SymbolIndex index_;
};

// Reads the inventory from an open input file to its end, then closes the file.
// Lines are trimmed of spaces; blank ones are skipped.
void LoadInventory(SymbolInventory& inventory, rt::FileTable& files, int file_number);

}  // namespace engine
