// The scan of the list: what it makes of every line, checked against the
// model of the cleaning rules at every length of a text, at every position of
// the 64-byte blocks it is read in, and with the text cut in two reads at
// every byte; and which lines it hands out to be written as they lie.
#include "engine/list_scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "engine/text_reader.h"
#include "tests/cleaning_model.h"
#include "tests/model_check.h"
#include "tests/test_support.h"

namespace {

using namespace std::literals;
using engine::ListScan;
using testing_support::Escaped;
using testing_support::InventoryOf;
using testing_support::SourceOf;

const std::initializer_list<std::string_view> kSymbolList = {
    "p", "a", "ts", "ʃ", "tʃ", "a\t", "abcdefg", "abcdefgh", "n\0"sv};
engine::SymbolInventory kSymbols = InventoryOf(kSymbolList);

std::string SymbolsFile() {
  std::string file;
  for (std::string_view symbol : kSymbolList) file.append(symbol).append("\r\n");
  return file;
}

// Writes what the scan hands out as the run writes it.
class Writer final : public engine::LineSink {
 public:
  void CleanLines(const engine::CleanStretch& stretch) override {
    lines += stretch.count;
    stretch.Records([this](std::string_view text, bool end_record) {
      fixed += text;
      if (end_record) fixed += "\r\n";
    });
  }
  void CleanedPart(std::string_view part) override {
    EXPECT_FALSE(part.empty());
    fixed += part;
  }
  void RemovedSymbols(std::span<const std::uint64_t> packed) override {
    for (const std::uint64_t symbol : packed) {
      char bytes[engine::SymbolIndex::kMaxPackedLength];
      RemovedSymbol(engine::SymbolIndex::Unpack(symbol, bytes));
    }
  }
  void RemovedSymbol(std::string_view symbol) override {
    removed.emplace_back(lines + 1, std::string(symbol));
  }
  void RepairedLine(const engine::RepairedLine& line) override {
    RemovedSymbols(line.removed);
    const std::string number = std::to_string(++lines);
    if (line.Blank()) bad += number + "\tblank line (removed in FixedLines.txt)\r\n";
    if (line.Kept()) fixed.append(line.CleanedLine) += "\r\n";
    if (!line.BadSymbol.empty()) {
      bad += number + "\t";
      bad.append(line.CurrentLine) +=
          "\tBad symbol removed\t" + std::string(line.BadSymbol) + "\r\n";
    }
  }

  std::string fixed, bad;
  long long lines = 0;
  std::vector<std::pair<long long, std::string>> removed;
};

// Scans `list` as the run reads it, the first read holding `first_read`
// bytes and each later one `read_size`; but for `variant` 0, cleaned forms
// are handed out in parts of a few bytes.
// With `table`, the scan replaces the tokens it names.
Writer ScanList(std::string_view list, std::size_t first_read, std::size_t variant,
                const char* table = nullptr) {
  Writer written;
  engine::Replacements replacements;
  if (table) {
    engine::TextReader reader(SourceOf(table));
    replacements.Load(reader, "Replacements.txt");
    replacements.Judge(kSymbols);
  }
  ListScan scan(kSymbols, &replacements, variant == 0 ? engine::kCleanedPartSize : variant % 5 + 1);
  engine::TextReader reader(SourceOf(std::string(list), first_read, 64 + variant));
  scan.Clean(reader, written);
  return written;
}

std::string Compare(std::string_view list, std::size_t first_read, std::size_t variant,
                    const char* table = nullptr) {
  static const std::string symbols = SymbolsFile();
  const cleaning_model::Result model = cleaning_model::Clean(
      list, symbols, table ? std::optional<std::string_view>(table) : std::nullopt);
  const Writer written = ScanList(list, first_read, variant, table);
  if (written.fixed == model.fixed && written.bad == model.bad && written.lines == model.lines &&
      written.removed == model.removed)
    return {};
  return "list \"" + Escaped(list) + "\", first read " + std::to_string(first_read) + ", variant " +
         std::to_string(variant) + "\n fixed \"" + Escaped(written.fixed) + "\"\n model \"" +
         Escaped(model.fixed) + "\"\n bad \"" + Escaped(written.bad) + "\"\n model \"" +
         Escaped(model.bad) + "\"\n lines " + std::to_string(written.lines) + ", model " +
         std::to_string(model.lines) + "\n removed " + std::to_string(written.removed.size()) +
         " symbols, model " + std::to_string(model.removed.size());
}

TEST(ListScan, AgreesWithTheRulesAtEveryLengthBlockPositionAndReadBoundary) {
  // Random lines, mostly clean, so that every kind of line, token and line
  // end lands on every byte of a block and of a read: tokens and runs of
  // spaces across blocks, CR LF split between blocks or between reads.
  static const std::string_view kTokens[] = {
      "p", "a", "ts", "ʃ", "tʃ", "a\t", "abcdefg", "abcdefgh", "n\0"sv, "x", "abcdefghij", "pa"};
  static const std::string_view kGaps[] = {" ", " ", " ", " ", "  ", "   "};
  static const std::string_view kEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
  // Every other round replaces tokens: a legal one and an illegal one by
  // legal symbols, which leaves a clean line clean, and others by a symbol
  // not legal, by nothing, or from a long token.
  const char* const kTable = "a\tts p\nx\tʃ\nabcdefghij\tp p p\npa\t\nts\tzz\n";
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    std::string text;
    while (text.size() < 200) {
      if (random() % 12 == 0) text += std::string(random() % 3, ' ');  // a blank line
      if (random() % 8 == 0) text += ' ';
      const std::size_t tokens = 1 + random() % 8;
      for (std::size_t i = 0; i < tokens; ++i) {
        // One token in six may need cleaning.
        text += kTokens[random() % (random() % 6 == 0 ? std::size(kTokens) : 5)];
        if (i + 1 < tokens) text += kGaps[random() % (random() % 4 == 0 ? 6 : 4)];
      }
      if (random() % 8 == 0) text += ' ';
      text += kEnds[random() % std::size(kEnds)];
    }
    if (round % 2 == 1) text.resize(text.find_last_not_of("\r\n") + 1);  // no last line end
    for (std::size_t variant : {0u, 1u, 13u, 63u}) {
      for (std::size_t size = 0; size <= text.size(); ++size) {
        const std::string_view prefix(text.data(), size);
        const char* table = round % 4 >= 2 ? kTable : nullptr;
        ASSERT_EQ(Compare(prefix, size, variant, table), "") << "round " << round;
        ASSERT_EQ(Compare(text, size, variant, table), "") << "round " << round;
      }
    }
  }
}

TEST(ListScan, AgreesWithTheRulesOnLongTokensAndLongRunsOfSpaces) {
  const std::string long_legal = "abcdefgh";
  std::string text;
  for (std::size_t length : {63u, 64u, 65u, 130u}) {
    text.append(length, 'k').append(" p\r\n");             // an illegal token across blocks
    text.append("p").append(length, ' ').append("a\r\n");  // a run of spaces across blocks
    text.append(long_legal).append(length + 1, ' ').append("\n");
  }
  // More illegal tokens in a line than the scan holds before handing them
  // out, with long ones among them: still each in its order.
  for (int token = 0; token < 250; ++token) text.append(token % 100 == 99 ? "abcdefghij " : "x p ");
  text.append("\r\n");
  // Replaced, more tokens of a clean line than the scan notes before
  // handing them out, and a line that turns out to need repair after them.
  for (int token = 0; token < 150; ++token) text.append("a p ");
  text.append("p\r\n");
  for (int token = 0; token < 100; ++token) text.append("a p ");
  text.append("q\r\n");
  // A table with more records matched than the scan's index takes in:
  // the later ones are found apart.
  std::string long_table;
  for (int record = 0; record < 300; ++record) {
    long_table += "y" + std::to_string(record) + "\tp\n";
    text += "p y" + std::to_string(record) + (record % 8 == 7 ? "\r\n" : " ");
  }
  text += "\r\n";
  long_table += "a\tts\nx\tp a\n";
  for (std::size_t variant : {0u, 5u}) {
    for (std::size_t first_read = 0; first_read <= text.size(); first_read += 7) {
      ASSERT_EQ(Compare(text, first_read, variant), "");
      ASSERT_EQ(Compare(text, first_read, variant, "a\tts\nx\tp a\n"), "");
      if (first_read % 5 == 0)
        ASSERT_EQ(Compare(text, first_read, variant, long_table.c_str()), "");
    }
  }
}

// What the scan hands out for all of `list` in one read, in order: clean
// records, each with "|" and its count and a "+" when its CR LF is still to
// be written; a worked line as "cleaned / current / bad", each followed by
// "^" where it lies in the list itself rather than in a copy.
std::vector<std::string> HandedOut(std::string_view list,
                                   std::size_t cleaned_part_size = engine::kCleanedPartSize) {
  class Recorder final : public engine::LineSink {
   public:
    explicit Recorder(engine::TextReader& list) : list_(list) {}
    void CleanLines(const engine::CleanStretch& stretch) override {
      std::string text;
      stretch.Records([&text](std::string_view part, bool end_record) {
        text.append(part) += end_record ? "+" : "";
      });
      handed.push_back(text + "|" + std::to_string(stretch.count));
    }
    void CleanedPart(std::string_view part) override { handed.push_back(Where(part) + " ..."); }
    void RemovedSymbols(std::span<const std::uint64_t>) override {}
    void RemovedSymbol(std::string_view) override {}
    void RepairedLine(const engine::RepairedLine& line) override {
      handed.push_back(Where(line.CleanedLine) + " / " + Where(line.CurrentLine) + " / " +
                       Where(line.BadSymbol));
    }
    std::string Where(std::string_view text) const {
      const std::span<char> in_hand = list_.InHand();
      const bool in_list =
          text.data() >= in_hand.data() && text.end() <= in_hand.data() + in_hand.size();
      return std::string(text) + (in_list && !text.empty() ? "^" : "");
    }
    std::vector<std::string> handed;

   private:
    engine::TextReader& list_;
  };
  engine::TextReader reader(SourceOf(std::string(list)));
  Recorder recorder(reader);
  ListScan(kSymbols, nullptr, cleaned_part_size).Clean(reader, recorder);
  return recorder.handed;
}

using Texts = std::vector<std::string>;

TEST(ListScan, HandsOutCleanLinesAsTheyLie) {
  // Lines that need no cleaning are handed out together, whatever their
  // ends, up to a line that needs cleaning; "+" marks a CR LF to be written.
  EXPECT_EQ(HandedOut("p a\r\nts p\r\np  a\r\nʃ\r\nts\r\n"),
            (Texts{"p a\r\nts p\r\n|2", "p a^ / p a^ / ", "ʃ\r\nts\r\n|2"}));
  EXPECT_EQ(HandedOut("p a\r\nts p\na\r\n"), (Texts{"p a\r\nts p+a\r\n|3"}));
  EXPECT_EQ(HandedOut("p\rp\r\n\np"), (Texts{"p+p\r\n|2", " /  / ", "p+|1"}));
  // A line that needs cleaning is rewritten where it lies; only a line with an
  // illegal token has its cleaned form apart.
  EXPECT_EQ(HandedOut("x p a  ts x p\r\n"), (Texts{"p a ts p / x p a ts x p^ / x^"}));
  EXPECT_EQ(HandedOut("  p   a ts  ʃ \r\n  x  \r\np a  xx\r\n"),
            (Texts{"p a ts ʃ^ / p a ts ʃ^ / ", " / x^ / x^", "p a / p a xx^ / xx^"}));
  // A cleaned form longer than a part goes out, after the clean lines
  // before it, as the held part, then a stretch too long to hold, as it lies.
  EXPECT_EQ(HandedOut("p\r\np a x ts ʃ a\r\n", 4),
            (Texts{"p\r\n|1", "p a  ...", "ts ʃ a^ ...", " / p a x ts ʃ a^ / x^"}));
}

}  // namespace
