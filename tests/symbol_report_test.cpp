// SymbolReport.txt: the names and forms it shows a symbol's characters in,
// checked against Unicode's own files, and what it says of the two inputs.
#include "engine/symbol_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/output_buffer.h"
#include "engine/symbols.h"
#include "engine/unicode.h"

namespace {

using namespace std::literals;
using engine::SymbolReport;
using engine::unicode::CharacterName;

// Fields of each line of one of Unicode's data files, its comments left out.
std::vector<std::vector<std::string>> DataFile(const std::string& name) {
  std::ifstream file("/usr/share/unicode/" + name);
  std::vector<std::vector<std::string>> records;
  for (std::string line; std::getline(file, line);) {
    line = line.substr(0, line.find('#'));
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::stringstream fields_of(line);
    for (std::string field; std::getline(fields_of, field, ';');) fields.push_back(field);
    records.push_back(fields);
  }
  return records;
}

TEST(SymbolReport, NamesEveryCharacterAsUnicodesFilesDo) {
  const auto names = DataFile("UnicodeData.txt");
  ASSERT_GT(names.size(), 30000u) << "Unicode's data files are missing";
  // A correction replaces the name; a control's first alias, or its figment, is its name.
  std::map<char32_t, std::string> preferred;
  for (const auto& alias : DataFile("NameAliases.txt")) {
    const char32_t code = std::stoul(alias[0], nullptr, 16);
    const bool correction = alias[2] == "correction";
    if (correction || ((alias[2] == "control" || alias[2] == "figment") && !preferred.count(code)))
      preferred[code] = alias[1];
    if (correction) preferred[code] = alias[1];
  }
  int named = 0;
  for (const auto& record : names) {
    const char32_t code = std::stoul(record[0], nullptr, 16);
    std::string expected = preferred.count(code) ? preferred[code] : record[1];
    if (expected.starts_with("<")) continue;  // the ends of ranges named by rule
    ASSERT_EQ(CharacterName(code), expected) << record[0];
    ++named;
  }
  // Ranges named by rule, and code points with no name.
  EXPECT_EQ(CharacterName(0x4E00), "CJK UNIFIED IDEOGRAPH-4E00");
  EXPECT_EQ(CharacterName(0x2A6DF), "CJK UNIFIED IDEOGRAPH-2A6DF");
  EXPECT_EQ(CharacterName(0x17000), "TANGUT IDEOGRAPH-17000");
  EXPECT_EQ(CharacterName(0xAC00), "HANGUL SYLLABLE GA");
  EXPECT_EQ(CharacterName(0xD4DB), "HANGUL SYLLABLE PWILH");
  EXPECT_EQ(CharacterName(0xE000), "<private-use-E000>");
  EXPECT_EQ(CharacterName(0x0378), "<reserved-0378>");
  EXPECT_EQ(CharacterName(0xFFFE), "<noncharacter-FFFE>");
  std::printf("[ figures  ] %d names of UnicodeData.txt matched\n", named);
}

TEST(SymbolReport, ShowsEachCharacterAndEachStrayByte) {
  struct Case {
    std::string_view symbol, visible, code_points;
  } const cases[] = {
      {"ɡ", "ɡ", "U+0261 LATIN SMALL LETTER SCRIPT G"},
      {"a\u0303", "a\u0303", "U+0061 LATIN SMALL LETTER A + U+0303 COMBINING TILDE"},
      {"word\tp", "word<U+0009>p",
       "U+0077 LATIN SMALL LETTER W + U+006F LATIN SMALL LETTER O + U+0072 LATIN SMALL LETTER R + "
       "U+0064 LATIN SMALL LETTER D + U+0009 CHARACTER TABULATION + U+0070 LATIN SMALL LETTER P"},
      {"a\u00A0b", "a<U+00A0>b",
       "U+0061 LATIN SMALL LETTER A + U+00A0 NO-BREAK SPACE + U+0062 LATIN SMALL LETTER B"},
      {"t\u200Ds", "t<U+200D>s",
       "U+0074 LATIN SMALL LETTER T + U+200D ZERO WIDTH JOINER + U+0073 LATIN SMALL LETTER S"},
      {"\u00AD", "<U+00AD>", "U+00AD SOFT HYPHEN"},
      {"\x85", "<0x85>", "0x85"},
      {"caf\xE9", "caf<0xE9>",
       "U+0063 LATIN SMALL LETTER C + U+0061 LATIN SMALL LETTER A + U+0066 LATIN SMALL LETTER F "
       "+ 0xE9"},
      {"\xC2\x85", "<U+0085>", "U+0085 NEXT LINE"},
      {"\xED\xA0\x80", "<0xED><0xA0><0x80>", "0xED + 0xA0 + 0x80"},  // a surrogate
      {"\xC0\xAF", "<0xC0><0xAF>", "0xC0 + 0xAF"},                   // overlong
      {"\U0001F600", "\U0001F600", "U+1F600 GRINNING FACE"},
      {"\0"sv, "<U+0000>", "U+0000 NULL"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(engine::unicode::Visible(c.symbol), c.visible);
    EXPECT_EQ(engine::unicode::CodePoints(c.symbol), c.code_points);
  }
}

std::string Written(const SymbolReport& report,
                    const engine::SymbolInventory& inventory = engine::SymbolInventory()) {
  std::string bytes;
  engine::OutputBuffer out([&](std::string_view part) { bytes += part; });
  report.Write(out, inventory);
  out.Flush();
  return bytes;
}

TEST(SymbolReport, SaysWhatItFindsInBothFiles) {
  SymbolReport report;
  const std::string_view inventory[] = {"p", "", "t s", "a\t", "p", "\xE9", "t s"};
  long long line_number = 0;
  engine::SymbolInventory symbols;
  for (std::string_view symbol : inventory) {
    report.InventoryLine(++line_number, symbol, symbol);
    if (!symbol.empty()) symbols.AddSymbol(symbol);
  }
  EXPECT_TRUE(symbols.LegalSymbol("p")) << "the list uses p";
  report.Removed("x", 2);
  report.Removed("\xE9t\xE9", 3);
  report.Removed("x", 3);
  report.Removed("x", 3);
  EXPECT_EQ(Written(report, symbols),
            "Symbol\tCode points\tTimes removed\tLines\tFirst line\tNote\r\n"
            "x\tU+0078 LATIN SMALL LETTER X\t3\t2\t2\t\r\n"
            "<0xE9>t<0xE9>\t0xE9 + U+0074 LATIN SMALL LETTER T + 0xE9\t1\t1\t3\t\r\n"
            "\r\n"
            "2 different symbols were removed, 4 times in all, from 2 lines of in.txt.\r\n"
            "in.txt is not UTF-8: line 3 has the byte 0xE9, which UTF-8 does not allow there. It "
            "is likely Latin-1 or Windows-1252; saved again as UTF-8, its symbols can match those "
            "of Symbols.txt.\r\n"
            "Symbols.txt is not UTF-8: line 6 has the byte 0xE9, which UTF-8 does not allow "
            "there. It is likely Latin-1 or Windows-1252; saved again as UTF-8, its symbols can "
            "match those of in.txt.\r\n"
            "Symbols.txt line 3 (t s) has a space inside: no symbol of in.txt can match it, since "
            "spaces separate the symbols.\r\n"
            "Symbols.txt line 7 (t s) has a space inside: no symbol of in.txt can match it, since "
            "spaces separate the symbols.\r\n"
            "Symbols.txt line 4 (a<U+0009>) begins or ends with a TAB: it matches only a symbol "
            "of in.txt with the same TAB.\r\n"
            "Symbols.txt line 5 repeats line 1 (p).\r\n"
            "Symbols.txt line 7 repeats line 3 (t s).\r\n"
            "Symbols.txt has 3 symbols that in.txt never uses: t s (line 3), a<U+0009> (line 4) "
            "and <0xE9> (line 6).\r\n");
  EXPECT_EQ(Written(SymbolReport()),
            "Symbol\tCode points\tTimes removed\tLines\tFirst line\tNote\r\n\r\n"
            "No symbol was removed from in.txt.\r\n");
}

// The note each removed symbol gets, given one inventory: each near match,
// the strongest that applies, naming the inventory symbol.
TEST(SymbolReport, NamesWhatEachRemovedSymbolNearlyMatches) {
  const std::string_view inventory[] = {"ɡ",      "ː",       "ˈ",  "ɛ", "ə", "t\u0361ʃ",
                                        "\u00E3", "e\u0301", "ts", "a", "p", "AH",
                                        "IY0",    "IY1",     "t",  "B"};
  struct Case {
    std::string_view removed, note;
  } const cases[] = {
      {"g", "Symbols.txt has ɡ (U+0261 LATIN SMALL LETTER SCRIPT G), which looks the same."},
      {":", "Symbols.txt has ː (U+02D0 MODIFIER LETTER TRIANGULAR COLON), which looks the same."},
      {"'", "Symbols.txt has ˈ (U+02C8 MODIFIER LETTER VERTICAL LINE), which looks the same."},
      {"ε", "Symbols.txt has ɛ (U+025B LATIN SMALL LETTER OPEN E), which looks the same."},
      {"ǝ", "Symbols.txt has ə (U+0259 LATIN SMALL LETTER SCHWA), which looks the same."},
      {"ʧ",
       "Symbols.txt has t\u0361ʃ (U+0074 LATIN SMALL LETTER T + U+0361 COMBINING DOUBLE INVERTED "
       "BREVE + U+0283 LATIN SMALL LETTER ESH), which looks the same."},
      {"t\u200Dʃ",
       "Symbols.txt has t\u0361ʃ (U+0074 LATIN SMALL LETTER T + U+0361 COMBINING DOUBLE INVERTED "
       "BREVE + U+0283 LATIN SMALL LETTER ESH), which looks the same."},
      {"a\u0303",
       "Symbols.txt has \u00E3 (U+00E3 LATIN SMALL LETTER A WITH TILDE), the same letters composed "
       "(NFC)."},
      {"\u00E9",
       "Symbols.txt has e\u0301 (U+0065 LATIN SMALL LETTER E + U+0301 COMBINING ACUTE ACCENT), the "
       "same letters decomposed (NFD)."},
      {"t\u200Bs",
       "Symbols.txt has ts (U+0074 LATIN SMALL LETTER T + U+0073 LATIN SMALL LETTER S): the symbol "
       "is the same with U+200B ZERO WIDTH SPACE, which cannot be seen."},
      {"a\u00A0p",
       "Symbols.txt has a and p: the symbol is them with U+00A0 NO-BREAK SPACE, which does not "
       "separate symbols as a space does."},
      {"b", "Symbols.txt has B (U+0042 LATIN CAPITAL LETTER B), the same in another case."},
      {"AH0",
       "Symbols.txt has AH (U+0041 LATIN CAPITAL LETTER A + U+0048 LATIN CAPITAL LETTER H), the "
       "same without the stress digit 0."},
      {"IY", "Symbols.txt has IY0 and IY1: the symbol with a stress digit."},
      {"t\u02B0",
       "Symbols.txt has t (U+0074 LATIN SMALL LETTER T); the symbol adds U+02B0 MODIFIER LETTER "
       "SMALL H, which Symbols.txt does not have on it."},
      {"word\tp",
       "It holds a TAB: in.txt may be columns separated by TABs; p is in Symbols.txt, so column 2 "
       "looks like the transcription."},
      {"x", ""},
      {"caf\xE9", ""},
  };
  SymbolReport report;
  long long line_number = 0;
  for (std::string_view symbol : inventory) report.InventoryLine(++line_number, symbol, symbol);
  for (const Case& c : cases) report.Removed(c.removed, ++line_number);
  const std::string written = Written(report);
  std::size_t at = written.find("\r\n") + 2;
  for (const Case& c : cases) {
    const std::size_t end = written.find("\r\n", at);
    const std::string record = written.substr(at, end - at);
    at = end + 2;
    EXPECT_EQ(record.substr(record.rfind('\t') + 1), c.note) << record;
  }
  // Pairs in the inventory itself.
  SymbolReport pairs;
  line_number = 0;
  for (std::string_view symbol : {"ɡ", "g", "\u00E3", "a\u0303"})
    pairs.InventoryLine(++line_number, symbol, symbol);
  const std::string said = Written(pairs);
  EXPECT_NE(said.find("\r\nSymbols.txt line 1 (ɡ) and line 2 (g) look the same.\r\n"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("\r\nSymbols.txt line 3 (\u00E3) and line 4 (a\u0303) are the same after "
                      "Unicode normalisation.\r\n"),
            std::string::npos)
      << said;
}

// However many different symbols a list has, and however long, the report
// keeps a bounded part of each and a bounded number of them.
TEST(SymbolReport, StaysBoundedWhateverTheList) {
  SymbolReport report;
  const std::string long_symbol = std::string(1000, 'k') + "ʃ";
  report.Removed(std::string(SymbolReport::kKeptBytes - 1, 'k') + "ʃ", 1);  // cut inside ʃ
  report.Removed(long_symbol, 1);
  report.Removed(long_symbol, 2);
  char name[16];
  for (std::size_t i = 0; i < SymbolReport::kLargestTable + 500; ++i) {
    const int size =
        std::snprintf(name, sizeof name, "s%zu", i % (SymbolReport::kLargestTable + 100));
    report.Removed(std::string_view(name, static_cast<std::size_t>(size)), 3);
  }
  const std::string written = Written(report);
  EXPECT_NE(written.find(std::string(SymbolReport::kKeptBytes - 1, 'k').insert(0, "\n") +
                         "... (129 bytes in all)\t"),
            std::string::npos)
      << "a character is kept whole or not at all";
  EXPECT_NE(written.find(std::string(SymbolReport::kKeptBytes, 'k').insert(0, "\n") +
                         "... (1002 bytes in all)\t"),
            std::string::npos);
  EXPECT_NE(written.find("\r\n10102 different symbols were removed, 10503 times in all, from 3 "
                         "lines of in.txt.\r\nOnly the first 10000 different symbols removed have "
                         "a record above: 102 more were removed 102 times in all.\r\n"),
            std::string::npos)
      << written.substr(written.size() - 300);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1 + 10000 + 1 + 2);
}

}  // namespace
