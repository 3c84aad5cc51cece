// Apart from paths.cpp: the page's program has no executable of its own, and
// builds without this.
#include "runtime/paths.h"
#include "runtime/syscall.h"

namespace rt {

std::string ProgramFolder() {
  std::string executable;
  sys::Do("the program's own folder",
          [&](os::SysError& error) { return os::ExecutablePath(executable, error); });
  return FolderOf(executable);
}

}  // namespace rt
