// What the report says of Symbols.txt itself, learnt line by line as the
// inventory loads: lines that can never match or repeat another, a byte
// that is not UTF-8, one IPA symbol written in two code points, and what the
// notes on removed symbols need to know of the inventory as a whole. It keeps
// a number or two a symbol, never the symbols' bytes, which the inventory
// already holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

class SymbolInventory;

// The inventory as a whole.
struct InventoryFacts {
  std::vector<bool> characters = std::vector<bool>(0x110000);  // the code points its symbols use
  std::vector<char32_t> used;                                  // the same, in the order first met
  bool digits = false;                                         // some symbol has a digit
  bool upper = false, lower = false;
  bool non_ascii = false;
  std::size_t longest = 0;  // bytes of the longest symbol
  bool Uses(char32_t code_point) const {
    return code_point < characters.size() && characters[code_point];
  }
};

class InventoryCheck {
 public:
  // The first few of something, and how many there are.
  template <class Item>
  struct FirstFew {
    static constexpr std::size_t kShown = 5;
    std::vector<Item> shown;
    long long count = 0;
    void Add(Item item) {
      if (shown.size() < kShown) shown.push_back(std::move(item));
      ++count;
    }
  };

  // Line `line_number` of Symbols.txt, and the symbol it holds, trimmed
  // (empty for a blank line), with the symbol's number in the inventory.
  void Line(long long line_number, std::string_view line, std::string_view symbol,
            std::uint32_t number);

  // The line that has the symbol first.
  long long LineOf(std::uint32_t number) const {
    return number < first_lines_.size() ? first_lines_[number] : 0;
  }
  const InventoryFacts& Facts() const { return facts_; }

  // That Symbols.txt is not UTF-8, or empty.
  std::string NotUtf8() const;
  // The sentences on its lines, and which of its symbols in.txt never uses.
  std::vector<std::string> Sentences(const SymbolInventory& inventory) const;

 private:
  struct Flaw {
    long long line_number;
    std::string symbol;        // as shown
    long long first_line = 0;  // for a repeat: the line that has it first
  };
  void LearnCharacters(long long line_number, std::string_view symbol);
  void AddPairs(const SymbolInventory& inventory, std::vector<std::string>& sentences) const;
  void AddUnused(const SymbolInventory& inventory, std::vector<std::string>& sentences) const;

  std::vector<std::uint32_t> first_lines_;  // by symbol number, at most UINT32_MAX
  InventoryFacts facts_;
  // The first line of each character, for the sentences that name a pair;
  // past kNamedCharacters characters, the rest have none.
  static constexpr std::size_t kNamedCharacters = 1 << 16;
  std::unordered_map<char32_t, long long> character_lines_;
  long long stray_line_ = 0;
  unsigned char stray_byte_ = 0;
  FirstFew<Flaw> spaced_, tabbed_, repeated_;
};

}  // namespace engine
