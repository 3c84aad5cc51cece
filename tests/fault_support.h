// What the fault, crash and bad-input tests share: inputs large enough that a
// run reads and writes several buffers, the earlier results a run must not
// lose, and checks on what a folder holds afterwards.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/test_support.h"

namespace testing_support {

// The sanitizer pass runs every test again, about ten times slower; the few
// loops that make hundreds of runs divide their sizes by this there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kSanitizerDivisor = 5;
#else
inline constexpr int kSanitizerDivisor = 1;
#endif

struct Inputs {
  std::string list;     // in.txt
  std::string symbols;  // Symbols.txt
};

struct Outputs {
  std::string fixed;                     // FixedLines.txt
  std::string bad;                       // BadLines.txt
  std::string report;                    // SymbolReport.txt
  std::optional<std::string> suggested;  // SuggestedReplacements.txt, where there is one
  bool operator==(const Outputs&) const = default;
};
// The outputs, in the order a run puts them in place.
inline constexpr std::string_view kOutputNames[] = {"FixedLines.txt", "BadLines.txt",
                                                    "SymbolReport.txt"};
inline constexpr int kOutputCount = static_cast<int>(std::size(kOutputNames));
// How a failed comparison shows the outputs: their sizes and first bytes.
void PrintTo(const Outputs& outputs, std::ostream* out);

// A pronouncing-dictionary-like list of `lines` lines (illegal symbols, blank
// lines, runs of spaces, all three line ends) and an inventory of a few
// thousand symbols, so that Symbols.txt too spans more than one read.
Inputs LargeInputs(int lines, unsigned seed);

// Results of an earlier run, as a failed run must leave them.
inline constexpr std::string_view kEarlierFixed = "p a t\r\nearlier fixed lines\r\n";
inline constexpr std::string_view kEarlierBad = "7\tp x a\tBad symbol removed\tx\r\n";
inline constexpr std::string_view kEarlierReport = "Symbol\tCode points\r\nearlier report\r\n";

// A fourth output, put in place after the others: while WithdrawingRuns
// lives, the tests' runs create it and withdraw it at the end, so that it
// makes no file and its earlier one goes.
inline constexpr std::string_view kWithdrawnName = "SuggestedReplacements.txt";
inline constexpr std::string_view kEarlierSuggested = "ɫ\tl\r\nearlier suggestions\r\n";

class WithdrawingRuns {
 public:
  WithdrawingRuns();
  ~WithdrawingRuns();
  WithdrawingRuns(const WithdrawingRuns&) = delete;
  WithdrawingRuns& operator=(const WithdrawingRuns&) = delete;
};
bool Withdrawing();

// The run the fault, crash and power-cut tests make: RunIn's, or while
// WithdrawingRuns lives, the same with the fourth output.
void TestedRunIn(const TempFolder& folder, RecordingWindow& window);

// Puts the inputs, and the earlier results when asked, in the folder; the
// fourth output's only while WithdrawingRuns lives.
void Prepare(const TempFolder& folder, const Inputs& inputs, bool earlier_outputs);

// The outputs of an uninterrupted run over these inputs, made in a folder of their own.
Outputs CleanRunOutputs(const Inputs& inputs);

// The number of file-layer system calls an uninterrupted run makes over these
// inputs, with or without earlier outputs to replace.
long long CallsOfACleanRun(const Inputs& inputs, bool earlier_outputs);

// The outputs as they are in the folder; a missing one reads as empty.
Outputs OutputsIn(const TempFolder& folder);

// Descriptors this process has open.
int OpenDescriptors();

// True for the name of a file a run keeps beside its outputs while it lasts:
// the folder's lock ~FixInputFiles.lock, a temporary output
// ~FixInputFiles-<output>.tmp, or an earlier output set aside,
// ~FixInputFiles-<output>.old.
bool IsTemporaryName(std::string_view name);

// What the next run in the folder does before anything else: it claims the
// folder, clearing what dead runs left there.
void ClaimAsTheNextRun(const TempFolder& folder);

// What the file system under a test can do: each row makes the calls that
// need a missing ability answer as FAT, exFAT or a network folder would.
struct FileSystemAbilities {
  bool exchange;
  bool link;
  const char* name;
};
inline constexpr FileSystemAbilities kEveryAbility{true, true, "Exchange"};
inline constexpr FileSystemAbilities kLinkOnly{false, true, "LinkOnly"};
inline constexpr FileSystemAbilities kNeither{false, false, "NoExchangeNoLink"};
inline constexpr FileSystemAbilities kEachFileSystem[] = {kEveryAbility, kLinkOnly, kNeither};

// Makes the file system seem to have these abilities while it lives.
class SimulatedFileSystem {
 public:
  explicit SimulatedFileSystem(const FileSystemAbilities& abilities);
  ~SimulatedFileSystem();
  SimulatedFileSystem(const SimulatedFileSystem&) = delete;
  SimulatedFileSystem& operator=(const SimulatedFileSystem&) = delete;
};

// Runs `check(abilities, earlier_outputs)` on each simulated file system,
// with earlier outputs in the folder and without, by runs with the three
// outputs and by runs that withdraw a fourth, each under a trace naming them.
template <class Check>
void ForEachFileSystem(Check&& check) {
  for (bool withdrawing : {false, true}) {
    std::optional<WithdrawingRuns> fourth;
    if (withdrawing) fourth.emplace();
    for (const FileSystemAbilities& abilities : kEachFileSystem) {
      SimulatedFileSystem file_system(abilities);
      for (bool earlier_outputs : {true, false}) {
        SCOPED_TRACE(std::string(abilities.name) +
                     (earlier_outputs ? ", earlier outputs present" : ", no earlier outputs") +
                     (withdrawing ? ", a fourth output withdrawn" : ""));
        check(abilities, earlier_outputs);
      }
    }
  }
}

// The calls that put one output in its place over an earlier file (or over none).
int PlacingCalls(const FileSystemAbilities& abilities, bool earlier_outputs);
// The calls that move the withdrawn output's earlier file aside, when a run withdraws one.
int WithdrawingCalls();
// The calls that put every output of a run in place.
int PlacingCallsOfARun(const FileSystemAbilities& abilities, bool earlier_outputs);

// The calls a run makes after its last flush of the folder, its success: the
// earlier outputs' removal (a withdrawn one's moved to its temporary name
// first), the withdrawn output's temporary file's, the lock's, and the
// folder's flush.
int CallsAfterSuccess(bool earlier_outputs);
// The calls of cleanup, whose failure does not stop the run: those after its
// success, and the listing of the folder for dead runs' leftovers.
int CleanupCalls(bool earlier_outputs);

// The folder's names other than the inputs and outputs of a run.
std::vector<std::string> OtherNames(const TempFolder& folder);

}  // namespace testing_support
