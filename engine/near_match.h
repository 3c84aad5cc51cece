// What a removed symbol nearly matches in Symbols.txt: the inventory symbol
// it is another way of writing, and how, said in one sentence. The ways,
// strongest first: the same after Unicode normalisation; a look-alike (UTS
// #39's confusables, which hold the phonetic ones: g and ɡ, : and ː, ' and
// ˈ); the same without invisible characters; legal symbols joined by a space
// other than U+0020; the same in another case; the same with or without a
// stress digit at its end; an inventory symbol with marks added.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/unicode.h"

namespace engine {

class NearMatches {
 public:
  // Learns the next symbol of Symbols.txt, on line `line_number`, one not
  // learnt yet. When an earlier, different symbol is the same after
  // normalisation or looks the same, returns a sentence that says so.
  std::string Add(std::string_view symbol, long long line_number);
  // The line of Symbols.txt that has the symbol first, or 0.
  long long LineOf(std::string_view symbol) const {
    const auto found = symbols_.find(std::string(symbol));
    return found == symbols_.end() ? 0 : found->second.line_number;
  }

  // Calls visit(symbol, line_number) for each symbol learnt, in no order.
  template <class Visit>
  void ForEachSymbol(Visit&& visit) const {
    for (const auto& [symbol, entry] : symbols_) visit(symbol, entry.line_number);
  }

  // The sentence for a removed symbol, or empty when nothing is near it.
  std::string NoteFor(std::string_view removed) const;

 private:
  struct Entry {
    std::string symbol;
    long long line_number;
  };
  using Index = std::unordered_map<std::string, Entry>;  // by a form of the symbol

  bool Legal(std::string_view text) const { return LineOf(text) != 0; }
  // The symbol whose form is `key`, if not `removed` itself.
  const Entry* Other(const Index& index, const std::string& key, std::string_view removed) const;
  std::string MarksNote(std::string_view removed,
                        const std::vector<unicode::Character>& characters) const;

  Index symbols_, composed_, skeletons_, folded_;
  // Symbols with a stress digit at their end, by the symbol without it.
  std::unordered_map<std::string, std::vector<std::string>> stressed_;
};

}  // namespace engine
