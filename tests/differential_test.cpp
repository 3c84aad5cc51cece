// The engine against a model of the rules on random lists and inventories:
// a few symbols, runs of spaces of every length (past 1024 too), tabs, all
// three line ends, byte-order marks and stray bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>

#include "tests/cleaning_model.h"
#include "tests/fault_support.h"
#include "tests/model_check.h"

namespace {

using testing_support::DifferenceFromModel;
using testing_support::Escaped;
using testing_support::TempFolder;
using namespace std::literals;

class RandomText {
 public:
  explicit RandomText(std::uint64_t seed) : random_(seed) {}

  std::string List(int lines) {
    std::string list = Mark();
    for (int line = 0; line < lines; ++line) {
      list += Line();
      if (line + 1 < lines || Chance(2)) list += LineEnd();
    }
    return list;
  }

  // A long list whose lines are mostly legal symbols between single spaces,
  // as a real list is, each ended by `line_end` (empty: any of the three).
  std::string MostlyCleanList(int lines, std::string_view line_end) {
    static const std::string_view kLegal[] = {"p"sv, "a"sv,       "t"sv,       "ts"sv,
                                              "ʃ"sv, "abcdefg"sv, "abcdefgh"sv};
    std::string list = Mark();
    for (int line = 0; line < lines; ++line) {
      if (Chance(50)) {
        list += Line();
      } else {
        for (std::size_t tokens = 1 + Pick(9); tokens > 0; --tokens) {
          list += kLegal[Pick(std::size(kLegal))];
          if (tokens > 1) list += ' ';
        }
      }
      list += line_end.empty() ? LineEnd() : std::string(line_end);
    }
    return list;
  }

  static std::string MostlyCleanInventory() {
    return "p\r\na\r\nt\r\nts\r\nʃ\r\nabcdefg\r\nabcdefgh\r\n";
  }

  // A Replacements.txt for the tokens of List: records written plainly or
  // with escapes, giving none to three symbols, legal or not, spaced
  // anyhow; now and then a header, notes, blank records, a symbol given
  // twice, or a record that breaks the rules.
  std::string Replacements() {
    static const std::string_view kGiven[] = {"p"sv, "a"sv,   "t"sv, "ts"sv, "ʃ"sv,
                                              "P"sv, "a\t"sv, "x"sv, "zz"sv, "y"sv};
    std::string table = Mark();
    if (Chance(3)) table += "  Symbol\tReplace with\tNote" + LineEnd();
    std::vector<std::pair<std::string, std::string>> records;
    for (std::size_t count = Pick(7); count > 0; --count) {
      if (Chance(8)) {
        table += (Chance(2) ? "" : " \t ") + LineEnd();
        continue;
      }
      if (Chance(80)) {
        static const std::string_view kBroken[] = {"p"sv, "\tp"sv, "<U+0020>\tp"sv, " \t"sv};
        table += std::string(kBroken[Pick(std::size(kBroken))]) + LineEnd();
        continue;
      }
      std::string symbol = Token(), replacement;
      if (!records.empty() && Chance(6)) {
        const auto& earlier = records[Pick(records.size())];
        symbol = earlier.first;
        replacement = Chance(10) ? "x" : earlier.second;
      } else {
        for (std::size_t parts = Pick(4); parts > 0; --parts) {
          replacement += Chance(4) ? Token() : std::string(kGiven[Pick(std::size(kGiven))]);
          if (parts > 1) replacement += ' ';
        }
      }
      records.emplace_back(symbol, replacement);
      table += std::string(Pick(2), ' ') + Written(symbol) + std::string(Pick(2), ' ') + "\t" +
               std::string(Pick(2), ' ') + Written(replacement) + (Chance(4) ? "\tnote\t" : "") +
               LineEnd();
    }
    return table;
  }

  std::string Inventory() {
    static const std::string_view kSymbols[] = {"p"sv,   "a"sv,   "t"sv,  "ts"sv,    "ʃ"sv,   "P"sv,
                                                "a\t"sv, "t s"sv, "\t"sv, "x\xFF"sv, "ts\0"sv};
    std::string symbols = Mark();
    int lines = static_cast<int>(Pick(12));
    for (int line = 0; line < lines; ++line) {
      if (Chance(6)) {
        symbols += std::string(Pick(3), ' ');
      } else {
        symbols += std::string(Pick(3), ' ');
        symbols += kSymbols[Pick(std::size(kSymbols))];
        symbols += std::string(Pick(3), ' ');
      }
      symbols += LineEnd();
    }
    return symbols;
  }

 private:
  std::size_t Pick(std::size_t count) { return static_cast<std::size_t>(random_() % count); }
  bool Chance(std::size_t one_in) { return Pick(one_in) == 0; }

  // Mostly none; sometimes a UTF-8 mark, which is skipped, or a UTF-16 one, which is refused.
  std::string Mark() {
    switch (Pick(100)) {
      case 0:
        return "\xFF\xFE";
      case 1:
        return "\xFE\xFF";
      case 2:
      case 3:
      case 4:
      case 5:
        return "\xEF\xBB\xBF";
      case 6:
        return "\xEF\xBB";
      default:
        return "";
    }
  }

  // Bytes as a record of Replacements.txt may write them: those that would
  // break the record, and others at random, as <0xNN> or <U+00NN>; a < that
  // would read as an escape, as one.
  std::string Written(std::string_view text) {
    std::string written;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '\t' || c == '\r' || c == '\n' || c == '<' || Chance(byte < 0x80 ? 8 : 3)) {
        char escape[16];
        std::snprintf(escape, sizeof escape, byte < 0x80 && Chance(2) ? "<U+%04X>" : "<0x%02X>",
                      byte);
        written += escape;
      } else {
        written += c;
      }
    }
    return written;
  }

  std::string LineEnd() {
    static const char* const kEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
    return kEnds[Pick(5)];
  }

  std::string Spaces() {
    std::size_t kind = Pick(100);
    if (kind < 70) return " ";
    if (kind < 85) return std::string(2 + Pick(4), ' ');
    if (kind < 96) return std::string(6 + Pick(40), ' ');
    if (kind < 99) return std::string(1000 + Pick(60), ' ');  // about the 1024 of ten halvings
    return std::string(2040 + Pick(20), ' ');
  }

  std::string Token() {
    static const std::string_view kTokens[] = {
        "p"sv,   "a"sv,  "t"sv,    "ts"sv,           "ʃ"sv,  "x"sv,    "y"sv,       "P"sv,
        "a\t"sv, "\t"sv, "ts\t"sv, "\xEF\xBB\xBF"sv, "pa"sv, "ts\0"sv, "\xFF\xFE"sv};
    std::size_t kind = Pick(20);
    if (kind == 0) return std::string(1, static_cast<char>(Pick(256)));
    if (kind == 1) {
      std::string bytes;
      for (std::size_t i = 1 + Pick(4); i > 0; --i) bytes += static_cast<char>(Pick(256));
      return bytes;
    }
    return std::string(kTokens[Pick(std::size(kTokens))]);
  }

  std::string Line() {
    std::size_t kind = Pick(20);
    if (kind == 0) return "";
    if (kind == 1) return Spaces();
    if (kind == 2) return "\t";
    std::string line = Chance(4) ? Spaces() : "";
    for (std::size_t tokens = 1 + Pick(7); tokens > 0; --tokens) {
      line += Token();
      if (tokens > 1) line += Spaces();
    }
    if (Chance(4)) line += Spaces();
    return line;
  }

  std::mt19937_64 random_;
};

TEST(Differential, EngineAgreesWithTheRulesOnRandomLists) {
  constexpr std::uint64_t kSeed = 20261207;
  constexpr long long kLines = 100000 / testing_support::kSanitizerDivisor;
  constexpr int kLinesPerRun = 200;
  RandomText random(kSeed);
  TempFolder folder(testing_support::FastScratchBase());
  long long lines = 0;
  int runs = 0;
  int refused = 0, replaced = 0;
  for (int run = 0; lines < kLines; ++run, ++runs) {
    const std::string list = random.List(kLinesPerRun);
    const std::string symbols = random.Inventory();
    const std::optional<std::string> table =
        run % 2 ? std::optional(random.Replacements()) : std::nullopt;
    const cleaning_model::Result model = cleaning_model::Clean(list, symbols, table);
    lines += model.refused ? 0 : model.lines;
    refused += model.refused;
    for (const auto& record : model.replacements) replaced += static_cast<int>(record.times);
    std::string difference = DifferenceFromModel(folder, list, symbols, table);
    ASSERT_EQ(difference, "") << "run " << run << " of seed " << kSeed
                              << "\nSymbols.txt: " << Escaped(symbols)
                              << "\nReplacements.txt: " << Escaped(table.value_or("(none)"))
                              << "\nin.txt: " << Escaped(list, 4000);
  }
  std::printf(
      "[ figures  ] %d random runs, %lld random lines cleaned alike by engine and model, "
      "%d runs refused alike (UTF-16 mark, broken Replacements.txt), %d tokens replaced\n",
      runs, lines, refused, replaced);
}

}  // namespace

namespace {

TEST(Differential, EngineAgreesWithTheRulesOnLongMostlyCleanLists) {
  // Long runs of lines that need no cleaning, across many reads of the list
  // and many progress captions, broken by lines that do, for each kind of line end.
  RandomText random(20261208);
  TempFolder folder(testing_support::FastScratchBase());
  const int lines = 30000 / testing_support::kSanitizerDivisor;
  // Without Replacements.txt, and with one that replaces legal symbols (a
  // short one and a long one, which the scan's lookups find otherwise) and
  // an illegal one.
  const std::string table = "ts\tt a\nabcdefgh\tʃ abcdefg\nx\tp\n";
  for (std::string_view line_end : {"\r\n"sv, "\n"sv, "\r"sv, ""sv}) {
    const std::string list = random.MostlyCleanList(lines, line_end);
    ASSERT_GT(list.size(), 3u * 64 * 1024 / testing_support::kSanitizerDivisor);
    for (const bool replacing : {false, true}) {
      std::string difference =
          DifferenceFromModel(folder, list, RandomText::MostlyCleanInventory(),
                              replacing ? std::optional<std::string_view>(table) : std::nullopt);
      ASSERT_EQ(difference, "") << "line end " << Escaped(line_end)
                                << (replacing ? ", replacing" : "")
                                << "\nin.txt: " << Escaped(list, 4000);
    }
  }
}

}  // namespace

namespace {

TEST(Differential, EngineAgreesWithTheRulesWhereLinesThatNeedCleaningStraddleReads) {
  // Most lines need cleaning, so that many of them straddle two reads of the
  // list; lines with runs of spaces and illegal tokens are longer than
  // several reads, so the buffer grows to hold them as they are rewritten
  // in place: illegal tokens throughout, only the first, only the last after
  // a clean start, or none but doubled spaces; spaces at either end.
  RandomText random(20261209);
  TempFolder folder(testing_support::FastScratchBase());
  std::string list = random.List(8000 / testing_support::kSanitizerDivisor);
  auto repeated = [](std::string_view start, std::string_view part, std::string_view end) {
    std::string line(start);
    while (line.size() < 300 * 1024) line += part;
    return line += end;
  };
  for (const std::string& long_line :
       {repeated("", "p  x a ts\tt abcdefgh y ", ""), repeated("x  ", "p  a   ts ʃ  ", "a  "),
        repeated("", "p a ts abcdefgh ", "y  a"), repeated("   ", "p  ts  ", "   ")}) {
    list += "\r\n" + long_line + "\r\n" + random.List(20);
  }
  ASSERT_GT(list.size(), 4u * 300 * 1024);
  for (const char* table : {static_cast<const char*>(nullptr), "p\tp p\nx\t\nʃ\tzz\n"}) {
    std::string difference =
        DifferenceFromModel(folder, list, RandomText::MostlyCleanInventory(),
                            table ? std::optional<std::string_view>(table) : std::nullopt);
    ASSERT_EQ(difference, "") << "in.txt: " << Escaped(list, 4000);
  }
}

}  // namespace
