// The run's outputs, replaced together or not at all. Each is written to a
// temporary file beside it; committing puts every byte on the disk, then
// each output in place, keeping the earlier files until all are, so that a
// run that fails, even while committing, leaves the earlier files as they
// were. Records end with CR LF (the engine writes them so); the bytes go to
// the disk as they are written.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/folder_claim.h"
#include "runtime/os.h"

namespace rt {

class OutputFile {
 public:
  OutputFile(std::string path, std::string temporary_path, std::string aside_path,
             std::string put_back_path);
  void Write(std::string_view bytes);
  // Before committing: the run has nothing for this output. Committing
  // writes no file for it, and its earlier file goes once every new output
  // is in place and on the disk; until then it waits under the aside name,
  // so that a failed run puts it back, and the next run after a killed or
  // cut one. Bytes written to it are dropped.
  void Withdraw() { withdrawn_ = true; }

 private:
  friend class OutputSet;
  // Where the new contents stand once moved into place.
  enum class Placed {
    No,
    OverNothing,  // there was no earlier file
    Exchanged,    // the earlier file waits under the temporary name until the run succeeds
    Aside,        // the earlier file waits under the aside name until the run succeeds
  };

  void Create();
  void Finish();
  bool StillOurs() const;
  void Place();
  void DropEarlier() noexcept;
  void MarkForPuttingBack() noexcept;
  void Drop() noexcept;

  std::string path_, temporary_path_, aside_path_, put_back_path_;
  os::Handle handle_ = 0;
  bool handle_open_ = false;
  bool temporary_exists_ = false;
  bool withdrawn_ = false;
  Placed placed_ = Placed::No;
  std::size_t not_yet_on_disk_ = 0;  // bytes written since write-back last started
};

class OutputSet {
 public:
  // `waiting` is called while another run holds an output's folder.
  explicit OutputSet(Waiting waiting = os::PauseBriefly);
  ~OutputSet();  // drops what was not committed
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Checks that `path` may be replaced, claims its folder for the run, and
  // creates the output's temporary file. Where `path` is a symbolic link, the
  // file it leads to is the output, replaced in its own folder, and the link stays.
  OutputFile& Create(const std::string& path);
  // Puts every output in place, on the disk, and lets the folders go.
  void Commit();

 private:
  FolderClaim& Claimed(const std::string& folder);

  Waiting waiting_;
  std::vector<std::unique_ptr<FolderClaim>> claims_;
  std::vector<std::unique_ptr<OutputFile>> outputs_;
  bool committed_ = false;
};

}  // namespace rt
