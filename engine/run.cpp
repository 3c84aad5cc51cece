#include "engine/run.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "engine/list_scan.h"
#include "runtime/error.h"
#include "runtime/files.h"

namespace engine {
namespace {

static_assert(rt::FileTable::kReadAhead >= kScanReadAhead);

// Writes the records of the lines the scan hands out, counting the lines as
// they come and showing progress on the window.
class RecordWriter final : public LineSink {
 public:
  RecordWriter(RunWindow& window, rt::FileTable& files) : window_(window), files_(files) {}

  void CleanLines(const CleanRun& run) override {
    Count(run.count);
    // The records ended here are written in one call; the rest lie whole in the list.
    ended_.clear();
    std::string_view whole;
    run.Records([this, &whole](std::string_view text, bool end_record) {
      if (end_record) {
        ended_.push_back(text);
      } else {
        whole = text;
      }
    });
    if (!ended_.empty()) files_.WriteEachRecord(kFixedFile, ended_);
    if (!whole.empty()) files_.WriteText(kFixedFile, whole);
  }

  void CleanedPart(std::string_view part) override { files_.WriteText(kFixedFile, part); }

  void WorkedLine(const engine::WorkedLine& line) override {
    Count(1);
    if (line.Kept()) files_.WriteRecord(kFixedFile, {line.CleanedLine});
    if (line.Blank()) {
      files_.WriteRecord(kBadFile, {NumberAndTab(), kBlankLineText});
    } else if (!line.BadSymbol.empty()) {
      files_.WriteRecord(kBadFile,
                         {NumberAndTab(), line.CurrentLine, bad_symbol_text_, line.BadSymbol});
    }
  }

 private:
  // A line whose number is a multiple of kProgressEvery shows it before its
  // records are written (the parts of a long cleaned form go as they are
  // made); a count past the largest is the overflow error.
  void Count(int lines) {
    const long long counted = static_cast<long long>(LineCount) + lines;
    for (; next_caption_ <= counted && next_caption_ <= INT_MAX; next_caption_ += kProgressEvery) {
      window_.SetCaption(ProgressCaption(static_cast<int>(next_caption_)));
    }
    if (counted > INT_MAX) rt::ThrowOverflow();
    LineCount = static_cast<int>(counted);
  }

  // LineCount in decimal, then a TAB: how every record of the report starts.
  // The digits are carried forward from the last line reported rather than
  // formatted afresh, which cost as much as the rest of the record.
  std::string_view NumberAndTab() {
    std::size_t at = kLastDigit;
    for (int carry = LineCount - numbered_; carry != 0; --at) {
      if (at < first_digit_) {
        first_digit_ = at;
        number_[at] = '0';
      }
      const int digit = number_[at] - '0' + carry % 10;
      carry = carry / 10 + (digit >= 10 ? 1 : 0);
      number_[at] = static_cast<char>('0' + digit % 10);
    }
    numbered_ = LineCount;
    return std::string_view(number_ + first_digit_, kLastDigit + 2 - first_digit_);
  }

  RunWindow& window_;
  rt::FileTable& files_;
  int LineCount = 0;
  static constexpr std::size_t kLastDigit = 10;  // room for the 10 digits of the largest count
  char number_[kLastDigit + 2] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '0', '\t'};
  std::size_t first_digit_ = kLastDigit;
  int numbered_ = 0;  // the count that number_ holds
  long long next_caption_ = kProgressEvery;
  const std::string bad_symbol_text_ = "\t" + std::string(kBadSymbolText) + "\t";
  std::vector<std::string_view> ended_;
};

std::string PathOf(const FolderSource& program_folder, std::string_view name) {
  std::string path = program_folder();
  path += name;
  return path;
}

void CleanAll(RunWindow& window, rt::FileTable& files, const FolderSource& program_folder) {
  files.Open(kInFile, rt::OpenMode::Input, PathOf(program_folder, kInName));
  files.Open(kFixedFile, rt::OpenMode::Output, PathOf(program_folder, kFixedName));
  files.Open(kBadFile, rt::OpenMode::Output, PathOf(program_folder, kBadName));
  files.Open(kSymbolsFile, rt::OpenMode::Input, PathOf(program_folder, kSymbolsName));
  const SymbolInventory& symbols = window.Symbols();
  LoadInventory(window.Symbols(), files, kSymbolsFile);

  ListScan scan(symbols);
  RecordWriter writer(window, files);
  std::span<char> text = files.InHand(kInFile);
  bool at_end = text.empty();
  while (!scan.Scan(text, at_end, writer)) {
    // The text ends inside a line: read on, keeping that line.
    files.Skip(kInFile, scan.Passed());
    const std::size_t kept = text.size() - scan.Passed();
    scan.DropPassed();
    text = files.ReadMore(kInFile);
    at_end = text.size() == kept;
  }
  files.CloseAll();
  window.SetCaption(kClosingCaption);
}

}  // namespace

std::string ProgressCaption(int line_count) {
  return "Done with " + std::to_string(line_count) + " lines...";
}

void Run(RunWindow& window, rt::FileTable& files, const FolderSource& program_folder) {
  try {
    CleanAll(window, files, program_folder);
  } catch (...) {
    files.Discard();
    throw;
  }
}

}  // namespace engine
