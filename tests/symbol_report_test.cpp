// SymbolReport.txt: the names and forms it shows a symbol's characters in,
// checked against Unicode's own files, and what it says of the two inputs.
#include "engine/symbol_report.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "engine/near_match.h"
#include "engine/output_buffer.h"
#include "engine/replacements.h"
#include "engine/symbols.h"
#include "engine/text_reader.h"
#include "engine/unicode.h"
#include "tests/test_support.h"

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

// The report of a run without Replacements.txt, whose suggestions go nowhere.
void WriteReport(const SymbolReport& report, engine::OutputBuffer& out,
                 const engine::SymbolInventory& inventory) {
  engine::OutputBuffer suggestions([](std::string_view) {});
  report.Write(out, suggestions, inventory, engine::Replacements());
}

// A report whose inventory is loaded from `lines` of Symbols.txt.
struct Reported {
  engine::SymbolInventory inventory;
  SymbolReport report;
  explicit Reported(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) text.append(line).append("\n");
    engine::TextReader reader(testing_support::SourceOf(text));
    engine::LoadInventory(reader, inventory, report.Check());
  }
  std::string Written() const {
    std::string bytes;
    engine::OutputBuffer out([&](std::string_view part) { bytes += part; });
    WriteReport(report, out, inventory);
    out.Flush();
    return bytes;
  }
};

const std::string kHeader(SymbolReport::kHeader);

// The records of a report's table, after its header, each split into its fields.
std::vector<std::vector<std::string>> Records(const std::string& written) {
  std::vector<std::vector<std::string>> records;
  for (std::size_t at = written.find(kHeader + "\r\n") + kHeader.size() + 2; at < written.size();) {
    const std::size_t end = written.find("\r\n", at);
    if (end == at) break;
    std::vector<std::string> fields(1);
    for (const char byte : written.substr(at, end - at)) {
      if (byte == '\t') {
        fields.emplace_back();
      } else {
        fields.back() += byte;
      }
    }
    records.push_back(fields);
    at = end + 2;
  }
  return records;
}

TEST(SymbolReport, SaysWhatItFindsInBothFiles) {
  Reported reported{"p", "", "t s", "a\t", "p", "\xE9", "t s", "AA", "AA1"};
  EXPECT_TRUE(reported.inventory.LegalSymbol("p")) << "the list uses p";
  EXPECT_TRUE(reported.inventory.LegalSymbol("AA1")) << "and AA only with a stress digit";
  SymbolReport& report = reported.report;
  report.Removed("x", 2);
  report.Removed("\xE9t\xE9", 3);
  report.Removed("x", 3);
  report.Removed("x", 3);
  report.ListEnded(9, 9, 0);
  EXPECT_EQ(reported.Written(),
            "\t\t\t\t\tin.txt is not UTF-8: line 3 has the byte 0xE9, which UTF-8 does not allow "
            "there. It is likely Latin-1 or Windows-1252; saved again as UTF-8, its symbols can "
            "match those of Symbols.txt.\r\n"
            "\t\t\t\t\tSymbols.txt is not UTF-8: line 6 has the byte 0xE9, which UTF-8 does not "
            "allow there. It is likely Latin-1 or Windows-1252; saved again as UTF-8, its symbols "
            "can match those of in.txt.\r\n"
            "\r\n" +
                kHeader +
                "\r\n"
                "x\tU+0078 LATIN SMALL LETTER X\t3\t2\t2\t\t\r\n"
                "<0xE9>t<0xE9>\t0xE9 + U+0074 LATIN SMALL LETTER T + 0xE9\t1\t1\t3\t\t\r\n"
                "\r\n"
                "\t\t\t\t\t2 different symbols were removed, 4 times in all, from 2 lines of "
                "in.txt.\r\n"
                "\t\t\t\t\tSymbols.txt line 3 (t s) has a space inside: no symbol of in.txt can "
                "match it, since spaces separate the symbols.\r\n"
                "\t\t\t\t\tSymbols.txt line 7 (t s) has a space inside: no symbol of in.txt can "
                "match it, since spaces separate the symbols.\r\n"
                "\t\t\t\t\tSymbols.txt line 4 (a<U+0009>) begins or ends with a TAB: it matches "
                "only a symbol of in.txt with the same TAB.\r\n"
                "\t\t\t\t\tSymbols.txt line 5 repeats line 1 (p).\r\n"
                "\t\t\t\t\tSymbols.txt line 7 repeats line 3 (t s).\r\n"
                "\t\t\t\t\tSymbols.txt has 3 symbols that in.txt never uses: t s (line 3), "
                "a<U+0009> (line 4) and <0xE9> (line 6).\r\n");
  EXPECT_EQ(Reported{}.Written(),
            kHeader + "\r\n\r\n\t\t\t\t\tNo symbol was removed from in.txt.\r\n");
}

// What comes before the table: the findings a user must see first.
TEST(SymbolReport, PutsFindingsFirst) {
  struct Case {
    std::initializer_list<std::string_view> inventory;
    std::vector<std::string_view> removed;  // one a line
    long long lines;
    std::string_view finding;
  } const cases[] = {
      {{"p"},
       {"p\0"sv, "\0a\0"sv, "\0p\0"sv},
       3,
       "in.txt looks like UTF-16 without a byte-order mark"},
      {{"p"}, {"a", "b"}, 2, "FixedLines.txt is empty"},
      {{"AA", "IY"},
       {"aa", "iy", "aa"},
       3,
       "Every symbol removed is one of Symbols.txt in another case."},
      {{"AA", "IY"},
       {"AA1", "IY0"},
       2,
       "Every symbol removed is one of Symbols.txt with or without a stress digit."},
      {{"p"}, {"w\tp", "x\tp"}, 2, "Most lines that lost a symbol have a TAB in it"},
  };
  for (const Case& c : cases) {
    Reported reported(c.inventory);
    long long line = 0;
    for (std::string_view symbol : c.removed) reported.report.Removed(symbol, ++line);
    reported.report.ListEnded(c.lines, c.lines, 0);
    const std::string written = reported.Written();
    EXPECT_NE(written.find("\t\t\t\t\t" + std::string(c.finding)), std::string::npos) << written;
    EXPECT_LT(written.find(c.finding), written.find(kHeader)) << written;
  }
}

// The note and the replacement each removed symbol gets, given one
// inventory: the nearest symbol, named as a phonologist would.
TEST(SymbolReport, NamesWhatEachRemovedSymbolNearlyMatches) {
  Reported reported{"ɡ",  "ː",  "ˈ",  "ɛ",  "ə",   "t\u0361ʃ", "\u00E3", "e\u0301",
                    "ts", "a",  "p",  "AH", "IY0", "IY1",      "t",      "eː",
                    "t̪ˠ", "bˠ", "bʲ", "kʰ", "k",   "ɛ̃",        "kʲʰ",    "tʰː",
                    "d͡ʒ", "t͡s", "ˌ",  "ʔ",  "i",   "l",        "ɑ"};
  struct Case {
    std::string_view removed, note, replacement;
  } const cases[] = {
      {"g",
       "Symbols.txt has ɡ (U+0261 LATIN SMALL LETTER SCRIPT G), which looks the same: the "
       "same IPA symbol, written with U+0067 LATIN SMALL LETTER G.",
       "ɡ"},
      {":",
       "Symbols.txt has ː (U+02D0 MODIFIER LETTER TRIANGULAR COLON), which looks the same: "
       "the same IPA symbol, written with U+003A COLON.",
       "ː"},
      {"'",
       "Symbols.txt has ˈ (U+02C8 MODIFIER LETTER VERTICAL LINE), which looks the same: the "
       "same IPA symbol, written with U+0027 APOSTROPHE.",
       "ˈ"},
      {",",
       "Symbols.txt has ˌ (U+02CC MODIFIER LETTER LOW VERTICAL LINE), which looks the same: "
       "the same IPA symbol, written with U+002C COMMA.",
       "ˌ"},
      {"?",
       "Symbols.txt has ʔ (U+0294 LATIN LETTER GLOTTAL STOP), which looks the same: the same "
       "IPA symbol, written with U+003F QUESTION MARK.",
       "ʔ"},
      {"ε",
       "Symbols.txt has ɛ (U+025B LATIN SMALL LETTER OPEN E), which looks the same: the same "
       "IPA symbol, written with U+03B5 GREEK SMALL LETTER EPSILON.",
       "ɛ"},
      {"ǝ",
       "Symbols.txt has ə (U+0259 LATIN SMALL LETTER SCHWA), which looks the same: the same "
       "IPA symbol, written with U+01DD LATIN SMALL LETTER TURNED E.",
       "ə"},
      {"ʧ",
       "Symbols.txt has t\u0361ʃ (U+0074 LATIN SMALL LETTER T + U+0361 COMBINING DOUBLE "
       "INVERTED BREVE + U+0283 LATIN SMALL LETTER ESH), which looks the same: the same IPA "
       "symbol, written with U+02A7 LATIN SMALL LETTER TESH DIGRAPH.",
       "t\u0361ʃ"},
      {"ʦ\u0311",
       "Symbols.txt has t\u0361s (U+0074 LATIN SMALL LETTER T + U+0361 COMBINING "
       "DOUBLE INVERTED BREVE + U+0073 LATIN SMALL LETTER S), which looks the same: the "
       "same IPA symbol, written with U+02A6 LATIN SMALL LETTER TS DIGRAPH.",
       "t\u0361s"},
      {"t\u200Dʃ",
       "Symbols.txt has t\u0361ʃ (U+0074 LATIN SMALL LETTER T + U+0361 COMBINING DOUBLE "
       "INVERTED BREVE + U+0283 LATIN SMALL LETTER ESH), the same with another tie.",
       "t\u0361ʃ"},
      {"a\u0303",
       "Symbols.txt has \u00E3 (U+00E3 LATIN SMALL LETTER A WITH TILDE), the same "
       "letters composed (NFC).",
       "\u00E3"},
      {"\u00E9",
       "Symbols.txt has e\u0301 (U+0065 LATIN SMALL LETTER E + U+0301 COMBINING ACUTE "
       "ACCENT), the same letters decomposed (NFD).",
       "e\u0301"},
      {"t\u200Bs",
       "Symbols.txt has ts (U+0074 LATIN SMALL LETTER T + U+0073 LATIN SMALL LETTER "
       "S): the symbol is the same with U+200B ZERO WIDTH SPACE, which cannot be seen.",
       "ts"},
      {"a\u00A0p",
       "Symbols.txt has a and p: the symbol is them with U+00A0 NO-BREAK SPACE, which "
       "does not separate symbols as a space does.",
       "a p"},
      {"ah",
       "Symbols.txt has AH (U+0041 LATIN CAPITAL LETTER A + U+0048 LATIN CAPITAL LETTER H), "
       "the same in another case.",
       ""},
      {"AH0",
       "Symbols.txt has AH (U+0041 LATIN CAPITAL LETTER A + U+0048 LATIN CAPITAL LETTER "
       "H), the same without the stress digit 0.",
       ""},
      {"IY", "Symbols.txt has IY0 and IY1: the symbol with a stress digit.", ""},
      {"e",
       "Symbols.txt has eː and e\u0301, equally near: against eː it lacks U+02D0 MODIFIER "
       "LETTER TRIANGULAR COLON, the length mark; against e\u0301 it lacks U+0301 COMBINING "
       "ACUTE ACCENT.",
       ""},
      {"tˠ",
       "Symbols.txt has t and t̪ˠ, equally near: against t it adds U+02E0 MODIFIER LETTER "
       "SMALL GAMMA; against t̪ˠ it lacks U+032A COMBINING BRIDGE BELOW (dental).",
       ""},
      {"b",
       "Symbols.txt has bʲ and bˠ, equally near: against bʲ it lacks U+02B2 MODIFIER LETTER "
       "SMALL J (palatalization); against bˠ it lacks U+02E0 MODIFIER LETTER SMALL GAMMA.",
       ""},
      {"kʷʰ",
       "Symbols.txt has kʰ (U+006B LATIN SMALL LETTER K + U+02B0 MODIFIER LETTER SMALL H); "
       "the symbol adds U+02B7 MODIFIER LETTER SMALL W (labialization).",
       ""},
      {"ɛ̇̃",
       "Symbols.txt has ɛ̃ (U+025B LATIN SMALL LETTER OPEN E + U+0303 COMBINING TILDE); the "
       "symbol adds U+0307 COMBINING DOT ABOVE.",
       ""},
      {"kʰʲ",
       "Symbols.txt has kʲʰ (U+006B LATIN SMALL LETTER K + U+02B2 MODIFIER LETTER SMALL J + "
       "U+02B0 MODIFIER LETTER SMALL H); the symbol has its marks in another order.",
       "kʲʰ"},
      {"tːʰ",
       "Symbols.txt has tʰː (U+0074 LATIN SMALL LETTER T + U+02B0 MODIFIER LETTER SMALL H + "
       "U+02D0 MODIFIER LETTER TRIANGULAR COLON); the symbol has its marks in another order.",
       "tʰː"},
      {"dʒ",
       "Symbols.txt has d͡ʒ (U+0064 LATIN SMALL LETTER D + U+0361 COMBINING DOUBLE INVERTED "
       "BREVE + U+0292 LATIN SMALL LETTER EZH); the symbol lacks the tie between d and ʒ.",
       "d͡ʒ"},
      {"ˈa", "Symbols.txt has ˈ and a: the symbol is them written without spaces.", "ˈ a"},
      {"kʰa", "Symbols.txt has kʰ and a: the symbol is them written without spaces.", "kʰ a"},
      {"ɪ", "", ""},
      {"1", "", ""},
      {"ɯ", "", ""},
      {"(",
       "The symbol is U+0028 LEFT PARENTHESIS (not a phonetic symbol), which Symbols.txt "
       "does not list.",
       ""},
      {".",
       "The symbol is U+002E FULL STOP (a syllable boundary), which Symbols.txt does not "
       "list.",
       ""},
      {"˥",
       "The symbol is U+02E5 MODIFIER LETTER EXTRA-HIGH TONE BAR (a tone letter), which "
       "Symbols.txt does not list.",
       ""},
      {"p‿",
       "Symbols.txt has p (U+0070 LATIN SMALL LETTER P); the symbol adds U+203F UNDERTIE (a "
       "linking mark), which Symbols.txt does not list.",
       ""},
      {"#a5",
       "Symbols.txt has a (U+0061 LATIN SMALL LETTER A); the symbol adds U+0023 NUMBER "
       "SIGN + U+0035 DIGIT FIVE (not a phonetic symbol, each), which Symbols.txt does not "
       "list.",
       ""},
      {"word\tp",
       "It holds a TAB: in.txt may be columns separated by TABs; p is in Symbols.txt, "
       "so column 2 looks like the transcription.",
       ""},
      {"x", "", ""},
      {"\u200B\u2060",
       "The symbol is only U+200B ZERO WIDTH SPACE + U+2060 WORD JOINER, which "
       "cannot be seen.",
       ""},
      {"caf\xE9", "", ""},
  };
  long long line_number = 0;
  for (const Case& c : cases) reported.report.Removed(c.removed, ++line_number);
  const auto records = Records(reported.Written());
  std::size_t at = 0;
  for (const Case& c : cases) {
    ASSERT_LT(at, records.size());
    const auto& fields = records[at++];
    ASSERT_EQ(fields.size(), 7u) << c.removed;
    EXPECT_EQ(fields[5], c.note) << c.removed;
    EXPECT_EQ(fields[6], c.replacement) << c.removed;
  }
  // What depends on the inventory as a whole: X-SAMPA where the list is ASCII
  // and the inventory IPA, a stress digit dropped where the inventory has no
  // digit, the case where it is all one case.
  const struct {
    std::initializer_list<std::string_view> inventory;
    std::string_view removed, note, replacement;
  } wholes[] = {
      {{"ɪ", "ə"},
       "I",
       "X-SAMPA for ɪ: Symbols.txt has ɪ (U+026A LATIN LETTER SMALL CAPITAL I).",
       ""},
      {{"AH", "IY"},
       "AH1",
       "Symbols.txt has AH (U+0041 LATIN CAPITAL LETTER A + U+0048 LATIN "
       "CAPITAL LETTER H), the same without the stress digit 1.",
       "AH"},
      {{"AH", "IY"},
       "ah",
       "Symbols.txt has AH (U+0041 LATIN CAPITAL LETTER A + U+0048 LATIN "
       "CAPITAL LETTER H), the same in another case.",
       "AH"},
      {{"a"},
       "'a",
       "Symbols.txt has a (U+0061 LATIN SMALL LETTER A); the symbol adds U+0027 "
       "APOSTROPHE (a stress mark), which Symbols.txt does not list.",
       ""},
      {{"a", "ɑ"},
       "\u0430",
       "Symbols.txt has a (U+0061 LATIN SMALL LETTER A), which looks the same: the same IPA "
       "symbol, written with U+0430 CYRILLIC SMALL LETTER A.",
       "a"},
      {{"d", "ʒ", "d͡ʒ"},
       "dʒ",
       "Symbols.txt has d͡ʒ (U+0064 LATIN SMALL LETTER D + U+0361 COMBINING DOUBLE INVERTED "
       "BREVE + U+0292 LATIN SMALL LETTER EZH); the symbol lacks the tie between d and ʒ. Or it "
       "is d and ʒ written without spaces.",
       ""},
      {{"ˈ", "iː"},
       "ˈi:",
       "The symbol, with U+003A COLON written as Symbols.txt writes it, is ˈiː (U+02C8 MODIFIER "
       "LETTER VERTICAL LINE + U+0069 LATIN SMALL LETTER I + U+02D0 MODIFIER LETTER TRIANGULAR "
       "COLON): Symbols.txt has ˈ and iː, written without spaces.",
       "ˈ iː"},
      {{"ɑː", "ɑ", "ə"},
       "a:",
       "The symbol, with U+003A COLON written as Symbols.txt writes it, is aː (U+0061 LATIN SMALL "
       "LETTER A + U+02D0 MODIFIER LETTER TRIANGULAR COLON), which Symbols.txt does not have.",
       ""},
  };
  for (const auto& whole : wholes) {
    Reported small(whole.inventory);
    small.report.Removed(whole.removed, 1);
    const auto fields = Records(small.Written())[0];
    EXPECT_EQ(fields[5], whole.note);
    EXPECT_EQ(fields[6], whole.replacement);
  }
}

// Two letters of the IPA are two sounds, whatever UTS #39 says of their
// looks: no note offers one for the other, and no sentence calls an
// inventory that has both faulty.
TEST(SymbolReport, NeverTakesOneIpaLetterForAnother) {
  std::vector<std::string> letters;
  for (char32_t code = 0; code < 0x20000; ++code) {
    if (engine::unicode::IsIpa(static_cast<std::int32_t>(code)) &&
        engine::unicode::Ipa(static_cast<std::int32_t>(code)).kind ==
            engine::unicode::IpaKind::kLetter)
      letters.push_back(engine::unicode::Utf8(code));
  }
  ASSERT_GT(letters.size(), 100u);
  for (const std::string& one : letters) {
    for (const std::string& other : letters) {
      const auto code = [](const std::string& letter) {
        return static_cast<char32_t>(engine::unicode::Characters(letter)[0].code_point);
      };
      ASSERT_FALSE(engine::unicode::SameIpaSymbol(code(one), code(other))) << one << " " << other;
    }
  }
  int checked = 0;
  for (const std::string& removed : letters) {
    Reported reported{};
    std::string inventory;
    for (const std::string& letter : letters)
      if (letter != removed) inventory += letter + "\n";
    engine::TextReader reader(testing_support::SourceOf(inventory));
    engine::SymbolInventory symbols;
    SymbolReport report;
    engine::LoadInventory(reader, symbols, report.Check());
    report.Removed(removed, 1);
    std::string bytes;
    engine::OutputBuffer out([&](std::string_view part) { bytes += part; });
    WriteReport(report, out, symbols);
    out.Flush();
    const auto records = Records(bytes);
    ASSERT_EQ(records[0].size(), 7u);
    EXPECT_EQ(records[0][5].find("looks the same"), std::string::npos) << records[0][5];
    EXPECT_EQ(records[0][6], "") << removed;
    EXPECT_EQ(bytes.find("IPA symbol in two code points"), std::string::npos) << removed;
    ++checked;
  }
  std::printf("[ figures  ] %d IPA letters, each against all the others\n", checked);
  // Long /aː/ written a, against an inventory that contrasts ɑ and aː.
  Reported contrast{"ɑ", "aː"};
  contrast.report.Removed("a", 1);
  EXPECT_EQ(Records(contrast.Written())[0][5],
            "Symbols.txt has aː (U+0061 LATIN SMALL LETTER A + U+02D0 MODIFIER LETTER TRIANGULAR "
            "COLON); the symbol lacks U+02D0 MODIFIER LETTER TRIANGULAR COLON, the length mark.");
  // One IPA symbol in two code points is worth a sentence; a contrast is not.
  Reported pairs{"ɡ", "g", "\u00E3", "a\u0303", "a", "ɑ", "i", "ɪ"};
  const std::string said = pairs.Written();
  EXPECT_NE(said.find("Symbols.txt writes one IPA symbol in two code points: U+0261 LATIN SMALL "
                      "LETTER SCRIPT G on line 1 and U+0067 LATIN SMALL LETTER G on line 2"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("Symbols.txt line 3 (\u00E3) and line 4 (a\u0303) are the same after "
                      "Unicode normalisation."),
            std::string::npos)
      << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2 + 4) << said;
}

// A split of a token into inventory symbols, against every way of cutting it.
TEST(SymbolReport, SplitsAsBruteForceDoes) {
  std::mt19937 random(7);
  const std::vector<std::string> alphabet = {"a", "b", "ˈ"};
  for (int round = 0; round < 2000; ++round) {
    std::set<std::string> legal;
    for (int i = 0; i < 4; ++i) {
      std::string symbol;
      for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
        symbol += alphabet[random() % alphabet.size()];
      legal.insert(symbol);
    }
    std::vector<std::string> characters;
    for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n)
      characters.push_back(alphabet[random() % alphabet.size()]);
    std::string token;
    for (const std::string& c : characters) token += c;
    int ways = 0;
    std::size_t fewest = SIZE_MAX;
    for (unsigned cuts = 0; cuts < (1u << (characters.size() - 1)); ++cuts) {
      std::string part = characters[0];
      bool all_legal = true;
      for (std::size_t i = 1; i <= characters.size(); ++i) {
        if (i == characters.size() || (cuts >> (i - 1) & 1)) {
          all_legal &= legal.count(part) != 0;
          part.clear();
        }
        if (i < characters.size()) part += characters[i];
      }
      ways += all_legal;
      if (all_legal)
        fewest = std::min<std::size_t>(fewest, static_cast<std::size_t>(std::popcount(cuts)) + 1);
    }
    const engine::Split split = engine::SplitIntoSymbols(
        token, 6, [&](std::string_view part) { return legal.count(std::string(part)) != 0; });
    ASSERT_EQ(split.ways, std::min(ways, 2)) << token;
    std::string joined;
    for (std::string_view part : split.parts) {
      EXPECT_TRUE(legal.count(std::string(part))) << token;
      joined += part;
    }
    if (ways != 0) {
      EXPECT_EQ(joined, token);
      EXPECT_EQ(split.parts.size(), fewest) << token;
    }
  }
}

// No field a spreadsheet opens begins as a formula or a quoted field.
TEST(SymbolReport, KeepsEveryFieldSafeInASpreadsheet) {
  Reported reported{"p"};
  long long line = 0;
  for (std::string_view hostile : {"=HYPERLINK(1)", "+1", "-x", "@a", "\"q"})
    reported.report.Removed(hostile, ++line);
  const auto records = Records(reported.Written());
  const std::string_view shown[] = {"<U+003D>HYPERLINK(1)", "<U+002B>1", "<U+002D>x", "<U+0040>a",
                                    "<U+0022>q"};
  for (std::size_t i = 0; i < std::size(shown); ++i) EXPECT_EQ(records[i][0], shown[i]);
  for (const auto& fields : records) {
    for (const std::string& field : fields) {
      EXPECT_TRUE(field.empty() ||
                  std::string_view("=+-@\"").find(field[0]) == std::string_view::npos)
          << field;
    }
  }
  EXPECT_EQ(engine::unicode::Visible("\u3164\u115F\u034F\uFFFF\U000E0001"),
            "<U+3164><U+115F><U+034F><U+FFFF><U+E0001>");
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
  engine::SymbolInventory inventory;
  auto written_of = [&](const SymbolReport& r) {
    std::string bytes;
    engine::OutputBuffer out([&](std::string_view part) { bytes += part; });
    WriteReport(r, out, inventory);
    out.Flush();
    return bytes;
  };
  const std::string written = written_of(report);
  EXPECT_NE(written.find(std::string(SymbolReport::kKeptBytes - 1, 'k').insert(0, "\n") +
                         "... (129 bytes in all)\t"),
            std::string::npos)
      << "a character is kept whole or not at all";
  EXPECT_NE(written.find(std::string(SymbolReport::kKeptBytes, 'k').insert(0, "\n") +
                         "... (1002 bytes in all)\t"),
            std::string::npos);
  EXPECT_NE(written.find("\r\n\t\t\t\t\t10102 different symbols were removed, 10503 times in all, "
                         "from 3 lines of in.txt.\r\n\t\t\t\t\tOnly the first 10000 different "
                         "symbols removed have a record above: 102 more were removed 102 times in "
                         "all.\r\n"),
            std::string::npos)
      << written.substr(written.size() - 300);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1 + 10000 + 1 + 2);
  // Past what the set of the rest holds, the counts are lower bounds, and say so.
  for (std::size_t i = 0; i < 100000; ++i) {
    const int size = std::snprintf(name, sizeof name, "r%zu", i);
    report.Removed(std::string_view(name, static_cast<std::size_t>(size)), 4);
  }
  const std::string more = written_of(report);
  EXPECT_NE(more.find("\t\t\t\t\tMore than 108304 different symbols were removed, 110503 times "
                      "in all, from 4 lines of in.txt.\r\n\t\t\t\t\tOnly the first 10000 different "
                      "symbols removed have a record above: more than 98304 more were removed "
                      "100102 times in all.\r\n"),
            std::string::npos)
      << more.substr(more.size() - 400);
}

}  // namespace
