// The inventory's matching rules and what cleaning makes of one line.
#include <gtest/gtest.h>

#include "engine/list_scan.h"
#include "engine/text_reader.h"
#include "runtime/error.h"
#include "tests/test_support.h"

namespace {

using testing_support::InventoryOf;

struct Cleaned {
  std::string current, cleaned, bad;
  bool blank = false;
};

// What the scan of a list makes of its one line, ended by LF.
Cleaned CleanLine(std::string_view line, engine::SymbolInventory& symbols) {
  class Keeper final : public engine::LineSink {
   public:
    void CleanLines(const engine::CleanStretch& stretch) override {
      stretch.Records([this](std::string_view text, bool) { line.current = line.cleaned = text; });
    }
    void CleanedPart(std::string_view part) override { line.cleaned += part; }
    void RemovedSymbols(std::span<const std::uint64_t>) override {}
    void RemovedSymbol(std::string_view) override {}
    void RepairedLine(const engine::RepairedLine& repaired) override {
      line.current = repaired.CurrentLine;
      line.cleaned += repaired.CleanedLine;
      line.bad = repaired.BadSymbol;
      line.blank = repaired.Blank();
    }
    Cleaned line;
  };
  Keeper keeper;
  engine::TextReader reader(testing_support::SourceOf(std::string(line) + "\n"));
  engine::ListScan(symbols).Clean(reader, keeper);
  return keeper.line;
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
  // The scan's packed lookup gives the same answers on a line.
  const Cleaned line =
      CleanLine("kkkkkk kkkkkkk kkkkkkkk abcdefgh abcdefgx kkkkkkkkkkkkkkkkkkkkk", inventory);
  EXPECT_EQ(line.cleaned, "kkkkkk kkkkkkk kkkkkkkk abcdefgh");
  EXPECT_EQ(line.bad, std::string(21, 'k'));
}

TEST(Inventory, CountsDuplicates) {
  engine::SymbolInventory symbols = InventoryOf({"b", "a", "b"});
  EXPECT_EQ(symbols.SymbolCount, 3);
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
  EXPECT_FALSE(symbols.LegalSymbol("p")) << "nothing stored past the count";
}

Cleaned Clean(std::string_view line) {
  static engine::SymbolInventory symbols = InventoryOf({"p", "a", "t", "ʃ", "tʃ"});
  return CleanLine(line, symbols);
}

TEST(Cleaning, TidiesSpacingAndKeepsLegalTokensInOrder) {
  Cleaned line = Clean("  p  a   t  ");
  EXPECT_EQ(line.current, "p a t");
  EXPECT_EQ(line.cleaned, "p a t");
  EXPECT_EQ(line.bad, "");
  EXPECT_FALSE(line.blank);

  line = Clean("tʃ a ʃ");
  EXPECT_EQ(line.cleaned, "tʃ a ʃ");
}

TEST(Cleaning, RemembersOnlyTheLastIllegalToken) {
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

TEST(Cleaning, BlankLinesAreSpacesOnly) {
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

TEST(Cleaning, TabsBelongToTheirToken) {
  Cleaned line = Clean("p\ta");
  EXPECT_EQ(line.cleaned, "");
  EXPECT_EQ(line.bad, "p\ta");

  line = Clean("p a\t");
  EXPECT_EQ(line.cleaned, "p");
  EXPECT_EQ(line.bad, "a\t");
}

TEST(Cleaning, AnyRunOfSpacesIsOneSeparator) {
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

}  // namespace
