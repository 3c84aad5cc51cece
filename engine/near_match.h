// What a removed symbol nearly is in Symbols.txt, said as a phonologist
// would, and the symbols to write instead where the evidence cannot change a
// sound. Symbols are compared as a base letter with its marks and modifier
// letters, and ties between letters, after Unicode decomposition; a character
// may stand for another only where both write one IPA symbol (g and ɡ, : and
// ː), never where they are two letters of the IPA (a and ɑ), nor where the
// inventory uses both. The nearest is the one with the fewest changes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

class SymbolInventory;
struct InventoryFacts;

struct Suggestion {
  // What the symbol nearly is, for a finding on the removals as a whole.
  enum class Kind { kNone, kCase, kStress, kOther };
  std::string note;
  std::string replacement;  // symbols separated by spaces, or empty for none
  Kind kind = Kind::kNone;
  bool exact = false;  // the inventory symbol itself, only written otherwise
};

// The ways a token splits into symbols that the inventory has, written
// without spaces between them: `ways` is 0, 1, or 2 for two or more, and
// `parts` the split into the fewest symbols (ˈ aɪ rather than ˈ a ɪ), which
// is how a transcriber who left out the spaces wrote it. Cuts fall between
// characters; no symbol is longer than `longest` bytes, so the work is
// linear in the token's length.
struct Split {
  int ways = 0;
  std::vector<std::string_view> parts;
};
template <class Legal>
Split SplitIntoSymbols(std::string_view token, std::size_t longest, Legal&& legal) {
  const std::size_t size = token.size();
  std::vector<int> ways(size + 1, 0);
  std::vector<std::size_t> next(size + 1, 0), fewest(size + 1, 0);
  ways[size] = 1;
  auto boundary = [&](std::size_t at) {
    return at == size || (static_cast<unsigned char>(token[at]) & 0xC0) != 0x80;
  };
  for (std::size_t from = size; from-- > 0;) {
    if (!boundary(from)) continue;
    for (std::size_t to = from + 1; to <= size && to - from <= longest; ++to) {
      if (!boundary(to) || ways[to] == 0 || !legal(token.substr(from, to - from))) continue;
      if (ways[from] == 0 || fewest[to] + 1 < fewest[from]) {
        next[from] = to;
        fewest[from] = fewest[to] + 1;
      }
      ways[from] = std::min(2, ways[from] + ways[to]);
    }
  }
  Split split{ways[0], {}};
  for (std::size_t at = 0; split.ways != 0 && at < size; at = next[at])
    split.parts.push_back(token.substr(at, next[at] - at));
  return split;
}

class NearMatches {
 public:
  // `list_is_ascii`: in.txt has only ASCII, so its symbols may be X-SAMPA.
  NearMatches(const SymbolInventory& inventory, const InventoryFacts& facts, bool list_is_ascii);
  // Every symbol For will be asked about, before FindCandidates: one pass
  // over the inventory then finds what is near all of them.
  void Expect(std::string_view removed);
  void FindCandidates();
  Suggestion For(std::string_view removed) const;

  struct Segment {
    char32_t base;
    std::u32string marks;  // combining marks and modifier letters, in order
    bool tied = false;     // to the next segment
  };
  using Shape = std::vector<Segment>;

 private:
  struct Variant {
    std::u32string code_points;   // after the look-alikes of the inventory's characters
    std::u32string looked_alike;  // the symbol's characters that were taken for others
  };
  std::vector<Variant> VariantsOf(std::string_view removed) const;
  Suggestion Structural(std::string_view removed, const std::vector<Variant>& variants) const;
  Suggestion Classes(std::string_view removed) const;
  std::string Described(std::string_view symbol) const;

  const SymbolInventory& inventory_;
  const InventoryFacts& facts_;
  bool list_is_ascii_;
  // The inventory's characters, by the UTS #39 prototype they look like.
  std::unordered_map<std::u32string, std::vector<char32_t>> by_look_;
  // The variants of each symbol expected, made once.
  std::unordered_map<std::string, std::vector<Variant>> variants_;
  // The inventory's symbols, by their bases, for the bases asked about.
  std::unordered_map<std::u32string, std::vector<std::string>> candidates_;
};

}  // namespace engine
