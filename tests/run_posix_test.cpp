// The cleaning run where POSIX permissions and links decide: a folder the user
// may not write, and outputs with permissions or links of their own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/error.h"
#include "tests/test_support.h"

namespace {

using testing_support::RecordingWindow;
using testing_support::RunIn;
using testing_support::TempFolder;

TEST(Run, AFolderThatCannotBeWrittenGivesAClearError) {
  TempFolder folder;
  folder.Write("in.txt", "p\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  std::filesystem::permissions(
      folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                         std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                         std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  // As root the folder's permissions do not apply, so the run happens in a
  // child that has given up root.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    RecordingWindow window;
    try {
      RunIn(folder, window);
    } catch (const rt::RuntimeError& error) {
      bool clear =
          error.Number() == 70 &&
          error.Description().find(folder.File("~FixInputFiles.lock")) != std::string::npos &&
          error.Description().find("Permission denied") != std::string::npos;
      ::_exit(clear ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: the run succeeded; 2: the error did not name the lock and the reason";
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Symbols.txt", "in.txt"}));
}

// What the user set up around an output stays: its permissions, and a
// symbolic link to it (the cleaned list linked into a learner's folder),
// whose target is replaced in the target's own folder.
TEST(Run, AnOutputKeepsItsPermissionsAndItsLink) {
  namespace fs = std::filesystem;
  TempFolder folder, learners;
  folder.Write("in.txt", "p x\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  fs::create_directory(folder.File("linked"));
  folder.Write("linked/fixed.txt", "earlier");
  folder.Write("BadLines.txt", "earlier");
  learners.Write("report.txt", "earlier");
  fs::create_symlink("linked/fixed.txt", folder.File("FixedLines.txt"));
  fs::create_symlink(learners.File("report.txt"), folder.File("SymbolReport.txt"));
  auto mode = [](const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
  };
  ::chmod(folder.File("linked/fixed.txt").c_str(), 0600);
  ::chmod(folder.File("BadLines.txt").c_str(), 0664);
  ::chmod(learners.File("report.txt").c_str(), 0640);
  RecordingWindow window;
  RunIn(folder, window);
  EXPECT_EQ(mode(folder.File("linked/fixed.txt")), 0600u);
  EXPECT_EQ(mode(folder.File("BadLines.txt")), 0664u);
  EXPECT_EQ(mode(learners.File("report.txt")), 0640u);
  EXPECT_TRUE(fs::is_symlink(folder.File("FixedLines.txt")));
  EXPECT_TRUE(fs::is_symlink(folder.File("SymbolReport.txt")));
  EXPECT_EQ(folder.Read("FixedLines.txt"), "p\r\n");
  EXPECT_EQ(learners.Read("report.txt").substr(0, 7), "Symbol\t");
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"BadLines.txt", "FixedLines.txt", "SymbolReport.txt",
                                      "Symbols.txt", "in.txt", "linked"}));
  EXPECT_EQ(learners.Names(), std::vector<std::string>{"report.txt"});
}

}  // namespace
