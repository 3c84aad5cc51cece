// The splitting helpers, the inventory's matching rules and the cleaner's token rules.
#include "engine/cleaner.h"

#include <gtest/gtest.h>

#include "engine/s.h"
#include "runtime/error.h"
#include "tests/test_support.h"

namespace {

using testing_support::InventoryOf;

TEST(StringModule, SplitsAtTheFirstDelimiterOnly) {
  EXPECT_EQ(s::StringBefore("p a t", " "), "p");
  EXPECT_EQ(s::StringAfter("p a t", " "), "a t");
  EXPECT_EQ(s::StringBefore("abc", " "), "abc");
  EXPECT_EQ(s::StringAfter("abc", " "), "");
  EXPECT_EQ(s::StringAfter("ab ", " "), "");
  EXPECT_EQ(s::StringBefore(" ab", " "), "");
  EXPECT_EQ(s::StringAfter(" ab", " "), "ab");
  EXPECT_EQ(s::StringBefore("", " "), "");
  EXPECT_EQ(s::StringAfter("", " "), "");
  // Longer delimiters match whole, and a delimiter longer than the text never matches.
  EXPECT_EQ(s::StringBefore("a--b--c", "--"), "a");
  EXPECT_EQ(s::StringAfter("a--b--c", "--"), "b--c");
  EXPECT_EQ(s::StringBefore("a", "abc"), "a");
  EXPECT_EQ(s::StringAfter("a", "abc"), "");
}

TEST(Inventory, MatchesExactBytesOnly) {
  engine::SymbolInventory symbols = InventoryOf({"p", "ts", "t s", "a\t", "ʃ", "A"});
  EXPECT_TRUE(symbols.LegalSymbol("p"));
  EXPECT_TRUE(symbols.LegalSymbol("ts"));
  EXPECT_TRUE(symbols.LegalSymbol("ʃ"));
  EXPECT_TRUE(symbols.LegalSymbol("A"));
  EXPECT_FALSE(symbols.LegalSymbol("a")) << "case is not folded, and a tab belongs to its entry";
  EXPECT_TRUE(symbols.LegalSymbol("a\t"));
  EXPECT_FALSE(symbols.LegalSymbol("P"));
  EXPECT_FALSE(symbols.LegalSymbol("t"));
  EXPECT_FALSE(symbols.LegalSymbol("tsx"));
  EXPECT_FALSE(symbols.LegalSymbol(""));
  EXPECT_EQ(symbols.SymbolCount, 6);
}

TEST(Inventory, MatchesSymbolsOfEveryLengthExactly) {
  // Short symbols are compared as packed integers and long ones by hash and
  // bytes: check around the boundary, with NUL bytes and near misses.
  std::vector<std::string> symbols;
  for (std::size_t length = 1; length <= 20; ++length) symbols.push_back(std::string(length, 'k'));
  symbols.push_back(std::string("a\0", 2));
  symbols.push_back("abcdefg");
  symbols.push_back("abcdefgh");
  symbols.push_back("abcdefghi");
  engine::SymbolInventory inventory;
  for (const std::string& symbol : symbols) inventory.AddSymbol(symbol);
  for (const std::string& symbol : symbols) {
    EXPECT_TRUE(inventory.LegalSymbol(symbol)) << symbol.size();
    std::string changed = symbol;
    changed.back() ^= 1;
    EXPECT_FALSE(inventory.LegalSymbol(changed)) << symbol.size();
    EXPECT_FALSE(inventory.LegalSymbol(symbol + "x")) << symbol.size() << " plus a byte";
  }
  EXPECT_FALSE(inventory.LegalSymbol("a")) << "a trailing NUL byte counts";
  EXPECT_FALSE(inventory.LegalSymbol(std::string(21, 'k')));
  // The cleaner's packed lookup gives the same answers on a line.
  engine::LineCleaner cleaner;
  cleaner.Clean("kkkkkk kkkkkkk kkkkkkkk abcdefgh abcdefgx kkkkkkkkkkkkkkkkkkkkk", inventory);
  EXPECT_EQ(cleaner.CleanedLine(), "kkkkkk kkkkkkk kkkkkkkk abcdefgh");
  EXPECT_EQ(cleaner.BadSymbol(), std::string(21, 'k'));
}

TEST(Inventory, KeepsDuplicatesInOrder) {
  engine::SymbolInventory symbols = InventoryOf({"b", "a", "b"});
  EXPECT_EQ(symbols.SymbolCount, 3);
  EXPECT_EQ(symbols.SymbolList, (std::vector<std::string>{"b", "a", "b"}));
  EXPECT_TRUE(symbols.LegalSymbol("b"));
}

TEST(Inventory, EmptyInventoryMakesEveryTokenIllegal) {
  engine::SymbolInventory symbols;
  EXPECT_FALSE(symbols.LegalSymbol("p"));
  EXPECT_FALSE(symbols.LegalSymbol(""));
}

TEST(Inventory, CountPastItsLargestValueIsOverflow) {
  engine::SymbolInventory symbols;
  symbols.SymbolCount = 2147483647;
  try {
    symbols.AddSymbol("p");
    FAIL() << "no overflow";
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Number(), 6);
  }
  EXPECT_TRUE(symbols.SymbolList.empty()) << "nothing stored past the count";
}

struct Cleaned {
  std::string current, cleaned, bad;
  bool blank;
};

Cleaned Clean(std::string_view line) {
  static const engine::SymbolInventory symbols = InventoryOf({"p", "a", "t", "ʃ", "tʃ"});
  engine::LineCleaner cleaner;
  cleaner.Clean(line, symbols);
  return {std::string(cleaner.CurrentLine()), std::string(cleaner.CleanedLine()),
          std::string(cleaner.BadSymbol()), cleaner.Blank()};
}

TEST(LineCleaner, TidiesSpacingAndKeepsLegalTokensInOrder) {
  Cleaned line = Clean("  p  a   t  ");
  EXPECT_EQ(line.current, "p a t");
  EXPECT_EQ(line.cleaned, "p a t");
  EXPECT_EQ(line.bad, "");
  EXPECT_FALSE(line.blank);

  line = Clean("tʃ a ʃ");
  EXPECT_EQ(line.cleaned, "tʃ a ʃ");
}

TEST(LineCleaner, RemembersOnlyTheLastIllegalToken) {
  Cleaned line = Clean("p x a");
  EXPECT_EQ(line.cleaned, "p a");
  EXPECT_EQ(line.bad, "x");

  line = Clean("x p y");
  EXPECT_EQ(line.cleaned, "p");
  EXPECT_EQ(line.bad, "y");

  line = Clean("x  y");
  EXPECT_EQ(line.current, "x y");
  EXPECT_EQ(line.cleaned, "");
  EXPECT_EQ(line.bad, "y");
}

TEST(LineCleaner, BlankLinesAreSpacesOnly) {
  for (std::string_view text : {"", " ", "      "}) {
    Cleaned line = Clean(text);
    EXPECT_TRUE(line.blank) << '"' << text << '"';
    EXPECT_EQ(line.cleaned, "");
    EXPECT_EQ(line.bad, "") << "a blank line names no bad symbol";
  }
  Cleaned tabs = Clean("\t\t");
  EXPECT_FALSE(tabs.blank);
  EXPECT_EQ(tabs.bad, "\t\t");
}

TEST(LineCleaner, TabsBelongToTheirToken) {
  Cleaned line = Clean("p\ta");
  EXPECT_EQ(line.cleaned, "");
  EXPECT_EQ(line.bad, "p\ta");

  line = Clean("p a\t");
  EXPECT_EQ(line.cleaned, "p");
  EXPECT_EQ(line.bad, "a\t");
}

TEST(LineCleaner, AnyRunOfSpacesIsOneSeparator) {
  // Runs longer than 1024 spaces must not leave empty tokens that hide the bad symbol.
  for (std::size_t run : {1, 2, 3, 1024, 1025, 3000, 100000}) {
    std::string text = "p";
    text.append(run, ' ').append("x").append(run, ' ').append("a");
    Cleaned line = Clean(text);
    EXPECT_EQ(line.current, "p x a") << run;
    EXPECT_EQ(line.cleaned, "p a") << run;
    EXPECT_EQ(line.bad, "x") << run;
  }
}

TEST(LineCleaner, KeepsNothingFromThePreviousLine) {
  static const engine::SymbolInventory symbols = InventoryOf({"p"});
  engine::LineCleaner cleaner;
  cleaner.Clean("p x", symbols);
  cleaner.Clean("p", symbols);
  EXPECT_EQ(cleaner.CleanedLine(), "p");
  EXPECT_EQ(cleaner.BadSymbol(), "");
}

}  // namespace
