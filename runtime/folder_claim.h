// A run's claim on a folder it writes outputs to: one lock for the folder,
// held for the whole run. While a run holds it, the program's own files for
// its outputs in the folder are dead runs' leftovers, which it clears; a
// second run in the same folder waits until the first is done, so that it
// never touches the first one's files.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/os.h"

namespace rt {

// Called again and again while another run holds the folder; it returns
// after a moment, and the lock is tried again.
using Waiting = std::function<void()>;

class FolderClaim {
 public:
  // Waits for the folder, then looks for what killed or cut runs left there.
  FolderClaim(std::string folder, const Waiting& waiting);
  ~FolderClaim();
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  const std::string& Folder() const { return folder_; }
  // Where the output `name` is written until it is put in place.
  std::string TemporaryPath(std::string_view name) const { return Own(name, ".tmp"); }
  // Where its earlier file waits while the new one takes its name.
  std::string AsidePath(std::string_view name) const { return Own(name, ".old"); }
  // Says that a failed run could not put the earlier file, kept under the
  // aside name, back over the new one.
  std::string PutBackPath(std::string_view name) const { return Own(name, ".putback"); }

  // Clears what dead runs left of the output `name`, and only that: its
  // temporary file goes, and its earlier file comes back under its name when
  // that is free or holds a failed run's new file. What cannot be handled
  // stays for the next run.
  void ClearLeftoversOf(std::string_view name) noexcept;
  // Fails when the lock file is no longer this run's: removed, or replaced
  // by another run's, which may then be writing the same files.
  void CheckStillHeld() const;

 private:
  std::string Own(std::string_view name, std::string_view end) const;
  bool Found(const std::string& path) const;

  std::string folder_;
  std::string lock_path_;
  os::Handle lock_ = 0;
  std::vector<std::string> found_;  // the folder's names when it was claimed
};

}  // namespace rt
