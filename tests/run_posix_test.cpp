// The cleaning run where POSIX permissions decide: a folder the user may not write.
#include <gtest/gtest.h>
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
      bool clear = error.Number() == 70 &&
                   error.Description().find(folder.File("FixedLines.txt")) != std::string::npos &&
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
      << "1: the run succeeded; 2: the error did not name the file and reason";
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Symbols.txt", "in.txt"}));
}

}  // namespace
