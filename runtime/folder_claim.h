// A run's claim on a folder it writes outputs to: one lock for the folder,
// held for the whole run. While a run holds it, the program's other files in
// the folder are dead runs' leftovers, which it clears; a second run in the
// same folder waits until the first is done, so that it never touches the
// first one's files.
#pragma once

#include <string>
#include <string_view>

#include "runtime/os.h"

namespace rt {

class FolderClaim {
 public:
  // Waits for the folder, then clears what killed or cut runs left there.
  // `output` names the file that an error is about.
  FolderClaim(std::string folder, const std::string& output);
  ~FolderClaim();
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  const std::string& Folder() const { return folder_; }
  // Where the output `name` is written until it is put in place.
  std::string TemporaryPath(std::string_view name) const { return Own(name, ".tmp"); }
  // Where its earlier file waits while the new one takes its name.
  std::string AsidePath(std::string_view name) const { return Own(name, ".old"); }

 private:
  std::string Own(std::string_view name, std::string_view end) const;
  void ClearLeftovers() noexcept;

  std::string folder_;
  std::string lock_path_;
  os::Handle lock_ = 0;
};

}  // namespace rt
