#include "runtime/outputs.h"

#include "runtime/error.h"
#include "runtime/paths.h"
#include "runtime/syscall.h"

namespace rt {
namespace {

// The disk writes a large output while the run goes on, not all in the final flush.
constexpr std::size_t kWriteBackEvery = 1024 * 1024;

}  // namespace

OutputFile::OutputFile(std::string path, std::string temporary_path, std::string aside_path,
                       std::string put_back_path)
    : path_(std::move(path)),
      temporary_path_(std::move(temporary_path)),
      aside_path_(std::move(aside_path)),
      put_back_path_(std::move(put_back_path)) {}

// The new file gets the earlier one's permissions, as writing over it would keep them.
void OutputFile::Create() {
  sys::Do(path_,
          [&](os::SysError& e) { return os::CreateNew(temporary_path_, path_, handle_, e); });
  handle_open_ = temporary_exists_ = true;
}

void OutputFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t written = 0;
    sys::Do(path_, [&](os::SysError& e) {
      return os::Write(handle_, bytes.data(), bytes.size(), written, e);
    });
    bytes.remove_prefix(written);
    not_yet_on_disk_ += written;
  }
  if (not_yet_on_disk_ >= kWriteBackEvery) {
    sys::Do(path_, [&](os::SysError& e) { return os::StartWriteBack(handle_, e); });
    not_yet_on_disk_ = 0;
  }
}

// Puts every byte on the disk. The file stays open until it is in place:
// while it is, no other file can take its identity, so the check before the
// move finds out whether the name still holds it.
void OutputFile::Finish() {
  sys::Do(path_, [&](os::SysError& e) { return os::FlushToDisk(handle_, e); });
}

bool OutputFile::StillOurs() const {
  bool same = false;
  sys::Do(temporary_path_,
          [&](os::SysError& e) { return os::SameFile(handle_, temporary_path_, same, e); });
  return same;
}

// Moves the new file into place, keeping the earlier file under another name
// so that a failure after this (the other output's move, flushing the folder)
// can still put it back. Best is one step that swaps the two names; else the
// earlier file gets a second name before the new one takes its place, so the
// name always holds a whole file; where the file system has no hard links
// (FAT, exFAT), it is moved aside first, and for a moment the name holds
// nothing (a later run puts it back if this one is cut there).
//
// Only the file this run wrote is put in place: a run that lost its lock may
// find another run's file under its temporary name.
//
// A withdrawn output's earlier file only moves aside, as where nothing can
// keep a second name, and its name stays free; its temporary file waits
// with it, as the new one would, until the run succeeds.
void OutputFile::Place() {
  if (!StillOurs()) {
    throw RuntimeError(ErrorNumber::PathFileAccessError,
                       "Path/File access error: " + temporary_path_ +
                           " is no longer the file this run wrote for " + path_ +
                           ": another program removed or replaced it. Nothing was replaced.");
  }
  os::SysError error;
  if (withdrawn_) {
    if (sys::Checked(error,
                     [&](os::SysError& e) { return os::ReplaceFile(path_, aside_path_, e); }))
      placed_ = Placed::Aside;
    else if (error.failure != os::Failure::NotFound)
      sys::Raise(error, path_);
  } else if (sys::CheckedNeeding(sys::Ability::Exchange, error, [&](os::SysError& e) {
               return os::ExchangeFiles(temporary_path_, path_, e);
             })) {
    placed_ = Placed::Exchanged;
  } else {
    bool kept = false;
    if (error.failure == os::Failure::Unsupported) {
      kept = sys::CheckedNeeding(sys::Ability::Link, error, [&](os::SysError& e) {
        return os::LinkFile(path_, aside_path_, e);
      });
    }
    if (!kept && error.failure == os::Failure::Unsupported) {
      kept = sys::Checked(error,
                          [&](os::SysError& e) { return os::ReplaceFile(path_, aside_path_, e); });
    }
    if (!kept && error.failure != os::Failure::NotFound) sys::Raise(error, path_);
    if (kept) placed_ = Placed::Aside;
    sys::Do(path_, [&](os::SysError& e) { return os::ReplaceFile(temporary_path_, path_, e); });
    temporary_exists_ = false;
    if (!kept) placed_ = Placed::OverNothing;
  }
  handle_open_ = false;
  sys::Close(handle_, path_);
}

// The run has succeeded: the earlier file kept for a failure goes, and so
// does a withdrawn output's temporary file. One that cannot be removed stays
// for the next run to clear.
//
// A withdrawn output's earlier file, which a later run would put back under
// its free name, first takes the temporary name, where a later run clears it.
void OutputFile::DropEarlier() noexcept {
  if (withdrawn_ && placed_ == Placed::Aside &&
      sys::Try([&](os::SysError& e) { return os::ReplaceFile(aside_path_, temporary_path_, e); }))
    placed_ = Placed::Exchanged;
  if (placed_ == Placed::Aside)
    sys::Try([&](os::SysError& e) { return os::RemoveFile(aside_path_, e); });
  // After an exchange, or withdrawn, the temporary name holds no new output.
  if (temporary_exists_)
    sys::Try([&](os::SysError& e) { return os::RemoveFile(temporary_path_, e); });
  temporary_exists_ = false;
  placed_ = Placed::No;
}

// The earlier file waits under the aside name, and the new one holds the
// output's name: the next run puts the earlier one back over it. Should this
// fail too, the next run keeps the new file, each whole.
void OutputFile::MarkForPuttingBack() noexcept {
  os::Handle mark = 0;
  if (sys::Try([&](os::SysError& e) { return os::CreateNew(put_back_path_, "", mark, e); }))
    sys::CloseQuietly(mark);
}

// After a failure: the earlier file goes back. Whatever cannot be done here
// is left so that the next run finishes it, and never so that the earlier
// file is lost.
void OutputFile::Drop() noexcept {
  // A temporary name that no longer holds this run's file is another's.
  if (placed_ == Placed::No && temporary_exists_ && handle_open_) {
    bool same = false;
    temporary_exists_ = sys::Try([&](os::SysError& e) {
                          return os::SameFile(handle_, temporary_path_, same, e);
                        }) &&
                        same;
  }
  if (handle_open_) sys::CloseQuietly(handle_);
  switch (placed_) {
    case Placed::Exchanged: {
      // The new contents become temporary again. Should that fail, the
      // temporary file holds the only copy of the earlier results: it
      // becomes the aside file, which the next run puts back.
      os::SysError error;
      if (!sys::Checked(error, [&](os::SysError& e) {
            return os::ExchangeFiles(temporary_path_, path_, e);
          })) {
        temporary_exists_ = false;
        if (sys::Try([&](os::SysError& e) {
              return os::ReplaceFile(temporary_path_, aside_path_, e);
            }) &&
            error.failure != os::Failure::NotFound)
          MarkForPuttingBack();
      }
      break;
    }
    case Placed::Aside: {
      // Over the new file, or into the empty name. Should that fail, the
      // aside file stays for the next run. Where it is a second name of the
      // file still in place, the move does nothing and the name is removed.
      os::SysError error;
      if (sys::Checked(error,
                       [&](os::SysError& e) { return os::ReplaceFile(aside_path_, path_, e); })) {
        sys::Try([&](os::SysError& e) { return os::RemoveFile(aside_path_, e); });
      } else if (error.failure != os::Failure::NotFound) {
        MarkForPuttingBack();
      }
      break;
    }
    case Placed::OverNothing:
      sys::Try([&](os::SysError& e) { return os::RemoveFile(path_, e); });
      break;
    case Placed::No:
      break;
  }
  if (temporary_exists_)
    sys::Try([&](os::SysError& e) { return os::RemoveFile(temporary_path_, e); });
  handle_open_ = temporary_exists_ = false;
  placed_ = Placed::No;
}

OutputSet::OutputSet(Waiting waiting) : waiting_(std::move(waiting)) {}

OutputSet::~OutputSet() {
  if (!committed_) {
    for (auto& output : outputs_) output->Drop();
  }
  outputs_.clear();
  claims_.clear();
}

FolderClaim& OutputSet::Claimed(const std::string& folder) {
  for (const auto& claim : claims_) {
    if (claim->Folder() == folder) return *claim;
  }
  claims_.push_back(std::make_unique<FolderClaim>(folder, waiting_));
  return *claims_.back();
}

OutputFile& OutputSet::Create(const std::string& path) {
  std::string target;
  sys::Do(path, [&](os::SysError& e) { return os::ResolveOutput(path, target, e); });
  FolderClaim& claim = Claimed(FolderOf(target));
  const std::string name = FileNameOf(target);
  claim.ClearLeftoversOf(name);
  outputs_.push_back(std::make_unique<OutputFile>(target, claim.TemporaryPath(name),
                                                  claim.AsidePath(name), claim.PutBackPath(name)));
  outputs_.back()->Create();
  return *outputs_.back();
}

// Every output reaches the disk before any replaces its earlier file, and
// each earlier file is kept until the new ones are all in place and durable,
// so a failure anywhere here puts all the earlier files back. Only then do
// the earlier files go, a withdrawn output's first: until it has left the
// aside name, a cut run's next run would put it back beside the new outputs.
// Letting the folders go makes that durable too.
void OutputSet::Commit() {
  for (auto& output : outputs_) {
    if (!output->withdrawn_) output->Finish();
  }
  for (const auto& claim : claims_) claim->CheckStillHeld();
  for (auto& output : outputs_) output->Place();
  for (const auto& claim : claims_)
    sys::Do(claim->Folder(), [&](os::SysError& e) { return os::FlushFolder(claim->Folder(), e); });
  committed_ = true;
  for (bool withdrawn : {true, false}) {
    for (auto& output : outputs_) {
      if (output->withdrawn_ == withdrawn) output->DropEarlier();
    }
  }
  claims_.clear();
}

}  // namespace rt
