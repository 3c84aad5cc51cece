// The files: where input lines end, how records end, and when outputs are replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/output_buffer.h"
#include "engine/text_reader.h"
#include "runtime/error.h"
#include "runtime/input_file.h"
#include "runtime/outputs.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempFolder;

// The lines of a file on the disk, read in blocks of `block_size`.
std::vector<std::string> LinesOf(std::string_view bytes, std::size_t block_size = 64 * 1024) {
  TempFolder folder;
  folder.Write("in.txt", bytes);
  rt::InputFile file(folder.File("in.txt"));
  engine::TextReader reader(
      {file.Path(), [&](char* to, std::size_t size) { return file.Read(to, size); }}, block_size);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.NextLine(line)) lines.emplace_back(line);
  return lines;
}

// An output that takes records, as the run writes them.
void WriteRecords(rt::OutputFile& file,
                  std::initializer_list<std::initializer_list<std::string_view>> records) {
  engine::OutputBuffer buffer([&](std::string_view bytes) { file.Write(bytes); });
  for (auto fields : records) buffer.Record(fields);
  buffer.Flush();
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
  // Every line end in every place of a block and of a read.
  for (std::size_t block_size : {1u, 2u, 3u, 63u, 64u, 65u}) {
    EXPECT_EQ(LinesOf("a\rb\nc\r\nd\r\r\n\n" + std::string(70, 'e') + "\r\n", block_size),
              (Lines{"a", "b", "c", "d", "", "", std::string(70, 'e')}))
        << block_size;
  }
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

TEST(OutputRecords, EndWithCrLfAndJoinFieldsAsTheyAre) {
  TempFolder folder;
  rt::OutputSet outputs;
  std::string big(200000, 'b');
  WriteRecords(outputs.Create(folder.File("out.txt")), {{"7", "\t", "p x a"}, {}, {big}});
  outputs.Commit();
  EXPECT_EQ(folder.Read("out.txt"), "7\tp x a\r\n\r\n" + big + "\r\n");
}

TEST(OutputRecords, ReplaceTheOldFileOnlyWhenCommitted) {
  TempFolder folder;
  folder.Write("out.txt", "old results");
  {
    rt::OutputSet outputs;
    WriteRecords(outputs.Create(folder.File("out.txt")), {{"new"}});
    EXPECT_EQ(folder.Read("out.txt"), "old results");
    // Leaving without committing is a failed run: the new contents are dropped.
  }
  EXPECT_EQ(folder.Read("out.txt"), "old results");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.txt"}) << "no temporary file left";

  rt::OutputSet outputs;
  WriteRecords(outputs.Create(folder.File("out.txt")), {{"new"}});
  outputs.Commit();
  EXPECT_EQ(folder.Read("out.txt"), "new\r\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.txt"});
}

// What runs that were killed or cut left in the folder: the next run to
// claim it removes its own outputs' temporary files, and puts an earlier
// output that one of them had moved aside back under its free name. Every
// other name stays, whatever it looks like: recovery never makes an input,
// nor touches a file that is not an output's. A second run in the folder
// waits for the first to finish, so it never touches the first one's files.
TEST(OutputRecords, ARunClearsOnlyItsOwnLeftoversAndWaitsForALiveOne) {
  TempFolder folder;
  folder.Write("other.txt", "new results");
  folder.Write("~FixInputFiles-out.txt.old", "earlier results");  // cut between the two moves
  folder.Write("~FixInputFiles-other.txt.old", "L");              // its new file is in place
  folder.Write("~FixInputFiles-out.txt.tmp", "L");                // a new file not yet in place
  const std::vector<std::string> not_its_own = {
      "~FixInputFiles-Symbols.txt.old", "~FixInputFiles-Symbols2.txt.old",
      "~FixInputFiles-in.txt.old",      "~FixInputFiles-notes.txt",
      "~FixInputFiles-4000003-0-1.tmp", "~FixInputFiles-4000003-0.out.txt.old"};
  for (const std::string& name : not_its_own) folder.Write(name, "kept");
  auto first_run = std::make_unique<rt::OutputSet>();
  for (const char* name : {"out.txt", "other.txt", "live.txt"})
    WriteRecords(first_run->Create(folder.File(name)), {{"live"}});
  EXPECT_EQ(folder.Read("out.txt"), "earlier results");
  EXPECT_EQ(folder.Read("other.txt"), "new results");
  std::vector<std::string> live_runs_files = not_its_own;
  for (const char* name :
       {"other.txt", "out.txt", "~FixInputFiles-live.txt.tmp", "~FixInputFiles-other.txt.tmp",
        "~FixInputFiles-out.txt.tmp", "~FixInputFiles.lock"})
    live_runs_files.push_back(name);
  std::sort(live_runs_files.begin(), live_runs_files.end());
  EXPECT_EQ(folder.Names(), live_runs_files);

#ifdef __EMSCRIPTEN__
  first_run->Commit();
  GTEST_SKIP() << "no threads, and no locks in node's file system";
#endif
  std::atomic<bool> second_claimed = false;
  std::thread second_run([&] {
    rt::OutputSet outputs;
    WriteRecords(outputs.Create(folder.File("live.txt")), {{"second"}});
    second_claimed = true;
    outputs.Commit();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(second_claimed) << "the second run waits while the first holds the folder";
  EXPECT_EQ(folder.Names(), live_runs_files);
  first_run->Commit();
  first_run.reset();
  second_run.join();
  EXPECT_EQ(folder.Read("live.txt"), "second\r\n");
  std::vector<std::string> after = not_its_own;
  for (const char* name : {"live.txt", "other.txt", "out.txt"}) after.push_back(name);
  std::sort(after.begin(), after.end());
  EXPECT_EQ(folder.Names(), after);
}

TEST(RunTimeErrors, NameTheFileAndTheReason) {
  TempFolder folder;
  try {
    rt::InputFile file(folder.File("Symbols.txt"));
    FAIL();
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Number(), 53);
    EXPECT_EQ(error.Description(), "File not found: " + folder.File("Symbols.txt"));
    EXPECT_EQ(error.Message(),
              "Run-time error '53':\n\nFile not found: " + folder.File("Symbols.txt"));
  }
  try {
    rt::InputFile file(folder.Path());
    FAIL();
  } catch (const rt::RuntimeError& error) {
    EXPECT_NE(error.Description().find("is a folder"), std::string::npos) << error.Description();
  }
}

}  // namespace
