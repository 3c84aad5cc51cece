// The cleaning run as a whole: the report files, line counting, the captions,
// and what is left on disk when it fails.
#include <gtest/gtest.h>

#include "engine/symbol_report.h"
#include "runtime/error.h"
#include "tests/model_check.h"
#include "tests/test_support.h"

#ifndef FIX_GOLDEN_DIR
#error "FIX_GOLDEN_DIR names the folder of the golden files"
#endif

namespace {

using testing_support::ReadBytes;
using testing_support::RecordingWindow;
using testing_support::RunIn;
using testing_support::TempFolder;

const std::string kGolden = FIX_GOLDEN_DIR;
const std::vector<std::string> kOutputs = {"BadLines.txt", "FixedLines.txt"};

TEST(Run, WritesEveryRecordKindByteForByte) {
  TempFolder folder;
  folder.Write("in.txt", ReadBytes(kGolden + "/in.txt"));
  folder.Write("Symbols.txt", ReadBytes(kGolden + "/Symbols.txt"));
  RecordingWindow window;
  RunIn(folder, window);
  EXPECT_EQ(folder.Read("FixedLines.txt"), ReadBytes(kGolden + "/FixedLines.txt"));
  EXPECT_EQ(folder.Read("BadLines.txt"), ReadBytes(kGolden + "/BadLines.txt"));
  EXPECT_EQ(folder.Read("SymbolReport.txt"), ReadBytes(kGolden + "/SymbolReport.txt"));
  EXPECT_EQ(window.captions, std::vector<std::string>{std::string(engine::kClosingCaption)});
  EXPECT_EQ(window.symbols.SymbolCount, 11) << "blank lines are skipped, duplicates kept";
  EXPECT_TRUE(window.symbols.LegalSymbol("p"))
      << "the byte-order mark is not part of the first symbol";
  EXPECT_TRUE(window.symbols.LegalSymbol("ts"));
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"BadLines.txt", "FixedLines.txt", "SymbolReport.txt",
                                      "Symbols.txt", "in.txt"}));
}

TEST(Run, EmptyListGivesEmptyOutputsAndOnlyTheClosingCaption) {
  TempFolder folder;
  folder.Write("in.txt", "");
  folder.Write("Symbols.txt", "");
  RecordingWindow window;
  RunIn(folder, window);
  EXPECT_EQ(folder.Read("FixedLines.txt"), "");
  EXPECT_EQ(folder.Read("BadLines.txt"), "");
  EXPECT_EQ(window.captions, std::vector<std::string>{std::string(engine::kClosingCaption)});
}

TEST(Run, EmptyInventoryRemovesEverySymbol) {
  TempFolder folder;
  folder.Write("in.txt", "p a\r\n");
  folder.Write("Symbols.txt", "\r\n   \r\n");
  RecordingWindow window;
  RunIn(folder, window);
  EXPECT_EQ(window.symbols.SymbolCount, 0);
  EXPECT_EQ(folder.Read("FixedLines.txt"), "");
  EXPECT_EQ(folder.Read("BadLines.txt"), "1\tp a\tBad symbol removed\ta\r\n");
}

std::vector<std::string> CaptionsFor(int lines) {
  TempFolder folder;
  std::string list;
  for (int i = 0; i < lines; ++i) list += (i % 7 == 3) ? "\r\n" : "p\r\n";
  folder.Write("in.txt", list);
  folder.Write("Symbols.txt", "p");
  RecordingWindow window;
  RunIn(folder, window);
  return window.captions;
}

TEST(Run, ShowsProgressEveryThousandLinesCountingBlankOnes) {
  const std::string closing(engine::kClosingCaption);
  EXPECT_EQ(CaptionsFor(999), std::vector<std::string>{closing});
  EXPECT_EQ(CaptionsFor(1000), (std::vector<std::string>{"Done with 1000 lines...", closing}));
  EXPECT_EQ(CaptionsFor(2999), (std::vector<std::string>{"Done with 1000 lines...",
                                                         "Done with 2000 lines...", closing}));
}

TEST(Run, LineNumbersNameThePlaceInTheList) {
  TempFolder folder;
  folder.Write("in.txt", "\r\n\n\rp\r\n\r\nx\r\n\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  RecordingWindow window;
  RunIn(folder, window);
  EXPECT_EQ(folder.Read("BadLines.txt"),
            "1\tblank line (removed in FixedLines.txt)\r\n"
            "2\tblank line (removed in FixedLines.txt)\r\n"
            "3\tblank line (removed in FixedLines.txt)\r\n"
            "5\tblank line (removed in FixedLines.txt)\r\n"
            "6\tx\tBad symbol removed\tx\r\n"
            "7\tblank line (removed in FixedLines.txt)\r\n");
  EXPECT_EQ(folder.Read("FixedLines.txt"), "p\r\n");
}

TEST(Run, MissingListCreatesNothing) {
  TempFolder folder;
  folder.Write("Symbols.txt", "p");
  RecordingWindow window;
  try {
    RunIn(folder, window);
    FAIL() << "the run went on without in.txt";
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Number(), 53);
    EXPECT_EQ(error.Description(), "File not found: " + folder.File("in.txt"));
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"Symbols.txt"});
  EXPECT_TRUE(window.captions.empty());
}

TEST(Run, MissingInventoryKeepsTheEarlierResults) {
  TempFolder folder;
  folder.Write("in.txt", "p\r\n");
  folder.Write("FixedLines.txt", "earlier fixed\r\n");
  folder.Write("BadLines.txt", "earlier report\r\n");
  RecordingWindow window;
  try {
    RunIn(folder, window);
    FAIL() << "the run went on without Symbols.txt";
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Description(), "File not found: " + folder.File("Symbols.txt"));
  }
  EXPECT_EQ(folder.Read("FixedLines.txt"), "earlier fixed\r\n");
  EXPECT_EQ(folder.Read("BadLines.txt"), "earlier report\r\n");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"BadLines.txt", "FixedLines.txt", "in.txt"}));
}

TEST(Run, Utf16InventoryStopsTheRunBeforeAnyOutputChanges) {
  TempFolder folder;
  folder.Write("in.txt", "p\r\n");
  folder.Write("Symbols.txt", std::string("\xFF\xFEp\0\r\0\n\0", 8));
  folder.Write("FixedLines.txt", "earlier");
  RecordingWindow window;
  EXPECT_THROW(RunIn(folder, window), rt::RuntimeError);
  EXPECT_EQ(folder.Read("FixedLines.txt"), "earlier");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"FixedLines.txt", "Symbols.txt", "in.txt"}));
}

TEST(Run, LineCountPastItsLargestValueIsOverflow) {
  // The run's own counter, started near its largest value: lines handed out
  // one at a time and many at once.
  std::vector<std::string> captions;
  engine::LineCounter counter([&](std::string_view caption) { captions.emplace_back(caption); },
                              2147482999);
  counter.Count(1);
  counter.Count(646);
  EXPECT_EQ(counter.LineCount(), 2147483646);
  EXPECT_EQ(captions, std::vector<std::string>{"Done with 2147483000 lines..."});
  counter.Count(1);
  for (int lines : {1, 1000}) {
    engine::LineCounter full = counter;
    try {
      full.Count(lines);
      FAIL() << lines;
    } catch (const rt::RuntimeError& error) {
      EXPECT_EQ(error.Number(), 6);
    }
  }
  EXPECT_EQ(counter.LineCount(), 2147483647);
}

}  // namespace

namespace {

// Sums the Times removed column of a report's table.
long long TimesRemoved(const std::string& report) {
  long long times = 0;
  const std::size_t header = report.find(engine::SymbolReport::kHeader);
  std::size_t at = report.find("\r\n", header) + 2;
  for (std::size_t end; (end = report.find("\r\n", at)) != at; at = end + 2) {
    std::size_t field = at;
    for (int skip = 0; skip < 2; ++skip) field = report.find('\t', field) + 1;
    times += std::stoll(report.substr(field, report.find('\t', field) - field));
  }
  return times;
}

TEST(Replacements, SuggestionsAcceptedAsWrittenRemoveFewerSymbolsAndAgreeWithTheRules) {
  // An English list in IPA with the slips a transcriber makes: g for ɡ, a
  // colon for the length mark, ligatures and untied affricates, a stress
  // mark without its space, a Greek epsilon. x has no suggestion.
  const std::string symbols =
      "p\nb\nt\nd\nk\nɡ\nf\nv\nθ\nð\ns\nz\nʃ\nʒ\nh\nm\nn\nŋ\nl\nɹ\nj\nw\nt͡ʃ\nd͡ʒ\n"
      "ɪ\nɛ\næ\nɑ\nɔ\nʊ\nʌ\nə\naɪ\naʊ\neɪ\noʊ\niː\nuː\nɑː\nɜː\nˈ\n";
  const std::string list =
      "k æ t\r\nd ɔ g\r\nˈf ɪ ʃ\r\nb i: t\r\ntʃ ɜː tʃ\r\nʧ ɪ p\r\ns ɪ ŋ ɪ ŋ\r\nx ɑ l\r\n"
      "b ε d\r\nˈaɪ s\r\ng ʊ d\r\nm uː n\r\nd ʒ ʌ m p\r\n";
  TempFolder folder;
  folder.Write("in.txt", list);
  folder.Write("Symbols.txt", symbols);
  RecordingWindow first;
  RunIn(folder, first);
  const long long removed = TimesRemoved(folder.Read("SymbolReport.txt"));
  ASSERT_TRUE(folder.Has("SuggestedReplacements.txt"));
  const std::string suggested = folder.Read("SuggestedReplacements.txt");
  EXPECT_EQ(suggested.substr(0, suggested.find("\r\n")), engine::SymbolReport::kSuggestionsHeader);
  EXPECT_NE(folder.Read("SymbolReport.txt").find("rename the file to Replacements.txt"),
            std::string::npos);

  // Accepted whole, as a user who renames the file does.
  EXPECT_EQ(testing_support::DifferenceFromModel(folder, list, symbols, suggested), "");
  const std::string report = folder.Read("SymbolReport.txt");
  EXPECT_LT(TimesRemoved(report), removed);
  EXPECT_NE(report.find("Replacements.txt line 2 replaced g with ɡ 2 times, first in line 2"),
            std::string::npos)
      << report;
  // What was accepted stays in the new suggestions, and is not suggested again.
  if (folder.Has("SuggestedReplacements.txt")) {
    const std::string again = folder.Read("SuggestedReplacements.txt");
    EXPECT_NE(again.find("\r\ng\tɡ\t"), std::string::npos) << again;
    EXPECT_EQ(again.find("\r\ng\tɡ\t"), again.rfind("\r\ng\tɡ\t")) << again;
  }

  // A run with nothing to suggest leaves no suggestions, and takes the
  // earlier ones away: they were made for another list.
  EXPECT_EQ(testing_support::DifferenceFromModel(folder, "k æ t\r\n", symbols, suggested), "");
  EXPECT_FALSE(folder.Has("SuggestedReplacements.txt"));
}

TEST(Replacements, TheReportAccountsForEveryRecord) {
  TempFolder folder;
  const std::string symbols = "p\na\nɡ\nk\n";
  const std::string list = "g a\r\n#\r\nx p\r\ng\r\nq k\r\n";
  const std::string table = "g\tɡ\n#\t\nx\tk p ʔ\nzz\tq\nq\tg\nk\tk\n";
  ASSERT_EQ(testing_support::DifferenceFromModel(folder, list, symbols, table), "");
  EXPECT_EQ(folder.Read("FixedLines.txt"), "ɡ a\r\nk p p\r\nɡ\r\nk\r\n");
  EXPECT_EQ(folder.Read("BadLines.txt"),
            "3\tx p\tBad symbol removed\tʔ\r\n5\tq k\tBad symbol removed\tg\r\n");
  const std::string report = folder.Read("SymbolReport.txt");
  for (const char* said : {
           "Replacements.txt line 1 replaced g with ɡ 2 times, first in line 1 of in.txt.",
           "Replacements.txt line 2 deleted # once, in line 2 of in.txt.",
           "Replacements.txt line 6 replaced k with k once, in line 5 of in.txt.",
           "line 3 writes ʔ for x (used once), line 4 writes q for zz and line 5 writes g for q "
           "(used once).",
           "No symbol of in.txt is zz (line 4), so Replacements.txt replaced nothing there.",
           "1 line of in.txt lost every symbol to Replacements.txt (the first is line 2)",
           "\tReplacements.txt line 5 writes it for q, but Symbols.txt does not have it.",
       }) {
    EXPECT_NE(report.find(said), std::string::npos) << said << "\n" << report;
  }
  // g is replaced by a record, so written by another it is not offered
  // again: a second replacement would contradict the first.
  EXPECT_NE(report.find("\r\ng\tU+0067"), std::string::npos) << report;
  EXPECT_EQ(report.find("\tɡ\r\n"), std::string::npos) << report;
}

}  // namespace
