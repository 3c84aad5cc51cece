// SymbolReport.txt: why each symbol was removed. It tallies every symbol the
// scan removes and learns what it can of Symbols.txt as it is loaded; after
// the run it writes a table, one record a symbol, the most removed first,
// and then plain sentences about the two files. Its memory is bounded
// whatever the list: a symbol keeps at most kKeptBytes of its bytes, and at
// most kLargestTable symbols get a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/near_match.h"
#include "engine/symbol_index.h"

namespace engine {

class OutputBuffer;
class SymbolInventory;

class SymbolReport {
 public:
  static constexpr std::size_t kLargestTable = 10000;
  static constexpr std::size_t kKeptBytes = 128;

  // Line `line_number` of Symbols.txt, and the symbol it holds, trimmed
  // (empty for a blank line).
  void InventoryLine(long long line_number, std::string_view line, std::string_view symbol);
  // Symbols removed from line `line_number` of in.txt, packed as
  // SymbolIndex::Pack does; lines come in order. One that is removed again,
  // the usual case, costs a lookup and a count.
  void Removed(std::span<const std::uint64_t> packed, long long line_number) {
    CountLine(line_number);
    // Held in locals, which the counts written cannot change.
    SymbolIndex::PackedProbe probe = removed_.Probe();
    Tally* tallies = tallies_.data();
    for (const std::uint64_t symbol : packed) {
      const std::uint32_t number = probe.Find<false>(symbol);
      if (number != SymbolIndex::kAbsent) {
        Count(tallies[number], line_number);
        continue;
      }
      RemovedFirst(symbol, line_number);
      probe = removed_.Probe();
      tallies = tallies_.data();
    }
  }
  // One symbol, of any length.
  void Removed(std::string_view symbol, long long line_number);
  // How many lines of in.txt end with CR LF, and with a lone CR or LF.
  void LineEnds(long long crlf, long long lone) {
    crlf_ends_ = crlf;
    lone_ends_ = lone;
  }
  // After the run: `inventory` knows which of its symbols the list used.
  void Write(OutputBuffer& report, const SymbolInventory& inventory) const;

 private:
  struct Tally {
    std::string kept;  // the symbol's first kKeptBytes bytes
    std::size_t length = 0;
    std::uint64_t times = 0;
    long long lines = 0;
    long long first_line = 0;
    long long last_line = 0;
  };
  // What sentences name: the first few, and how many there are.
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
  // A line of Symbols.txt that a sentence names.
  struct InventoryFlaw {
    long long line_number;
    std::string symbol;        // its first kKeptBytes bytes
    long long first_line = 0;  // for a repeat: the line that has it first
  };
  using InventoryFlaws = FirstFew<InventoryFlaw>;

  // Another removal of a symbol that has a tally.
  static void Count(Tally& tally, long long line_number) {
    ++tally.times;
    if (tally.last_line != line_number) {
      ++tally.lines;
      tally.last_line = line_number;
    }
  }
  // Lines come in order: a line with removals counts once.
  void CountLine(long long line_number) {
    if (line_number != last_line_) {
      ++lines_;
      last_line_ = line_number;
    }
  }
  std::string_view KeyOf(std::string_view symbol);
  // Out of the way of the usual case.
  [[gnu::noinline]] void RemovedFirst(std::uint64_t packed, long long line_number);
  void RemovedFirst(std::string_view symbol, long long line_number);
  bool CountOverflow(std::string_view symbol);
  void WriteSentences(OutputBuffer& report, const SymbolInventory& inventory) const;
  // "Symbols.txt has 3 more lines like the one before.", for what FirstFew left out.
  template <class Item>
  static void WriteMore(OutputBuffer& report, const FirstFew<Item>& found, std::string_view one,
                        std::string_view many);
  std::string NoteFor(const Tally& tally) const;
  void WriteUnused(OutputBuffer& report, const SymbolInventory& inventory) const;

  // The symbols with a record, by their kept bytes (and, for a longer one,
  // its length and hash), and their tallies, by number.
  SymbolIndex removed_;
  std::vector<Tally> tallies_;
  std::string long_key_;
  long long lines_ = 0;  // lines of in.txt with a symbol removed
  long long last_line_ = 0;
  // Symbols past the table's end: their removals, and how many there are,
  // counted exactly up to the size of their set of hashes.
  std::uint64_t overflow_times_ = 0;
  std::vector<std::uint64_t> overflow_hashes_;
  std::size_t overflow_symbols_ = 0;
  bool overflow_counted_exactly_ = true;
  long long crlf_ends_ = 0, lone_ends_ = 0;
  // The first line of each file with a byte that cannot be UTF-8, and that byte.
  long long list_stray_line_ = 0;
  unsigned char list_stray_byte_ = 0;
  long long inventory_stray_line_ = 0;
  unsigned char inventory_stray_byte_ = 0;

  InventoryFlaws spaced_, tabbed_, repeated_;
  NearMatches near_matches_;
  // Sentences on pairs of Symbols.txt's symbols that are the same after
  // normalisation or look the same.
  FirstFew<std::string> alike_;
};

}  // namespace engine
