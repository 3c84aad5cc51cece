#include "runtime/folder_claim.h"

#include <algorithm>

#include "runtime/error.h"
#include "runtime/syscall.h"

namespace rt {
namespace {

// Every file a run keeps beside an output starts with this and ends with the
// output's name and one of the endings below; the lock is named apart from them.
constexpr std::string_view kOwnPrefix = "~FixInputFiles-";
constexpr std::string_view kLockName = "~FixInputFiles.lock";

}  // namespace

FolderClaim::FolderClaim(std::string folder, const Waiting& waiting)
    : folder_(std::move(folder)), lock_path_(folder_ + "/" + std::string(kLockName)) {
  for (;;) {
    bool taken = false;
    sys::Do(lock_path_,
            [&](os::SysError& e) { return os::LockFolder(lock_path_, lock_, taken, e); });
    if (taken) break;
    waiting();
  }
  // Where the folder cannot be listed, each leftover stays for a later run.
  sys::Try([&](os::SysError& e) { return os::ListFolder(folder_, found_, e); });
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

bool FolderClaim::Found(const std::string& path) const {
  const std::string_view name = std::string_view(path).substr(folder_.size() + 1);
  return std::find(found_.begin(), found_.end(), name) != found_.end();
}

void FolderClaim::CheckStillHeld() const {
  bool same = false;
  sys::Do(lock_path_, [&](os::SysError& e) { return os::SameFile(lock_, lock_path_, same, e); });
  if (!same) {
    throw RuntimeError(ErrorNumber::PathFileAccessError,
                       "Path/File access error: the lock " + lock_path_ +
                           " was removed or replaced while the run went on, so another run may "
                           "be writing in " +
                           folder_ + ". Nothing was replaced.");
  }
}

// An aside file is an earlier output that a dead run had moved aside. It goes
// back where its name is free; where a failed run could not put it back over
// its new file (it left the put-back mark), it goes back over that. Where
// only a run that succeeded or was cut could have put the new file there, the
// earlier one is no longer wanted.
void FolderClaim::ClearLeftoversOf(std::string_view name) noexcept {
  const std::string output = folder_ + "/" + std::string(name);
  const std::string aside = AsidePath(name), put_back = PutBackPath(name);
  const bool marked = Found(put_back);
  if (Found(aside)) {
    os::SysError error;
    bool restored = false;
    if (marked) {
      restored =
          sys::Checked(error, [&](os::SysError& e) { return os::ReplaceFile(aside, output, e); });
    } else {
      restored = sys::Checked(
          error, [&](os::SysError& e) { return os::MoveToFreeName(aside, output, e); });
    }
    // Where the aside file was a second name of the output itself, the move
    // may do nothing; that name goes below. A failure leaves it all, mark
    // included, for the next run.
    if (!restored && (marked || error.failure != os::Failure::Exists)) return;
    // The earlier file is back for good before the mark or its copy goes.
    if (restored && !sys::Try([&](os::SysError& e) { return os::FlushFolder(folder_, e); })) return;
    sys::Try([&](os::SysError& e) { return os::RemoveFile(aside, e); });
  }
  if (marked) sys::Try([&](os::SysError& e) { return os::RemoveFile(put_back, e); });
  const std::string temporary = TemporaryPath(name);
  if (Found(temporary)) sys::Try([&](os::SysError& e) { return os::RemoveFile(temporary, e); });
}

}  // namespace rt
