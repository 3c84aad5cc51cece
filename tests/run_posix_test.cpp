// The cleaning run where POSIX permissions and links decide: a folder the user
// may not write, and outputs with permissions or links of their own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/error.h"
#include "tests/fault_support.h"

namespace {

using namespace testing_support;

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
  Prepare(folder, Inputs{"p x\r\n", "p\r\n"}, true);
  fs::create_directory(folder.File("linked"));
  fs::rename(folder.File("FixedLines.txt"), folder.File("linked/fixed.txt"));
  fs::create_symlink("linked/fixed.txt", folder.File("FixedLines.txt"));
  fs::rename(folder.File("SymbolReport.txt"), learners.File("report.txt"));
  fs::create_symlink(learners.File("report.txt"), folder.File("SymbolReport.txt"));
  const std::pair<std::string, mode_t> modes[] = {{folder.File("linked/fixed.txt"), 0600},
                                                  {folder.File("BadLines.txt"), 0664},
                                                  {learners.File("report.txt"), 0640}};
  for (const auto& [path, mode] : modes) ::chmod(path.c_str(), mode);
  RecordingWindow window;
  RunIn(folder, window);
  for (const auto& [path, mode] : modes) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, mode) << path;
  }
  EXPECT_TRUE(fs::is_symlink(folder.File("FixedLines.txt")));
  EXPECT_TRUE(fs::is_symlink(folder.File("SymbolReport.txt")));
  EXPECT_EQ(OutputsIn(folder), CleanRunOutputs(Inputs{"p x\r\n", "p\r\n"}));
  EXPECT_EQ(OtherNames(folder), std::vector<std::string>{"linked"});
  EXPECT_EQ(learners.Names(), std::vector<std::string>{"report.txt"});
}

}  // namespace
