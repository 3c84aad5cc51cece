// The symbol inventory: every legal phonetic symbol, as Symbols.txt lists them.
#pragma once

#include <string_view>

#include "engine/symbol_index.h"

namespace engine {

class InventoryCheck;
class TextReader;

// A line of Symbols.txt or a field of Replacements.txt without the spaces
// at its ends: only the space itself, so that a TAB stays part of its symbol.
inline std::string_view TrimmedOfSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

class SymbolInventory {
 public:
  // Symbols loaded, duplicates counted.
  int SymbolCount = 0;

  // Stores one symbol, already trimmed and not empty; returns its number,
  // the same for a symbol stored again.
  std::uint32_t AddSymbol(std::string_view symbol);

  // True when MySymbol is one of the symbols, byte for byte; marks it used.
  bool LegalSymbol(std::string_view MySymbol) { return index_.Contains(MySymbol); }
  // The same question for tokens of at most SymbolIndex::kMaxPackedLength
  // bytes that the caller packs itself, for a loop that asks about many;
  // valid until the next AddSymbol.
  SymbolIndex::PackedProbe LegalPackedSymbols() { return index_.Probe(); }

  // Marks a symbol used that the list wrote otherwise.
  void MarkUsed(std::string_view symbol) { index_.Find(symbol); }

  // What the report asks after the run, which marks nothing used.
  bool Has(std::string_view symbol) const { return NumberOf(symbol) != SymbolIndex::kAbsent; }
  std::uint32_t NumberOf(std::string_view symbol) const { return index_.Peek(symbol); }
  // Whether LegalSymbol, or a probe, has found the symbol since it was stored.
  bool Used(std::string_view symbol) const { return index_.Found(symbol); }
  // Calls visit(number, symbol, used) for each different symbol, in no order.
  template <class Visit>
  void ForEachSymbol(Visit&& visit) const {
    index_.ForEachKey(visit);
  }

 private:
  // Answers what a scan of the symbols in their order would, without the
  // scan: an inventory of 100,000 lines would otherwise cost 100,000
  // comparisons a token.
  SymbolIndex index_;
};

// Reads the inventory to the end of its file. Lines are trimmed of spaces;
// blank ones are skipped. The check learns of every line.
void LoadInventory(TextReader& symbols, SymbolInventory& inventory, InventoryCheck& check);

}  // namespace engine
