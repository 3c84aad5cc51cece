// Finding the lines that cleaning leaves as they stand: where a run of them
// stops, checked against a line-by-line statement of the same rule at every
// length of the text and every position of the 64-byte blocks it is read in.
#include "engine/verbatim_lines.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/test_support.h"

namespace {

using namespace std::literals;
using engine::VerbatimLines;
using testing_support::InventoryOf;

const engine::SymbolInventory kSymbols =
    InventoryOf({"p", "a", "ts", "ʃ", "tʃ", "a\t", "abcdefg", "abcdefgh", std::string("n\0", 2)});

// The text placed `offset` bytes into a buffer, with the bytes the scan may
// read past its end holding what would most mislead it: line ends.
class Placed {
 public:
  Placed(std::string_view text, std::size_t offset)
      : bytes_(offset + text.size() + engine::kVerbatimReadAhead, '\n') {
    std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    view_ = std::string_view(bytes_.data() + offset, text.size());
  }
  std::string_view View() const { return view_; }

 private:
  std::string bytes_;
  std::string_view view_;
};

VerbatimLines Find(std::string_view text, int most = 1000000, std::size_t offset = 0) {
  Placed placed(text, offset);
  return engine::FindVerbatimLines(placed.View(), most, kSymbols.LegalPackedSymbols());
}

// The rule, a line at a time: a line whose end is in the text, whose tokens
// are legal and at most 7 bytes, between single spaces and no others.
VerbatimLines Expected(std::string_view text, int most) {
  VerbatimLines expected;
  std::size_t line = 0;
  while (expected.count < most) {
    std::size_t end = text.find_first_of("\r\n", line);
    if (end == std::string_view::npos) break;
    std::string_view content = text.substr(line, end - line);
    std::size_t from = 0;
    for (;;) {
      std::size_t space = content.find(' ', from);
      std::string_view token =
          content.substr(from, space == content.npos ? content.npos : space - from);
      if (token.empty() || token.size() > 7 || !kSymbols.LegalSymbol(token)) return expected;
      if (space == content.npos) break;
      from = space + 1;
    }
    if (text[end] == '\r' && end + 1 == text.size()) break;  // CR LF or lone CR: not known yet
    const bool crlf = text[end] == '\r' && text[end + 1] == '\n';
    line = end + (crlf ? 2 : 1);
    expected.length = line;
    expected.crlf_only = expected.crlf_only && crlf;
    ++expected.count;
  }
  return expected;
}

void ExpectSame(const VerbatimLines& found, const VerbatimLines& expected, const std::string& at) {
  EXPECT_EQ(found.length, expected.length) << at;
  EXPECT_EQ(found.count, expected.count) << at;
  EXPECT_EQ(found.crlf_only, expected.crlf_only) << at;
}

TEST(VerbatimLines, StopAtTheFirstLineWithAnythingToClean) {
  const std::string good = "p a\r\n";
  for (std::string_view bad : {"p x\r\n", "x\r\n", " p\r\n", "p \r\n", "p  a\r\n", "\r\n",
                               "abcdefgh\r\n", "p\ta\r\n", "a\t \r\n", "n\r\n"}) {
    const VerbatimLines found = Find(good + std::string(bad) + good);
    EXPECT_EQ(found.length, good.size()) << bad;
    EXPECT_EQ(found.count, 1) << bad;
  }
  // Tabs, NUL bytes, UTF-8 and seven-byte symbols are tokens like any other.
  const std::string odd = "a\t n\0 ʃ tʃ abcdefg\r\n"s;
  EXPECT_EQ(Find(odd).count, 1);
  EXPECT_EQ(Find(odd).length, odd.size());
}

TEST(VerbatimLines, TakeLinesEndedByALoneCrOrLfAndSaySo) {
  VerbatimLines found = Find("p a\r\nts p\nx\r\n");
  EXPECT_EQ(found.count, 2);
  EXPECT_EQ(found.length, 10u);
  EXPECT_FALSE(found.crlf_only);
  EXPECT_TRUE(Find("p a\r\nts p\r\nx\n").crlf_only) << "the lone LF is not in the run";
  EXPECT_EQ(Find("ts\rp\r\n").count, 2);
  EXPECT_EQ(Find("p\n\np\r\n").count, 1) << "a blank line is not verbatim";
  EXPECT_EQ(Find("p\n\rp\r\n").count, 1) << "LF CR is two line ends";
  EXPECT_EQ(Find("abcdefg\np\n").count, 2);
  EXPECT_EQ(Find("abcdefgh\np\n").count, 0) << "8 bytes: too long";
  std::string one_symbol_lines;
  for (int i = 0; i < 100; ++i) one_symbol_lines += "ts\n";
  EXPECT_EQ(Find(one_symbol_lines, 1000, 60).count, 100);
  // A CR that ends the bytes in hand may be half of a CR LF: not judged yet.
  found = Find("p\r\na\r");
  EXPECT_EQ(found.count, 1);
  EXPECT_TRUE(found.crlf_only);
  EXPECT_EQ(Find("p\r\na").count, 1) << "a line without its end is not judged";
}

TEST(VerbatimLines, TakeNoMoreThanAskedFor) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "p a ts\r\n";
  for (int most : {1, 2, 7, 8, 9, 63, 99, 100}) {
    const VerbatimLines found = Find(text, most);
    EXPECT_EQ(found.count, most);
    EXPECT_EQ(found.length, 8u * static_cast<std::size_t>(most));
  }
  EXPECT_EQ(Find(text, 0).count, 0);
  EXPECT_EQ(Find(text, 0).length, 0u);
  EXPECT_FALSE(Find(text + "p\n", 101).crlf_only);
  EXPECT_TRUE(Find(text + "p\n", 100).crlf_only);
}

TEST(VerbatimLines, AgreeWithTheRuleAtEveryLengthAndBlockPosition) {
  // Random lines, mostly verbatim, so that every kind of stop lands on every
  // byte of a block, a CR LF is split across blocks, and tokens span them.
  static const std::string_view kPieces[] = {"p",        "a", "ts", "ʃ",    "tʃ", "a\t", "abcdefg",
                                             "abcdefgh", "x", " ",  "\r\n", "\n", "\r"};
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    std::string text;
    while (text.size() < 200) {
      std::size_t tokens = 1 + random() % 12;
      for (std::size_t i = 0; i < tokens; ++i) {
        text += kPieces[random() % 6];
        if (i + 1 < tokens) text += ' ';
      }
      // One line in four has a flaw where it ends: an odd token or space, a
      // blank line, a lone CR or LF.
      if (random() % 4 == 0) {
        text += kPieces[6 + random() % 7];
        if (random() % 2 == 0) continue;
      }
      text += "\r\n";
    }
    for (std::size_t offset : {0u, 1u, 13u, 63u}) {
      for (std::size_t size = 0; size <= text.size(); ++size) {
        const std::string_view prefix(text.data(), size);
        for (int most : {1000, 3}) {
          ExpectSame(Find(prefix, most, offset), Expected(prefix, most),
                     "round " + std::to_string(round) + ", offset " + std::to_string(offset) +
                         ", size " + std::to_string(size) + ", most " + std::to_string(most));
          if (HasFailure()) return;
        }
      }
    }
  }
}

}  // namespace
