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

// A run's outputs; none for one missing from the folder.
struct Outputs {
  std::optional<std::string> fixed;      // FixedLines.txt
  std::optional<std::string> bad;        // BadLines.txt
  std::optional<std::string> report;     // SymbolReport.txt
  std::optional<std::string> suggested;  // SuggestedReplacements.txt
  bool operator==(const Outputs&) const = default;
};
// The outputs, in the order a run puts them in place, and where Outputs holds
// each. The last is written only where the report suggests replacements; else
// the run withdraws it, and its earlier file goes once the run has succeeded.
inline constexpr std::string_view kOutputNames[] = {
    "FixedLines.txt", "BadLines.txt", "SymbolReport.txt", "SuggestedReplacements.txt"};
inline constexpr std::optional<std::string> Outputs::*kOutputBytes[] = {
    &Outputs::fixed, &Outputs::bad, &Outputs::report, &Outputs::suggested};
inline constexpr int kOutputCount = static_cast<int>(std::size(kOutputNames));
// How a failed comparison shows the outputs: their sizes and first bytes.
void PrintTo(const Outputs& outputs, std::ostream* out);

// "p x a" against p and a: the report suggests nothing for x, and the run
// withdraws SuggestedReplacements.txt. With `suggesting`, "p g a" against an
// inventory with the IPA's ɡ (U+0261): replacing g with it is suggested, and
// SuggestedReplacements.txt is written.
Inputs ShortInputs(bool suggesting);

// A pronouncing-dictionary-like list of `lines` lines (illegal symbols, blank
// lines, runs of spaces, all three line ends) and an inventory of a few
// thousand symbols, so that Symbols.txt too spans more than one read. Its
// report suggests nothing; with `suggesting`, the inventory has the IPA's ɡ
// in place of g, and replacing the list's g with it is suggested.
Inputs LargeInputs(int lines, unsigned seed, bool suggesting = false);

// Results of an earlier run, as a failed run must leave them.
inline constexpr std::string_view kEarlierFixed = "p a t\r\nearlier fixed lines\r\n";
inline constexpr std::string_view kEarlierBad = "7\tp x a\tBad symbol removed\tx\r\n";
inline constexpr std::string_view kEarlierReport = "Symbol\tCode points\r\nearlier report\r\n";
inline constexpr std::string_view kEarlierSuggested = "ɫ\tl\r\nearlier suggestions\r\n";

// Puts the inputs, and the earlier results when asked, in the folder.
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

// Runs `check(abilities, earlier_outputs, suggesting)` on each simulated file
// system, with earlier outputs in the folder and without, over inputs whose
// run withdraws SuggestedReplacements.txt and over inputs whose run writes it,
// each under a trace naming them.
template <class Check>
void ForEachFileSystem(Check&& check) {
  for (const FileSystemAbilities& abilities : kEachFileSystem) {
    SimulatedFileSystem file_system(abilities);
    for (bool earlier_outputs : {true, false}) {
      for (bool suggesting : {false, true}) {
        SCOPED_TRACE(std::string(abilities.name) +
                     (earlier_outputs ? ", earlier outputs present" : ", no earlier outputs") +
                     (suggesting ? ", suggestions written" : ", suggestions withdrawn"));
        check(abilities, earlier_outputs, suggesting);
      }
    }
  }
}

// The calls that put one output in its place over an earlier file (or over none).
int PlacingCalls(const FileSystemAbilities& abilities, bool earlier_outputs);
// The calls that move a withdrawn output's earlier file aside: the check that
// the temporary file is still the run's, the move aside (which may find no
// earlier file), the close.
inline constexpr int kWithdrawingCalls = 3;
// The calls that put every output of a run in place, the last one withdrawn
// unless the run is `suggesting`.
int PlacingCallsOfARun(const FileSystemAbilities& abilities, bool earlier_outputs, bool suggesting);

// The calls a run makes after its last flush of the folder, its success: the
// earlier outputs' removal (a withdrawn one's moved to its temporary name
// first), a withdrawn output's temporary file's, the lock's, and the
// folder's flush.
int CallsAfterSuccess(bool earlier_outputs, bool suggesting);
// The calls of cleanup, whose failure does not stop the run: those after its
// success, and the listing of the folder for dead runs' leftovers.
int CleanupCalls(bool earlier_outputs, bool suggesting);

// The folder's names other than the inputs and outputs of a run.
std::vector<std::string> OtherNames(const TempFolder& folder);

}  // namespace testing_support
