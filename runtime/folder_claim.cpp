#include "runtime/folder_claim.h"

#include <vector>

#include "runtime/syscall.h"

namespace rt {
namespace {

// Every file a run keeps beside its outputs starts with this, and none is
// named like an output; the lock is named apart from them.
constexpr std::string_view kOwnPrefix = "~FixInputFiles-";
constexpr std::string_view kLockName = "~FixInputFiles.lock";
constexpr std::string_view kAsideEnd = ".old";

// The output whose earlier file the aside file `name` holds. The release
// before this one put its run, "<process>-<number>.", before the output's
// name: such a file goes back under the output's name too.
std::string AsideOutputName(std::string_view name) {
  std::string_view output =
      name.substr(kOwnPrefix.size(), name.size() - kOwnPrefix.size() - kAsideEnd.size());
  const std::size_t process = output.find_first_not_of("0123456789");
  if (process != 0 && process != std::string_view::npos && output[process] == '-') {
    const std::size_t run = output.find_first_not_of("0123456789", process + 1);
    if (run > process + 1 && run != std::string_view::npos && output[run] == '.')
      output.remove_prefix(run + 1);
  }
  return std::string(output);
}

}  // namespace

FolderClaim::FolderClaim(std::string folder, const std::string& output)
    : folder_(std::move(folder)), lock_path_(folder_ + "/" + std::string(kLockName)) {
  sys::Do(output, [&](os::SysError& e) { return os::LockFolder(lock_path_, lock_, e); });
  ClearLeftovers();
}

// The run is over: the lock goes, and flushing the folder makes that and the
// removals before it durable, so that no temporary file of the run comes back
// after a power cut.
FolderClaim::~FolderClaim() {
  // The lock goes with its handle whatever the call reports.
  os::SysError ignored;
  sys::CheckedAlwaysMade(ignored,
                         [&](os::SysError& e) { return os::UnlockFolder(lock_path_, lock_, e); });
  sys::Try([&](os::SysError& e) { return os::FlushFolder(folder_, e); });
}

std::string FolderClaim::Own(std::string_view name, std::string_view end) const {
  std::string path = folder_;
  path += '/';
  path += kOwnPrefix;
  path += name;
  path += end;
  return path;
}

// An earlier output that a dead run had moved aside, and not yet replaced,
// goes back under its name; the rest goes. A file that cannot be handled
// stays for the next run.
void FolderClaim::ClearLeftovers() noexcept {
  std::vector<std::string> names;
  if (!sys::Try([&](os::SysError& e) { return os::ListFolder(folder_, names, e); })) return;
  bool restored = false;
  for (const std::string& name : names) {
    if (!name.starts_with(kOwnPrefix)) continue;
    const std::string path = folder_ + "/" + name;
    if (name.ends_with(kAsideEnd)) {
      const std::string output = folder_ + "/" + AsideOutputName(name);
      os::SysError error;
      if (sys::Checked(error,
                       [&](os::SysError& e) { return os::MoveToFreeName(path, output, e); })) {
        // Where the aside file was a second name of the output itself, the
        // move may do nothing; that name goes below.
        restored = true;
      } else if (error.failure != os::Failure::Exists) {
        continue;
      }
      // Otherwise its new file took the name: the earlier one is no longer wanted.
    }
    sys::Try([&](os::SysError& e) { return os::RemoveFile(path, e); });
  }
  if (restored) sys::Try([&](os::SysError& e) { return os::FlushFolder(folder_, e); });
}

}  // namespace rt
