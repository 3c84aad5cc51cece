#include "tests/fault_support.h"

#include <filesystem>
#include <random>

#include "runtime/syscall.h"

namespace testing_support {

void PrintTo(const Outputs& outputs, std::ostream* out) {
  auto show = [&](const char* name, const std::string& bytes) {
    *out << name << " " << bytes.size() << " bytes \"" << bytes.substr(0, 40) << "\" ";
  };
  show("FixedLines.txt", outputs.fixed);
  show("BadLines.txt", outputs.bad);
}

Inputs LargeInputs(int lines, unsigned seed) {
  static const std::vector<std::string> kCommon = {
      "p", "b", "t", "d",  "k",  "g", "m",  "n",  "ŋ",  "f",  "v",  "θ",  "ð",  "s", "z",
      "ʃ", "ʒ", "h", "tʃ", "dʒ", "l", "r",  "j",  "w",  "i",  "ɪ",  "e",  "æ",  "ɑ", "ɒ",
      "ɔ", "ʊ", "u", "ʌ",  "ə",  "ɜ", "eɪ", "aɪ", "ɔɪ", "əʊ", "aʊ", "ɪə", "eə", "ʊə"};
  Inputs inputs;
  for (const std::string& symbol : kCommon) inputs.symbols += "  " + symbol + " \r\n";
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
  if (folder.Has("FixedLines.txt")) outputs.fixed = folder.Read("FixedLines.txt");
  if (folder.Has("BadLines.txt")) outputs.bad = folder.Read("BadLines.txt");
  return outputs;
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

bool IsTemporaryName(std::string_view name) {
  constexpr std::string_view kPrefix = "~FixInputFiles-";
  constexpr std::string_view kSuffix = ".tmp";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  std::string_view middle = name.substr(kPrefix.size());
  middle.remove_suffix(kSuffix.size());
  std::size_t dash = middle.find('-');
  auto digits = [](std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dash != std::string_view::npos && digits(middle.substr(0, dash)) &&
         digits(middle.substr(dash + 1));
}

std::vector<std::string> OtherNames(const TempFolder& folder) {
  std::vector<std::string> others;
  for (const std::string& name : folder.Names()) {
    if (name != "in.txt" && name != "Symbols.txt" && name != "FixedLines.txt" &&
        name != "BadLines.txt")
      others.push_back(name);
  }
  return others;
}

}  // namespace testing_support
