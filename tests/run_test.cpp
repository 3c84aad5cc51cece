// The cleaning run as a whole: the report files, line counting, the captions,
// and what is left on disk when it fails.
#include <gtest/gtest.h>

#include "runtime/error.h"
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
