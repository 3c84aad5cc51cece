// The scan of the list: what it makes of every line, checked against the
// model of the cleaning rules at every length of a text, at every position of
// the 64-byte blocks it is read in, and with the text cut in two reads at
// every byte; and which lines it hands out to be written as they lie.
#include "engine/list_scan.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/cleaning_model.h"
#include "tests/model_check.h"
#include "tests/test_support.h"

namespace {

using namespace std::literals;
using engine::ListScan;
using testing_support::Escaped;
using testing_support::InventoryOf;

const std::initializer_list<std::string_view> kSymbolList = {
    "p", "a", "ts", "ʃ", "tʃ", "a\t", "abcdefg", "abcdefgh", "n\0"sv};
const engine::SymbolInventory kSymbols = InventoryOf(kSymbolList);

std::string SymbolsFile() {
  std::string file;
  for (std::string_view symbol : kSymbolList) file.append(symbol).append("\r\n");
  return file;
}

// Bytes placed `offset` bytes into a buffer, with the bytes the scan may read
// past their end holding what would most mislead it: line ends.
class Placed {
 public:
  Placed(std::string_view text, std::size_t offset)
      : bytes_(offset + text.size() + engine::kScanReadAhead, '\n') {
    std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    view_ = std::string_view(bytes_.data() + offset, text.size());
  }
  std::string_view View() const { return view_; }

 private:
  std::string bytes_;
  std::string_view view_;
};

struct Written {
  std::string fixed, bad;
  long long lines = 0;
};

// Scans `list` as the run reads it, the first read holding `first_read`
// bytes, and writes what the steps hand out as the run writes it.
Written ScanList(std::string_view list, std::size_t first_read, std::size_t offset, int most) {
  Written written;
  ListScan scan(kSymbols);
  std::size_t dropped = 0;
  auto placed = std::make_unique<Placed>(list.substr(0, first_read), offset);
  bool at_end = first_read == list.size();
  for (;;) {
    const ListScan::Step step = scan.Next(placed->View(), at_end, most);
    EXPECT_LE(step.lines, most);
    written.lines += step.lines;
    written.fixed += step.records;
    if (step.end_record) written.fixed += "\r\n";
    if (const engine::WorkedLine* line = step.worked) {
      const std::string number = std::to_string(written.lines);
      if (line->Blank()) written.bad += number + "\tblank line (removed in FixedLines.txt)\r\n";
      for (std::string_view stretch : line->CleanedLine) written.fixed += stretch;
      if (!line->CleanedLine.empty()) written.fixed += "\r\n";
      if (!line->BadSymbol.empty()) {
        written.bad += number + "\t";
        for (std::string_view stretch : line->CurrentLine) written.bad += stretch;
        written.bad += "\tBad symbol removed\t" + std::string(line->BadSymbol) + "\r\n";
      }
    }
    if (step.finished || (!step.need_more && step.lines == 0) || written.lines > 100000) break;
    if (step.need_more) {
      // The next read: what was not passed, then the rest of the list, in another buffer.
      EXPECT_FALSE(at_end);
      dropped += scan.Passed();
      scan.DropPassed();
      placed = std::make_unique<Placed>(list.substr(dropped), (offset + 7) % 64);
      at_end = true;
    }
  }
  return written;
}

std::string Compare(std::string_view list, std::size_t first_read, std::size_t offset, int most) {
  static const std::string symbols = SymbolsFile();
  const cleaning_model::Result model = cleaning_model::Clean(list, symbols);
  const Written written = ScanList(list, first_read, offset, most);
  if (written.fixed == model.fixed && written.bad == model.bad && written.lines == model.lines)
    return {};
  return "list \"" + Escaped(list) + "\", first read " + std::to_string(first_read) + ", offset " +
         std::to_string(offset) + ", most " + std::to_string(most) + "\n fixed \"" +
         Escaped(written.fixed) + "\"\n model \"" + Escaped(model.fixed) + "\"\n bad \"" +
         Escaped(written.bad) + "\"\n model \"" + Escaped(model.bad) + "\"\n lines " +
         std::to_string(written.lines) + ", model " + std::to_string(model.lines);
}

TEST(ListScan, AgreesWithTheRulesAtEveryLengthBlockPositionAndReadBoundary) {
  // Random lines, mostly clean, so that every kind of line, token and line
  // end lands on every byte of a block and of a read: tokens and runs of
  // spaces across blocks, CR LF split between blocks or between reads.
  static const std::string_view kTokens[] = {
      "p", "a", "ts", "ʃ", "tʃ", "a\t", "abcdefg", "abcdefgh", "n\0"sv, "x", "abcdefghij", "pa"};
  static const std::string_view kGaps[] = {" ", " ", " ", " ", "  ", "   "};
  static const std::string_view kEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
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
    for (std::size_t offset : {0u, 1u, 13u, 63u}) {
      for (std::size_t size = 0; size <= text.size(); ++size) {
        const std::string_view prefix(text.data(), size);
        for (int most : {1000, 3}) {
          std::string difference = Compare(prefix, size, offset, most);
          ASSERT_EQ(difference, "") << "round " << round;
        }
        ASSERT_EQ(Compare(text, size, offset, 1000), "") << "round " << round;
      }
    }
  }
}

TEST(ListScan, AgreesWithTheRulesOnLongTokensAndLongRunsOfSpaces) {
  const std::string long_legal = "abcdefgh";
  std::string text;
  for (std::size_t length : {63u, 64u, 65u, 130u}) {
    text += std::string(length, 'k') + " p\r\n";       // an illegal token across blocks
    text += "p" + std::string(length, ' ') + "a\r\n";  // a run of spaces across blocks
    text += long_legal + " " + std::string(length, ' ') + "\n";
  }
  for (std::size_t offset : {0u, 5u}) {
    for (std::size_t first_read = 0; first_read <= text.size(); first_read += 7) {
      ASSERT_EQ(Compare(text, first_read, offset, 1000), "");
    }
  }
}

// What a step of a scan hands out, kept past the next step.
struct Handed {
  std::string records;
  bool end_record;
  int lines;
  bool worked;
  std::vector<std::string> cleaned, current;
  std::string bad;
  bool finished;
};

// The steps of a scan of all of `list` in one read.
std::vector<Handed> Steps(std::string_view list, int most = 1000) {
  const Placed placed(list, 0);
  ListScan scan(kSymbols);
  std::vector<Handed> steps;
  do {
    const ListScan::Step step = scan.Next(placed.View(), true, most);
    Handed handed{std::string(step.records),
                  step.end_record,
                  step.lines,
                  step.worked != nullptr,
                  {},
                  {},
                  {},
                  step.finished};
    if (step.worked) {
      handed.cleaned.assign(step.worked->CleanedLine.begin(), step.worked->CleanedLine.end());
      handed.current.assign(step.worked->CurrentLine.begin(), step.worked->CurrentLine.end());
      handed.bad = step.worked->BadSymbol;
    }
    steps.push_back(handed);
  } while (!steps.back().finished && steps.size() < 1000);
  return steps;
}

using Texts = std::vector<std::string>;

TEST(ListScan, HandsOutCleanLinesAsTheyLie) {
  // Lines that need no cleaning and end in CR LF are handed out together,
  // up to the line that needs cleaning, which comes with them.
  std::vector<Handed> steps = Steps("p a\r\nts p\r\np  a\r\nʃ\r\nts\r\n");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].records, "p a\r\nts p\r\n");
  EXPECT_EQ(steps[0].lines, 3);
  EXPECT_TRUE(steps[0].worked);
  EXPECT_EQ(steps[0].cleaned, (Texts{"p ", "a"}));
  EXPECT_EQ(steps[1].records, "ʃ\r\nts\r\n");
  EXPECT_EQ(steps[1].lines, 2);
  EXPECT_TRUE(steps[1].finished);

  // A line ended otherwise closes what is handed out, without its end.
  steps = Steps("p a\r\nts p\na\r\n");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].records, "p a\r\nts p");
  EXPECT_TRUE(steps[0].end_record);
  EXPECT_EQ(steps[0].lines, 2);
  EXPECT_EQ(steps[1].records, "a\r\n");

  // The tokens of a line that needs cleaning are handed out as stretches of the line.
  steps = Steps("x p a  ts x p\r\n");
  ASSERT_TRUE(steps[0].worked);
  EXPECT_EQ(steps[0].cleaned, (Texts{"p a ", "ts ", "p"}));
  EXPECT_EQ(steps[0].current, (Texts{"x p a ", "ts x p"}));
  EXPECT_EQ(steps[0].bad, "x");
}

TEST(ListScan, PassesNoMoreLinesThanAskedFor) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "p a ts\r\n";
  for (int most : {1, 2, 7, 8, 9, 63, 99, 100}) {
    const Handed step = Steps(text, most).front();
    EXPECT_EQ(step.lines, most);
    EXPECT_EQ(step.records.size(), 8u * static_cast<std::size_t>(most));
  }
}

}  // namespace
