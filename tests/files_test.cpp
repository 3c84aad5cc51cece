// The numbered files: where input lines end, how records end, and when outputs are replaced.
#include "runtime/files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/error.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempFolder;

std::vector<std::string> LinesOf(std::string_view bytes) {
  TempFolder folder;
  folder.Write("in.txt", bytes);
  rt::FileTable files;
  files.Open(1, rt::OpenMode::Input, folder.File("in.txt"));
  std::vector<std::string> lines;
  while (!files.AtEnd(1)) lines.emplace_back(files.ReadLine(1));
  files.Close(1);
  return lines;
}

using Lines = std::vector<std::string>;

TEST(InputLines, EndAtCrCrLfOrLf) {
  EXPECT_EQ(LinesOf(""), Lines{});
  EXPECT_EQ(LinesOf("a"), Lines{"a"});
  EXPECT_EQ(LinesOf("a\r\n"), Lines{"a"});
  EXPECT_EQ(LinesOf("a\r\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(LinesOf("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(LinesOf("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(LinesOf("\n\n"), (Lines{"", ""}));
  EXPECT_EQ(LinesOf("a\n\rb"), (Lines{"a", "", "b"})) << "LF CR is two line ends";
  EXPECT_EQ(LinesOf("\r"), Lines{""});
}

TEST(InputLines, KeepEveryOtherByte) {
  std::string bytes("a\0b\tc\xff\xc3\xa6 \x1a", 11);
  EXPECT_EQ(LinesOf(bytes + "\r\n"), Lines{bytes});
}

TEST(InputLines, SurviveTheBufferBoundary) {
  // Lines ending just before, on and after each 64 KiB refill, with CR LF split
  // across two reads, and one line much longer than the buffer.
  for (std::size_t first : {65533u, 65534u, 65535u, 65536u, 65537u}) {
    std::string a(first, 'a');
    EXPECT_EQ(LinesOf(a + "\r\nb\r\n"), (Lines{a, "b"})) << first;
    EXPECT_EQ(LinesOf(a + "\rb"), (Lines{a, "b"})) << first;
  }
  std::string huge(1 << 20, 'x');
  EXPECT_EQ(LinesOf("s\n" + huge + "\r\nt"), (Lines{"s", huge, "t"}));
}

TEST(InputLines, SkipAUtf8ByteOrderMarkAtTheStartOnly) {
  EXPECT_EQ(LinesOf("\xEF\xBB\xBFp a\r\n"), Lines{"p a"});
  EXPECT_EQ(LinesOf("\xEF\xBB\xBF"), Lines{});
  EXPECT_EQ(LinesOf("p\n\xEF\xBB\xBFq"), (Lines{"p", "\xEF\xBB\xBFq"}));
  EXPECT_EQ(LinesOf("\xEF\xBB"), Lines{"\xEF\xBB"});
}

TEST(InputLines, RefuseUtf16WithAClearError) {
  for (std::string bom : {std::string("\xFF\xFE", 2), std::string("\xFE\xFF", 2)}) {
    try {
      LinesOf(bom + std::string("p\0\n\0", 4));
      FAIL() << "UTF-16 was read";
    } catch (const rt::RuntimeError& error) {
      EXPECT_NE(error.Description().find("in.txt"), std::string::npos) << error.Description();
      EXPECT_NE(error.Description().find("UTF-8"), std::string::npos) << error.Description();
    }
  }
}

TEST(InputLines, ReadingPastTheEndIsAnError) {
  TempFolder folder;
  folder.Write("in.txt", "a");
  rt::FileTable files;
  files.Open(1, rt::OpenMode::Input, folder.File("in.txt"));
  files.ReadLine(1);
  EXPECT_TRUE(files.AtEnd(1));
  EXPECT_THROW(files.ReadLine(1), rt::RuntimeError);
}

TEST(OutputRecords, EndWithCrLfAndJoinFieldsAsTheyAre) {
  TempFolder folder;
  rt::FileTable files;
  files.Open(2, rt::OpenMode::Output, folder.File("out.txt"));
  files.WriteRecord(2, {"7", "\t", "p x a"});
  files.WriteRecord(2, {});
  std::string big(200000, 'b');
  files.WriteRecord(2, {big});
  files.Close(2);
  EXPECT_EQ(folder.Read("out.txt"), "7\tp x a\r\n\r\n" + big + "\r\n");
}

TEST(OutputRecords, ReplaceTheOldFileOnlyWhenClosed) {
  TempFolder folder;
  folder.Write("out.txt", "old results");
  {
    rt::FileTable files;
    files.Open(2, rt::OpenMode::Output, folder.File("out.txt"));
    files.WriteRecord(2, {"new"});
    EXPECT_EQ(folder.Read("out.txt"), "old results");
    // Leaving without closing is a failed run: the new contents are dropped.
  }
  EXPECT_EQ(folder.Read("out.txt"), "old results");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.txt"}) << "no temporary file left";

  rt::FileTable files;
  files.Open(2, rt::OpenMode::Output, folder.File("out.txt"));
  files.WriteRecord(2, {"new"});
  files.CloseAll();
  EXPECT_EQ(folder.Read("out.txt"), "new\r\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.txt"});
}

// What runs that were killed or cut left in the folder: the next run to open
// an output there removes it, and puts an earlier output that one of them had
// moved aside back under its free name. A run still going on keeps its files.
TEST(OutputRecords, ARunClearsWhatDeadRunsLeftButNotWhatALiveOneUses) {
  TempFolder folder;
  rt::FileTable live_run;
  live_run.Open(2, rt::OpenMode::Output, folder.File("live.txt"));
  live_run.WriteRecord(2, {"live"});
  const std::vector<std::string> live_runs_files = folder.Names();
  ASSERT_EQ(live_runs_files.size(), 2u) << "its lock and its temporary file";

  folder.Write("other.txt", "new results");
  const std::vector<std::string> leftovers = {
      "~FixInputFiles-4000001-0.out.txt.old",    // cut between the two moves: put back
      "~FixInputFiles-4000001-0-1.tmp",          // a new file not yet in place
      "~FixInputFiles-4000002-3.other.txt.old",  // its new file is in place
      "~FixInputFiles-4000003-0.tmp",            // an earlier build's name
  };
  for (const std::string& name : leftovers) folder.Write(name, "L");
  folder.Write(leftovers[0], "earlier results");
  folder.Write("~FixInputFiles-4000004-0.tmp.old", "unknown output");
  rt::FileTable next_run;
  next_run.Open(2, rt::OpenMode::Output, folder.File("next.txt"));
  next_run.Discard();
  EXPECT_EQ(folder.Read("out.txt"), "earlier results");
  EXPECT_EQ(folder.Read("other.txt"), "new results");
  std::vector<std::string> expected = live_runs_files;
  for (const char* name : {"other.txt", "out.txt", "~FixInputFiles-4000004-0.tmp.old"})
    expected.push_back(name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Names(), expected) << "the live run's lock and temporary file stay";
  live_run.CloseAll();
  EXPECT_EQ(folder.Read("live.txt"), "live\r\n");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"live.txt", "other.txt", "out.txt",
                                                      "~FixInputFiles-4000004-0.tmp.old"}));
}

TEST(FileNumbers, MisuseIsARunTimeError) {
  TempFolder folder;
  folder.Write("in.txt", "a");
  rt::FileTable files;
  EXPECT_THROW(files.Open(0, rt::OpenMode::Input, folder.File("in.txt")), rt::RuntimeError);
  EXPECT_THROW(files.Open(5, rt::OpenMode::Input, folder.File("in.txt")), rt::RuntimeError);
  EXPECT_THROW(files.ReadLine(1), rt::RuntimeError);
  files.Open(1, rt::OpenMode::Input, folder.File("in.txt"));
  EXPECT_THROW(files.Open(1, rt::OpenMode::Input, folder.File("in.txt")), rt::RuntimeError);
  EXPECT_THROW(files.WriteRecord(1, {"x"}), rt::RuntimeError);
  files.Open(2, rt::OpenMode::Output, folder.File("out.txt"));
  EXPECT_THROW(files.ReadLine(2), rt::RuntimeError);
}

TEST(RunTimeErrors, NameTheFileAndTheReason) {
  TempFolder folder;
  rt::FileTable files;
  try {
    files.Open(1, rt::OpenMode::Input, folder.File("Symbols.txt"));
    FAIL();
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Number(), 53);
    EXPECT_EQ(error.Description(), "File not found: " + folder.File("Symbols.txt"));
    EXPECT_EQ(error.Message(),
              "Run-time error '53':\n\nFile not found: " + folder.File("Symbols.txt"));
  }
  try {
    files.Open(1, rt::OpenMode::Input, folder.Path());
    FAIL();
  } catch (const rt::RuntimeError& error) {
    EXPECT_NE(error.Description().find("is a folder"), std::string::npos) << error.Description();
  }
}

}  // namespace
