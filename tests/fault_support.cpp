#include "tests/fault_support.h"

#include <algorithm>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include "runtime/fault_injection.h"
#include "runtime/folder_claim.h"

namespace testing_support {

void PrintTo(const Outputs& outputs, std::ostream* out) {
  for (int i = 0; i < kOutputCount; ++i) {
    const std::optional<std::string>& bytes = outputs.*kOutputBytes[i];
    *out << kOutputNames[i];
    if (bytes) {
      *out << " " << bytes->size() << " bytes \"" << bytes->substr(0, 40) << "\" ";
    } else {
      *out << " missing ";
    }
  }
}

Inputs ShortInputs(bool suggesting) {
  return suggesting ? Inputs{"p g a\r\n", "p\r\na\r\nɡ\r\n"} : Inputs{"p x a\r\n", "p\r\na\r\n"};
}

Inputs LargeInputs(int lines, unsigned seed, bool suggesting) {
  static const std::vector<std::string> kCommon = {
      "p", "b", "t", "d",  "k",  "g", "m",  "n",  "ŋ",  "f",  "v",  "θ",  "ð",  "s", "z",
      "ʃ", "ʒ", "h", "tʃ", "dʒ", "l", "r",  "j",  "w",  "i",  "ɪ",  "e",  "æ",  "ɑ", "ɒ",
      "ɔ", "ʊ", "u", "ʌ",  "ə",  "ɜ", "eɪ", "aɪ", "ɔɪ", "əʊ", "aʊ", "ɪə", "eə", "ʊə"};
  Inputs inputs;
  for (const std::string& symbol : kCommon)
    inputs.symbols += "  " + (suggesting && symbol == "g" ? "ɡ" : symbol) + " \r\n";
  for (int i = 0; i < 9000; ++i) inputs.symbols += "sym" + std::to_string(i) + "\r\n\r\n";

  std::mt19937 random(seed);
  auto pick = [&](std::size_t count) { return static_cast<std::size_t>(random() % count); };
  static const char* const kLineEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
  for (int line = 0; line < lines; ++line) {
    if (pick(40) == 0) {
      inputs.list += pick(2) ? "   " : "";
    } else {
      std::size_t tokens = 3 + pick(8);
      for (std::size_t t = 0; t < tokens; ++t) {
        if (t > 0) inputs.list += pick(10) == 0 ? "   " : " ";
        static const char* const kIllegal[] = {"x", "Q", "ɫ", "p\t", "4"};
        inputs.list += pick(8) == 0 ? kIllegal[pick(5)] : kCommon[pick(kCommon.size())];
      }
    }
    inputs.list += kLineEnds[pick(5)];
  }
  return inputs;
}

void Prepare(const TempFolder& folder, const Inputs& inputs, bool earlier_outputs) {
  folder.Write("in.txt", inputs.list);
  folder.Write("Symbols.txt", inputs.symbols);
  if (earlier_outputs) {
    folder.Write("FixedLines.txt", kEarlierFixed);
    folder.Write("BadLines.txt", kEarlierBad);
    folder.Write("SymbolReport.txt", kEarlierReport);
    folder.Write("SuggestedReplacements.txt", kEarlierSuggested);
  }
}

Outputs CleanRunOutputs(const Inputs& inputs) {
  TempFolder folder;
  Prepare(folder, inputs, false);
  RecordingWindow window;
  RunIn(folder, window);
  return OutputsIn(folder);
}

long long CallsOfACleanRun(const Inputs& inputs, bool earlier_outputs) {
  TempFolder folder;
  Prepare(folder, inputs, earlier_outputs);
  RecordingWindow window;
  rt::sys::ClearInjection();
  RunIn(folder, window);
  return rt::sys::CallsMade();
}

Outputs OutputsIn(const TempFolder& folder) {
  Outputs outputs;
  for (int i = 0; i < kOutputCount; ++i) {
    if (folder.Has(kOutputNames[i])) outputs.*kOutputBytes[i] = folder.Read(kOutputNames[i]);
  }
  return outputs;
}

int OpenDescriptors() {
#ifdef _WIN32
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return static_cast<int>(count);
#else
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
#endif
}

bool IsTemporaryName(std::string_view name) {
  if (name == "~FixInputFiles.lock") return true;
  constexpr std::string_view kPrefix = "~FixInputFiles-";
  return name.starts_with(kPrefix) && name.size() > kPrefix.size() + 4 &&
         (name.ends_with(".txt.tmp") || name.ends_with(".txt.old") ||
          name.ends_with(".txt.putback"));
}

void ClaimAsTheNextRun(const TempFolder& folder) {
  rt::FolderClaim claim(folder.Path(), rt::os::PauseBriefly);
  for (std::string_view name : kOutputNames) claim.ClearLeftoversOf(name);
}

SimulatedFileSystem::SimulatedFileSystem(const FileSystemAbilities& abilities) {
  rt::sys::SimulateLacking(rt::sys::Ability::Exchange, !abilities.exchange);
  rt::sys::SimulateLacking(rt::sys::Ability::Link, !abilities.link);
}

SimulatedFileSystem::~SimulatedFileSystem() {
  rt::sys::SimulateLacking(rt::sys::Ability::Exchange, false);
  rt::sys::SimulateLacking(rt::sys::Ability::Link, false);
}

int PlacingCalls(const FileSystemAbilities& abilities, bool earlier_outputs) {
  // The check that the temporary file is still the run's, then one exchange;
  // or its refusal, the second name and the move; or both refused, the move
  // aside and the move. Without an earlier file, the exchange finds none and
  // a plain move follows; the others find none where they would keep it, and
  // the move follows as before. Then the file is closed.
  if (abilities.exchange) return earlier_outputs ? 3 : 4;
  return abilities.link ? 5 : 6;
}

int PlacingCallsOfARun(const FileSystemAbilities& abilities, bool earlier_outputs,
                       bool suggesting) {
  const int placing = PlacingCalls(abilities, earlier_outputs);
  return (kOutputCount - 1) * placing + (suggesting ? placing : kWithdrawingCalls);
}

int CallsAfterSuccess(bool earlier_outputs, bool suggesting) {
  return (earlier_outputs ? kOutputCount : 0) + (suggesting ? 0 : 1) + 2;
}

int CleanupCalls(bool earlier_outputs, bool suggesting) {
  return CallsAfterSuccess(earlier_outputs, suggesting) + 1;
}

std::vector<std::string> OtherNames(const TempFolder& folder) {
  std::vector<std::string> others;
  for (const std::string& name : folder.Names()) {
    if (name != "in.txt" && name != "Symbols.txt" &&
        std::find(std::begin(kOutputNames), std::end(kOutputNames), name) == std::end(kOutputNames))
      others.push_back(name);
  }
  return others;
}

}  // namespace testing_support
