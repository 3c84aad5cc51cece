#include "engine/run.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/list_scan.h"
#include "engine/output_buffer.h"
#include "engine/replacements.h"
#include "engine/symbol_report.h"
#include "engine/text_reader.h"
#include "runtime/error.h"

namespace engine {
namespace {

// The text between a reported line and its bad symbol, made when compiled:
// a copy of known size costs no test of its size.
constexpr auto kBadSymbolField = [] {
  std::array<char, kBadSymbolText.size() + 2> field{};
  field.front() = field.back() = '\t';
  std::copy(kBadSymbolText.begin(), kBadSymbolText.end(), field.begin() + 1);
  return field;
}();

// Writes the records of the lines the scan hands out.
class RecordWriter final : public LineSink {
 public:
  RecordWriter(OutputBuffer& fixed, OutputBuffer& bad, SymbolReport& report,
               Replacements& replacements, LineCounter& counter)
      : fixed_(fixed), bad_(bad), report_(report), replacements_(replacements), counter_(counter) {}

  void CleanLines(const CleanStretch& stretch) override {
    for (const TokenEdit& edit : stretch.edits) {
      replacements_.Applied(edit.record(),
                            [&] { return counter_.LineCount() + 1LL + stretch.LinesBefore(edit); });
    }
    counter_.Count(stretch.count);
    // A record is ended here for each lone end, and for the list's last
    // line when it has no end: counted as they are written, which costs a
    // list whose every line ends with LF less than counting the bits.
    unended_ += stretch.end_record;
    lone_ends_ -= stretch.end_record;
    // Lines with tokens replaced come in many pieces of any size: copied
    // where they go, with one test for room, a short one whole as 32 bytes
    // that the next piece then overwrites, which spares a test of its size
    // that fails at random. Each lone end grows by a byte.
    if (!stretch.edits.empty()) {
      constexpr std::size_t kShort = Replacements::kReadable;
      if (char* to = fixed_.Room(2 * stretch.lines.size() + 2 +
                                 stretch.edits.size() * replacements_.Longest() + kShort)) {
        stretch.Records([&](std::string_view text, bool end_record) {
          if (text.size() <= kShort) {
            std::memcpy(to, text.data(), kShort);
          } else {
            std::memcpy(to, text.data(), text.size());
          }
          to += text.size();
          if (end_record) {
            ++lone_ends_;
            to[0] = '\r';
            to[1] = '\n';
            to += 2;
          }
        });
        return fixed_.Took(to);
      }
    }
    stretch.Records([this](std::string_view text, bool end_record) {
      if (end_record) {
        ++lone_ends_;
        fixed_.Record({text});
      } else {
        fixed_.Text(text);
      }
    });
  }

  void CleanedPart(std::string_view part) override { fixed_.Text(part); }

  // After the last line: how many lines and how they ended, for the report.
  void ReportLineEnds() {
    report_.ListEnded(counter_.LineCount(), counter_.LineCount() - lone_ends_ - unended_,
                      lone_ends_);
  }

  // The line they are removed from is the next to be counted.
  void RemovedSymbols(std::span<const std::uint64_t> packed) override {
    report_.Removed(packed, counter_.LineCount() + 1LL);
  }
  void RemovedSymbol(std::string_view symbol) override {
    report_.Removed(symbol, counter_.LineCount() + 1LL);
  }

  void Replaced(std::uint32_t record) override {
    replacements_.Applied(record, [this] { return counter_.LineCount() + 1LL; });
  }

  void RepairedLine(const engine::RepairedLine& line) override {
    if (!line.removed.empty()) RemovedSymbols(line.removed);
    counter_.Count(1);
    lone_ends_ += line.end_length == 1;
    unended_ += line.end_length == 0;
    if (line.Kept()) {
      fixed_.Record({line.CleanedLine});
    } else if (line.BadSymbol.empty() && !line.Blank()) {
      report_.Emptied(counter_.LineCount());
    }
    if (line.Blank()) {
      bad_.Record({NumberAndTab(), kBlankLineText});
    } else if (!line.BadSymbol.empty()) {
      bad_.Record({NumberAndTab(), line.CurrentLine,
                   std::string_view(kBadSymbolField.data(), kBadSymbolField.size()),
                   line.BadSymbol});
    }
  }

 private:
  // The line's number in decimal, then a TAB: how every record of the report
  // starts. The digits are carried forward from the last line reported rather
  // than formatted afresh, which cost as much as the rest of the record.
  std::string_view NumberAndTab() {
    const int LineCount = counter_.LineCount();
    // The line after the last one reported, and no carry: where every line
    // is reported, nine lines in ten.
    if (LineCount == numbered_ + 1 && number_[kLastDigit] != '9') {
      ++number_[kLastDigit];
      numbered_ = LineCount;
      return std::string_view(number_ + first_digit_, kLastDigit + 2 - first_digit_);
    }
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

  OutputBuffer& fixed_;
  OutputBuffer& bad_;
  SymbolReport& report_;
  Replacements& replacements_;
  LineCounter& counter_;
  static constexpr std::size_t kLastDigit = 10;  // room for the 10 digits of the largest count
  char number_[kLastDigit + 2] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '0', '\t'};
  std::size_t first_digit_ = kLastDigit;
  int numbered_ = 0;  // the count that number_ holds
  // Lines ended by a lone CR or LF, and by the end of the list: the others
  // end with CR LF.
  long long lone_ends_ = 0;
  int unended_ = 0;
};

}  // namespace

std::string ProgressCaption(int line_count) {
  return "Done with " + std::to_string(line_count) + " lines...";
}

// A line whose number is a multiple of kProgressEvery shows it before its
// records are written (but the parts of a long cleaned form, which go as
// they are made).
void LineCounter::CountPastCaption(long long counted) {
  for (; next_caption_ <= counted && next_caption_ <= kLargestCount;
       next_caption_ += kProgressEvery) {
    progress_(ProgressCaption(static_cast<int>(next_caption_)));
  }
  if (counted > kLargestCount) rt::ThrowOverflow();
  LineCount_ = static_cast<int>(counted);
}

RunOutcome Run(RunFiles files, SymbolInventory& inventory, const Progress& progress) {
  TextReader list(std::move(files.list));
  SymbolReport symbol_report;
  {
    TextReader symbols(std::move(files.symbols));
    LoadInventory(symbols, inventory, symbol_report.Check());
  }
  Replacements replacements;
  if (files.replacements) {
    const std::string name = files.replacements->name;
    TextReader file(std::move(*files.replacements));
    replacements.Load(file, name);
  }
  OutputBuffer fixed(std::move(files.fixed));
  OutputBuffer bad(std::move(files.bad));
  LineCounter counter(progress);
  RecordWriter writer(fixed, bad, symbol_report, replacements, counter);
  if (!replacements.Empty()) replacements.Judge(inventory);
  ListScan(inventory, &replacements).Clean(list, writer);
  writer.ReportLineEnds();
  fixed.Flush();
  bad.Flush();
  OutputBuffer report(std::move(files.report));
  OutputBuffer suggestions(std::move(files.suggestions));
  const bool suggested = symbol_report.Write(report, suggestions, inventory, replacements);
  report.Flush();
  suggestions.Flush();
  return {suggested};
}

}  // namespace engine
