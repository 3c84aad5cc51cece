// Inputs and outputs that are not what the run expects: each gives a clear
// result, an error that names the file or outputs by the rules, and nothing
// that was there before is lost.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "runtime/error.h"
#include "tests/fault_support.h"
#include "tests/model_check.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// Every entry of the folder: a file's bytes, or "(folder)" with its entries.
std::map<std::string, std::string> Snapshot(const TempFolder& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder.Path())) {
    std::string name = entry.path().lexically_relative(folder.Path()).string();
    entries[name] = entry.is_symlink()        ? "(link to " + fs::read_symlink(entry).string() + ")"
                    : entry.is_directory()    ? "(folder)"
                    : entry.is_regular_file() ? ReadBytes(entry.path().string())
                                              : "(neither file nor folder)";
  }
  return entries;
}

// A folder with a good list and inventory and the earlier results.
void PrepareGood(const TempFolder& folder) {
  Prepare(folder, Inputs{"p x a\r\n", "p\r\na\r\n"}, true);
}

void Replace(const TempFolder& folder, const std::string& name, std::string_view bytes) {
  fs::remove_all(folder.File(name));
  folder.Write(name, bytes);
}

void MakeFolder(const TempFolder& folder, const std::string& name) {
  fs::remove_all(folder.File(name));
  fs::create_directory(folder.File(name));
  WriteBytes(folder.File(name) + "/kept.txt", "kept");
}

void MakeFifo(const TempFolder& folder, const std::string& name) {
  fs::remove_all(folder.File(name));
  ::mkfifo(folder.File(name).c_str(), 0644);
}

void LinkTo(const TempFolder& folder, const std::string& name, const std::string& target) {
  fs::remove_all(folder.File(name));
  fs::create_symlink(target, folder.File(name));
}

struct Refusal {
  const char* what;
  std::function<void(const TempFolder&)> make;
  int error_number;
  const char* names;  // the file the message must name
  const char* says;   // and what it must say about it
};

TEST(BadInput, UnusableFilesStopTheRunAndChangeNothing) {
  const std::string utf16le("\xFF\xFEp\0 \0a\0\r\0\n\0", 12);
  const std::string utf16be("\xFE\xFF\0p\0 \0a\0\r\0\n", 12);
  const std::vector<Refusal> refusals = {
      {"in.txt is a folder", [](auto& f) { MakeFolder(f, "in.txt"); }, 75, "in.txt", "is a folder"},
      {"Symbols.txt is a folder", [](auto& f) { MakeFolder(f, "Symbols.txt"); }, 75, "Symbols.txt",
       "is a folder"},
      {"in.txt is UTF-16 LE", [&](auto& f) { Replace(f, "in.txt", utf16le); }, 54, "in.txt",
       "UTF-8"},
      {"in.txt is UTF-16 BE", [&](auto& f) { Replace(f, "in.txt", utf16be); }, 54, "in.txt",
       "UTF-8"},
      {"Symbols.txt is UTF-16 LE", [&](auto& f) { Replace(f, "Symbols.txt", utf16le); }, 54,
       "Symbols.txt", "UTF-8"},
      {"Symbols.txt is UTF-16 BE", [&](auto& f) { Replace(f, "Symbols.txt", utf16be); }, 54,
       "Symbols.txt", "UTF-8"},
      {"FixedLines.txt is a folder", [](auto& f) { MakeFolder(f, "FixedLines.txt"); }, 75,
       "FixedLines.txt", "is a folder"},
      {"BadLines.txt is a folder", [](auto& f) { MakeFolder(f, "BadLines.txt"); }, 75,
       "BadLines.txt", "is a folder"},
      {"in.txt is UTF-32 LE",
       [](auto& f) { Replace(f, "in.txt", std::string("\xFF\xFE\0\0p\0\0\0", 8)); }, 54, "in.txt",
       "UTF-32"},
      {"Symbols.txt is UTF-32 BE",
       [](auto& f) { Replace(f, "Symbols.txt", std::string("\0\0\xFE\xFF\0\0\0p", 8)); }, 54,
       "Symbols.txt", "UTF-32"},
      // Read, these would wait for a writer or never end: refused before the folder is claimed.
      {"in.txt is a FIFO", [](auto& f) { MakeFifo(f, "in.txt"); }, 75, "in.txt", "is not a file"},
      {"Symbols.txt is a FIFO", [](auto& f) { MakeFifo(f, "Symbols.txt"); }, 75, "Symbols.txt",
       "is not a file"},
      {"in.txt is a device", [](auto& f) { LinkTo(f, "in.txt", "/dev/zero"); }, 75, "in.txt",
       "is not a file"},
      // Replacements.txt is optional, but one that is there must be whole and plain.
      {"Replacements.txt has a record without a TAB",
       [](auto& f) { Replace(f, "Replacements.txt", "Symbol\tReplace with\r\ng\tɡ\r\np q\r\n"); },
       54, "Replacements.txt", "line 3 has no TAB"},
      {"Replacements.txt has a record without a symbol",
       [](auto& f) { Replace(f, "Replacements.txt", "\xEF\xBB\xBF  \tp\n"); }, 54,
       "Replacements.txt", "line 1 has no symbol"},
      {"Replacements.txt names a symbol with a space",
       [](auto& f) { Replace(f, "Replacements.txt", "\r\np<U+0020>q\tp\r"); }, 54,
       "Replacements.txt", "line 2 names a symbol with a space"},
      {"Replacements.txt replaces a symbol twice, differently",
       [](auto& f) { Replace(f, "Replacements.txt", "g\tɡ\ng\t ɡ \nx\tp\nx\tq\n"); }, 54,
       "Replacements.txt", "line 4 replaces x with q, but line 3 replaces it with p"},
      {"Replacements.txt is UTF-16", [&](auto& f) { Replace(f, "Replacements.txt", utf16le); }, 54,
       "Replacements.txt", "UTF-8"},
      {"Replacements.txt is a folder", [](auto& f) { MakeFolder(f, "Replacements.txt"); }, 75,
       "Replacements.txt", "is a folder"},
      {"Replacements.txt is a FIFO", [](auto& f) { MakeFifo(f, "Replacements.txt"); }, 75,
       "Replacements.txt", "is not a file"},
      {"the lock is a folder", [](auto& f) { MakeFolder(f, "~FixInputFiles.lock"); }, 75,
       "~FixInputFiles.lock", "is a folder"},
      {"the lock is a link", [](auto& f) { LinkTo(f, "~FixInputFiles.lock", f.File("made")); }, 75,
       "~FixInputFiles.lock", "symbolic links"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    TempFolder folder;
    PrepareGood(folder);
    refusal.make(folder);
    const auto before = Snapshot(folder);
    RecordingWindow window;
    try {
      RunIn(folder, window);
      ADD_FAILURE() << "the run went on";
    } catch (const rt::RuntimeError& error) {
      EXPECT_EQ(error.Number(), refusal.error_number) << error.Description();
      EXPECT_NE(error.Description().find(folder.File(refusal.names)), std::string::npos)
          << error.Description();
      EXPECT_NE(error.Description().find(refusal.says), std::string::npos) << error.Description();
    }
    EXPECT_EQ(Snapshot(folder), before);
    EXPECT_TRUE(window.captions.empty());
  }
  std::printf("[ figures  ] %zu unusable inputs or outputs refused, nothing changed\n",
              refusals.size());
}

// Runs the cleaning in a child that is not root, so that permissions apply
// also when the tests run as root. Returns the run-time error's number (0 when
// the run succeeded), or -1 when the error did not name `names` and say
// "Permission denied".
int RunUnprivileged(const TempFolder& folder, const std::string& names) {
  pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(255);
    RecordingWindow window;
    try {
      RunIn(folder, window);
    } catch (const rt::RuntimeError& error) {
      bool clear = error.Description().find(names) != std::string::npos &&
                   error.Description().find("Permission denied") != std::string::npos;
      ::_exit(clear ? error.Number() : 254);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return -2;
  int code = WEXITSTATUS(status);
  return code == 254 ? -1 : code;
}

// Gives the folder and everything in it to the user the child becomes.
void GiveToUnprivilegedUser(const TempFolder& folder) {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::chown(folder.Path().c_str(), 65534, 65534), 0);
  for (const std::string& name : folder.Names())
    ASSERT_EQ(::chown(folder.File(name).c_str(), 65534, 65534), 0);
}

TEST(BadInput, OutputsThatMayNotBeWrittenStopTheRunAndChangeNothing) {
  struct Case {
    const char* what;
    const char* read_only;  // a file, or "" for the folder itself
  };
  const Case cases[] = {{"FixedLines.txt is read-only", "FixedLines.txt"},
                        {"BadLines.txt is read-only", "BadLines.txt"},
                        {"the folder cannot be written", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    PrepareGood(folder);
    GiveToUnprivilegedUser(folder);
    std::string target = *c.read_only ? folder.File(c.read_only) : folder.Path();
    ASSERT_EQ(::chmod(target.c_str(), *c.read_only ? 0444 : 0555), 0);
    const auto before = Snapshot(folder);
    // In a folder that cannot be written, the lock is the first file the run would make.
    std::string named = folder.File(*c.read_only ? c.read_only : "~FixInputFiles.lock");
    EXPECT_EQ(RunUnprivileged(folder, named), 70) << "-1: the message did not name " << named;
    ::chmod(target.c_str(), *c.read_only ? 0644 : 0755);
    EXPECT_EQ(Snapshot(folder), before);
  }
  std::printf("[ figures  ] %zu outputs that may not be written refused, nothing changed\n",
              std::size(cases));
}

TEST(BadInput, OddContentIsCleanedByTheRulesByteForByte) {
  std::string all_bytes;
  for (int byte = 0; byte < 256; ++byte) all_bytes += static_cast<char>(byte);
  std::string high_tokens;
  for (int byte = 0x80; byte < 0x100; ++byte) high_tokens += std::string(1, char(byte)) + " ";
  const std::string invalid_utf8 =
      "\xC3 \xC3\x28 \xE2\x82 \xF0\x28\x8C\xBC \xC0\xAF \xED\xA0\x80 \xF8\x88\x80\x80\x80 "
      "\xFF p\r\n\x80\x80\r\n";
  std::string blob;
  for (int i = 0; i < 70000; ++i) blob += static_cast<char>((i * 7919 + i / 13) % 256);
  auto utf16le = [](std::string_view text) {
    std::string bytes;
    for (char c : text) bytes += std::string{c, '\0'};
    return bytes;
  };
  auto utf16be = [](std::string_view text) {
    std::string bytes;
    for (char c : text) bytes += std::string{'\0', c};
    return bytes;
  };
  struct Case {
    const char* what;
    std::string list;
    std::string symbols;
  };
  const std::vector<Case> cases = {
      {"in.txt empty", "", "p\r\n"},
      {"Symbols.txt empty", "p a\r\n\r\n", ""},
      {"in.txt of NUL bytes", std::string("p\0a x\0\r\n\0\0\r\n\0 p", 16), "p\r\n"},
      {"Symbols.txt with NUL bytes", std::string("p\0 a \0\r\n", 8),
       std::string("p\0\r\n\0\r\n", 7)},
      {"bytes 0x80 to 0xFF", high_tokens, "\x80\r\n\xFF\r\n\xC3\xA6\r\n"},
      {"invalid UTF-8 in both", invalid_utf8, invalid_utf8},
      {"every byte value in both", blob, blob.substr(0, 3000)},
      {"only CR line ends", "p a\r\rx p\r  \rp", "p\ra\r\r"},
      {"UTF-16 LE without a mark", utf16le("p a\r\nx\r\n"), utf16le("p\r\na\r\n")},
      {"UTF-16 BE without a mark", utf16be("p a\r\nx\r\n"), utf16be("p\r\na\r\n")},
      {"a UTF-8 mark, then a UTF-16 one", "\xEF\xBB\xBF\xFF\xFEp a\r\n", "\xEF\xBB\xBFp\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    PrepareGood(folder);
    EXPECT_EQ(DifferenceFromModel(folder, c.list, c.symbols), "");
  }
  std::printf("[ figures  ] %zu files of odd content cleaned by the rules\n", cases.size());
}

TEST(BadInput, HugeLinesAndManyBlankLinesAreCleanedWhole) {
  int tried = 0;
  {
    SCOPED_TRACE("a single line of 50 MB, in in.txt and in Symbols.txt");
    const std::string huge((50 << 20) / kSanitizerDivisor, 'h');
    TempFolder folder;
    Prepare(folder, Inputs{huge + "\r\np x\r\n", huge + "\r\np\r\n"}, true);
    RecordingWindow window;
    RunIn(folder, window);
    EXPECT_TRUE(folder.Read("FixedLines.txt") == huge + "\r\np\r\n");
    EXPECT_EQ(folder.Read("BadLines.txt"), "2\tp x\tBad symbol removed\tx\r\n");
    ++tried;
  }
  {
    SCOPED_TRACE("a line of 5 million tokens, two spaces apart");
    constexpr int kTokens = 5'000'000 / kSanitizerDivisor;
    static const char* const kCycle[] = {"p", "x", "a", "ʃ"};
    std::string list, collapsed, fixed;
    for (int i = 0; i < kTokens; ++i) {
      const char* token = kCycle[i % 4];
      list += token;
      list += "  ";
      collapsed += token;
      collapsed += ' ';
      if (i % 4 == 0 || i % 4 == 2) fixed += std::string(token) + " ";
    }
    collapsed.pop_back();
    fixed.pop_back();
    TempFolder folder;
    Prepare(folder, Inputs{list, "p\r\na\r\n"}, true);
    RecordingWindow window;
    RunIn(folder, window);
    EXPECT_TRUE(folder.Read("FixedLines.txt") == fixed + "\r\n");
    EXPECT_TRUE(folder.Read("BadLines.txt") ==
                "1\t" + collapsed + "\tBad symbol removed\t" + kCycle[(kTokens - 1) % 4] + "\r\n");
    const std::string times = std::to_string(kTokens / 4);
    EXPECT_EQ(folder.Read("SymbolReport.txt"),
              "\t\t\t\t\tMost lines of in.txt lost a symbol: 1 of 1.\r\n\r\n"
              "Symbol\tCode points\tTimes removed\tLines\tFirst line\tNote\tReplace with\r\n"
              "x\tU+0078 LATIN SMALL LETTER X\t" +
                  times +
                  "\t1\t1\t\t\r\n"
                  "ʃ\tU+0283 LATIN SMALL LETTER ESH\t" +
                  times +
                  "\t1\t1\t\t\r\n\r\n\t\t\t\t\t"
                  "2 different symbols were removed, " +
                  std::to_string(kTokens / 2) + " times in all, from 1 line of in.txt.\r\n");
    ++tried;
  }
  {
    SCOPED_TRACE("100,000 blank lines");
    std::string list;
    for (int i = 0; i < 100000; ++i) list += i % 3 ? "\r\n" : "    \r\n";
    TempFolder folder;
    PrepareGood(folder);
    EXPECT_EQ(DifferenceFromModel(folder, list, "p\r\n"), "");
    EXPECT_EQ(folder.Read("FixedLines.txt"), "");
    ++tried;
  }
  std::printf("[ figures  ] %d huge inputs cleaned whole\n", tried);
}

}  // namespace
