// SymbolReport.txt: why each symbol was removed. It tallies every symbol the
// scan removes, and its check of Symbols.txt learns of each line as the
// inventory loads; after the run it writes the findings a user must see
// first, then a table, one record a symbol, the most removed first, with a
// note and a suggested replacement, and then plain sentences about the two
// files. Every sentence stands in the Note column of an otherwise empty
// record. Its memory is bounded whatever the list: a symbol keeps at most
// kKeptBytes of its bytes, and at most kLargestTable symbols get a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/inventory_check.h"
#include "engine/report_text.h"
#include "engine/symbol_index.h"

namespace engine {

class OutputBuffer;
class Replacements;
class SymbolInventory;
struct Suggestion;

class SymbolReport {
 public:
  static constexpr std::size_t kLargestTable = 10000;
  static constexpr std::size_t kKeptBytes = report_text::kKeptBytes;

  // What learns of Symbols.txt as the inventory loads.
  InventoryCheck& Check() { return check_; }
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
  // After the list: how many lines it has, and how many end with CR LF
  // and with a lone CR or LF.
  void ListEnded(long long lines, long long crlf, long long lone) {
    list_lines_ = lines;
    crlf_ends_ = crlf;
    lone_ends_ = lone;
  }
  // Line `line_number` lost every symbol to Replacements.txt, and so has no
  // record in either output.
  void Emptied(long long line_number) {
    if (emptied_lines_++ == 0) first_emptied_line_ = line_number;
  }
  // After the run: `inventory` knows which of its symbols the list used,
  // and `replacements` how often each was applied. Writes the suggestions
  // to `suggestions`, in Replacements.txt's form, with the records of
  // Replacements.txt, and says whether there were any.
  bool Write(OutputBuffer& report, OutputBuffer& suggestions, const SymbolInventory& inventory,
             const Replacements& replacements) const;
  // The table's header.
  static constexpr std::string_view kHeader =
      "Symbol\tCode points\tTimes removed\tLines\tFirst line\tNote\tReplace with";
  // SuggestedReplacements.txt's header: Replacements.txt's two fields, then
  // what a person reads to choose.
  static constexpr std::string_view kSuggestionsHeader =
      "Symbol\tReplace with\tNote\tTimes in in.txt";

 private:
  struct Tally {
    std::string kept;  // the symbol's first kKeptBytes bytes
    std::size_t length = 0;
    std::uint64_t times = 0;
    long long lines = 0;
    long long first_line = 0;
    long long last_line = 0;
  };
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
  // `any_used`: the list kept a symbol of the inventory.
  std::vector<std::string> Findings(bool any_used, const std::vector<Suggestion>& suggestions,
                                    std::size_t suggested, const Replacements& replacements) const;
  std::vector<std::string> Sentences(const Replacements& replacements) const;
  std::string ColumnsNote(std::string_view symbol, const SymbolInventory& inventory) const;

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
  long long list_lines_ = 0, crlf_ends_ = 0, lone_ends_ = 0;
  long long emptied_lines_ = 0, first_emptied_line_ = 0;
  // The first line of in.txt with a byte that cannot be UTF-8, and that byte.
  long long list_stray_line_ = 0;
  unsigned char list_stray_byte_ = 0;

  InventoryCheck check_;
};

}  // namespace engine
