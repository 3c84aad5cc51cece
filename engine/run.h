// The cleaning run: the program's whole job, done once, inside the first click.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/io.h"
#include "engine/symbols.h"

namespace engine {

// The files of the run, by name in the program's folder.
inline constexpr std::string_view kInName = "in.txt";
inline constexpr std::string_view kFixedName = "FixedLines.txt";
inline constexpr std::string_view kBadName = "BadLines.txt";
inline constexpr std::string_view kSymbolsName = "Symbols.txt";
inline constexpr std::string_view kReportName = "SymbolReport.txt";
inline constexpr std::string_view kReplacementsName = "Replacements.txt";
inline constexpr std::string_view kSuggestionsName = "SuggestedReplacements.txt";

inline constexpr int kProgressEvery = 1000;
inline constexpr std::string_view kBlankLineText = "blank line (removed in FixedLines.txt)";
inline constexpr std::string_view kBadSymbolText = "Bad symbol removed";
inline constexpr std::string_view kClosingCaption =
    "Done.  Fixed file is in this folder, called FixedLines.txt.  List of lines repaired is also "
    "in this folder, with the file name BadLines.txt.  Click again to exit.";

std::string ProgressCaption(int line_count);

// Counts the lines of the list as the run hands them out, showing progress
// every kProgressEvery lines; a count past the largest 32-bit one is the
// overflow error.
class LineCounter {
 public:
  explicit LineCounter(Progress progress, int LineCount = 0)
      : progress_(std::move(progress)), LineCount_(LineCount) {}
  // Called for every line the list has: the usual case is one test.
  void Count(int lines) {
    const long long counted = static_cast<long long>(LineCount_) + lines;
    if (counted >= next_caption_ || counted > kLargestCount) return CountPastCaption(counted);
    LineCount_ = static_cast<int>(counted);
  }
  int LineCount() const { return LineCount_; }

 private:
  static constexpr long long kLargestCount = 2147483647;  // signed 32 bits
  void CountPastCaption(long long counted);

  Progress progress_;
  int LineCount_;
  long long next_caption_ = (LineCount_ / kProgressEvery + 1) * 1LL * kProgressEvery;
};

struct RunFiles {
  ByteSource list;                         // in.txt
  ByteSource symbols;                      // Symbols.txt
  std::optional<ByteSource> replacements;  // Replacements.txt, where the folder has one
  ByteSink fixed;                          // FixedLines.txt
  ByteSink bad;                            // BadLines.txt
  ByteSink report;                         // SymbolReport.txt
  ByteSink suggestions;                    // SuggestedReplacements.txt
};

struct RunOutcome {
  // The report suggests replacements, and SuggestedReplacements.txt has
  // them; else it has had nothing, and an earlier one is to go, so that the
  // folder never holds suggestions made for other files.
  bool suggested = false;
};

// Loads `inventory` from Symbols.txt and the Replacements.txt, then cleans
// in.txt into FixedLines.txt and BadLines.txt, showing progress, and writes
// SymbolReport.txt and SuggestedReplacements.txt at the end. Throws
// rt::RuntimeError on any failure; the caller then drops the outputs. The
// closing caption is the caller's to show, once the outputs are in place.
RunOutcome Run(RunFiles files, SymbolInventory& inventory, const Progress& progress);

}  // namespace engine
