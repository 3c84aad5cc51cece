#include "runtime/files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/bytes.h"
#include "runtime/error.h"
#include "runtime/os.h"
#include "runtime/syscall.h"

namespace rt {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// The disk writes a large output while the run goes on, not all in the final flush.
constexpr std::size_t kWriteBackEvery = 1024 * 1024;

[[noreturn]] void Raise(const os::SysError& error, const std::string& path) {
  switch (error.failure) {
    case os::Failure::NotFound:
      throw RuntimeError(ErrorNumber::FileNotFound, "File not found: " + path);
    case os::Failure::PathNotFound:
      throw RuntimeError(ErrorNumber::PathNotFound,
                         "Path not found: " + path + " (" + error.reason + ")");
    case os::Failure::AccessDenied:
      throw RuntimeError(ErrorNumber::PermissionDenied,
                         "Permission denied: " + path + " (" + error.reason + ")");
    case os::Failure::NoSpace:
      throw RuntimeError(ErrorNumber::DiskFull, "Disk full: " + path + " (" + error.reason + ")");
    case os::Failure::IoError:
      throw RuntimeError(ErrorNumber::DeviceIoError,
                         "Device I/O error: " + path + " (" + error.reason + ")");
    case os::Failure::IsFolder:
      throw RuntimeError(ErrorNumber::PathFileAccessError,
                         "Path/File access error: " + path + " is a folder, not a file");
    case os::Failure::Exists:
    case os::Failure::Unsupported:
    case os::Failure::Other:
      break;
  }
  throw RuntimeError(ErrorNumber::PathFileAccessError,
                     "Path/File access error: " + path + " (" + error.reason + ")");
}

// Copies `count` bytes. A record's fields are mostly short, where a call to
// memcpy costs more than the copy: up to 32 bytes are moved with two loads and
// two stores that overlap, touching no byte outside either range.
inline void CopyBytes(char* to, const char* from, std::size_t count) {
  auto move = [&](auto word) {
    constexpr std::size_t kSize = sizeof word;
    auto last = word;
    std::memcpy(&word, from, kSize);
    std::memcpy(&last, from + count - kSize, kSize);
    std::memcpy(to, &word, kSize);
    std::memcpy(to + count - kSize, &last, kSize);
  };
  struct Bytes16 {
    char bytes[16];
  };
  if (count > 32) {
    std::memcpy(to, from, count);
  } else if (count >= 16) {
    move(Bytes16{});
  } else if (count >= 8) {
    move(std::uint64_t{});
  } else if (count >= 4) {
    move(std::uint32_t{});
  } else if (count > 0) {
    to[0] = from[0];
    to[count / 2] = from[count / 2];
    to[count - 1] = from[count - 1];
  }
}

std::string FolderOf(const std::string& path) {
  std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

// The files a run keeps beside its outputs all start with this, so that a
// later run can tell them apart, and none is named like an output.
constexpr std::string_view kOwnPrefix = "~FixInputFiles-";
constexpr std::string_view kLockEnd = ".lock";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::string_view kAsideEnd = ".old";

std::string FileNameOf(const std::string& path) {
  std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// A leftover's name: the run it belongs to, "<process>-<number>", and what follows.
struct LeftoverName {
  std::string run;
  std::string_view rest;
};

bool ParseLeftover(std::string_view name, LeftoverName& parsed) {
  if (!name.starts_with(kOwnPrefix)) return false;
  std::string_view tail = name.substr(kOwnPrefix.size());
  auto digits_end = [&](std::size_t from) {
    while (from < tail.size() && tail[from] >= '0' && tail[from] <= '9') ++from;
    return from;
  };
  std::size_t process_end = digits_end(0);
  if (process_end == 0 || process_end == tail.size() || tail[process_end] != '-') return false;
  std::size_t run_end = digits_end(process_end + 1);
  if (run_end == process_end + 1) return false;
  parsed.run = std::string(tail.substr(0, run_end));
  parsed.rest = tail.substr(run_end);
  return true;
}

// The output whose earlier version an aside file holds; empty for other leftovers.
std::string_view AsideOutputOf(std::string_view rest) {
  if (!rest.starts_with('.') || !rest.ends_with(kAsideEnd)) return {};
  return rest.substr(1, rest.size() - 1 - kAsideEnd.size());
}

}  // namespace

std::string ProgramFolder() {
  std::string folder;
  os::SysError error;
  if (!sys::Checked(error, [&] { return os::ProgramFolder(folder, error); })) {
    Raise(error, "the program's own folder");
  }
  return folder;
}

struct FileTable::InputFile {
  std::string path;
  os::Handle handle = 0;
  // Reads fill all but the last kReadAhead bytes, which are there to be read
  // past the end. A line longer than the buffer grows it.
  GrowingBytes buffer = GrowingBytes(kBufferSize + kReadAhead);
  std::size_t begin = 0;  // first byte not yet returned
  std::size_t end = 0;    // one past the last byte read
  bool eof = false;

  std::size_t Capacity() const { return buffer.Capacity() - kReadAhead; }

  // Moves the unread bytes to the front, grows the buffer when they fill it,
  // and reads once more. Returns how far the unread bytes moved.
  std::size_t Fill() {
    std::size_t shift = begin;
    if (shift > 0) {
      std::memmove(buffer.Data(), buffer.Data() + begin, end - begin);
      end -= begin;
      begin = 0;
    }
    if (end == Capacity()) buffer.Reserve(buffer.Capacity() + 1);
    std::size_t got = 0;
    os::SysError error;
    if (!sys::Checked(error, [&] {
          return os::Read(handle, buffer.Data() + end, Capacity() - end, got, error);
        })) {
      Raise(error, path);
    }
    if (got == 0) eof = true;
    end += got;
    // What is read past the end is the same at every run.
    std::memset(buffer.Data() + end, 0, kReadAhead);
    return shift;
  }

  void SkipByteOrderMark() {
    while (end < 3 && !eof) Fill();
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.Data());
    if (end >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
      throw RuntimeError(ErrorNumber::BadFileMode,
                         "Bad file mode: " + path +
                             " is saved as UTF-16 text, which this program cannot read. "
                             "Save it as UTF-8 and run the program again.");
    }
    if (end >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) begin = 3;
  }

  bool AtEnd() {
    if (begin < end) return false;
    if (!eof) Fill();
    return begin == end;
  }

  std::span<char> InHand() {
    AtEnd();
    return {buffer.Data() + begin, end - begin};
  }

  std::span<char> ReadMore() {
    if (!eof) Fill();
    return {buffer.Data() + begin, end - begin};
  }

  std::string_view ReadLine() {
    std::size_t scan = begin;
    for (;;) {
      const char* base = buffer.Data();
      std::size_t unscanned = end - scan;
      const void* lf = std::memchr(base + scan, '\n', unscanned);
      std::size_t limit =
          lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - (base + scan)) : unscanned;
      const void* cr = std::memchr(base + scan, '\r', limit);
      const char* stop = static_cast<const char*>(cr ? cr : lf);
      if (stop) {
        std::size_t at = static_cast<std::size_t>(stop - base);
        if (*stop == '\r' && at + 1 == end && !eof) {
          // A CR at the end of the bytes in hand: an LF may follow in the next read.
          scan = at - Fill();
          continue;
        }
        std::size_t next = at + 1;
        if (*stop == '\r' && next < end && base[next] == '\n') ++next;
        std::string_view line(base + begin, at - begin);
        begin = next;
        return line;
      }
      if (eof) {
        if (begin == end)
          throw RuntimeError(ErrorNumber::InputPastEndOfFile, "Input past end of file: " + path);
        std::string_view line(base + begin, end - begin);
        begin = end;
        return line;
      }
      scan = end - Fill();
    }
  }

  void Close() {
    os::SysError error;
    if (!sys::CheckedAlwaysMade(error, [&] { return os::Close(handle, error); }))
      Raise(error, path);
  }
};

// A folder this run writes outputs to. Its lock, held for the whole run,
// tells other runs that the files named after this run are in use.
struct FileTable::RunFolder {
  std::string folder;
  std::string run;  // "<process>-<number>", unique among the runs alive in the folder
  os::Handle lock = 0;
  int temporaries = 0;

  std::string Named(std::string_view run_name, std::initializer_list<std::string_view> rest) const {
    std::string path = folder;
    path += '/';
    path += kOwnPrefix;
    path += run_name;
    for (std::string_view part : rest) path += part;
    return path;
  }
  std::string LockPath() const { return Named(run, {kLockEnd}); }
  std::string NextTemporaryPath() {
    return Named(run, {"-", std::to_string(++temporaries), kTemporaryEnd});
  }
  // Where the earlier version of an output waits while the new one takes its name.
  std::string AsidePath(const std::string& output) const {
    return Named(run, {".", FileNameOf(output), kAsideEnd});
  }

  // `output` names the file the user would look at in an error.
  void Claim(const std::string& output) {
    // The listing is housekeeping, like all that is done with it: it bypasses
    // the seam, and a folder that cannot be listed is only not cleared.
    os::SysError error;
    std::vector<std::string> names;
    if (!os::ListFolder(folder, names, error)) names.clear();
    // A run named like one whose leftovers are still here would take them for
    // its own: the process number may be an earlier run's.
    auto taken = [&](const std::string& candidate) {
      return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        LeftoverName parsed;
        return ParseLeftover(name, parsed) && parsed.run == candidate;
      });
    };
    for (int attempt = 0;; ++attempt) {
      run = std::to_string(os::ProcessId()) + "-" + std::to_string(attempt);
      if (taken(run)) continue;
      if (sys::Checked(error, [&] { return os::CreateRunLock(LockPath(), lock, error); })) break;
      if (error.failure != os::Failure::Exists || attempt >= 99 + static_cast<int>(names.size()))
        Raise(error, output);
    }
    ClearDeadRunsLeftovers(names);
  }

  // Removes what killed or cut runs left here; an earlier output that such a
  // run had moved aside, and not yet replaced, goes back under its name. This
  // is housekeeping, not the run's work: it bypasses the seam and ignores its
  // errors, and a file it cannot handle stays for the next run.
  void ClearDeadRunsLeftovers(const std::vector<std::string>& names) const noexcept {
    os::SysError ignored;
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;
    for (const std::string& name : names) {
      LeftoverName parsed;
      if (!ParseLeftover(name, parsed) || parsed.run == run) continue;
      auto it = std::find_if(runs.begin(), runs.end(),
                             [&](const auto& entry) { return entry.first == parsed.run; });
      if (it == runs.end()) it = runs.insert(runs.end(), {parsed.run, {}});
      if (parsed.rest != kLockEnd) it->second.push_back(name);
    }
    bool restored = false;
    for (const auto& [other_run, leftovers] : runs) {
      // A run creates its lock before any other file and removes it after
      // them all, so files without a lock are a dead run's.
      const std::string lock_path = Named(other_run, {kLockEnd});
      os::Handle dead_lock = 0;
      bool dead = true;
      bool locked = os::TakeDeadRunLock(lock_path, dead_lock, dead, ignored);
      if (locked ? !dead : ignored.failure != os::Failure::NotFound) continue;
      for (const std::string& name : leftovers) {
        LeftoverName parsed;
        ParseLeftover(name, parsed);
        const std::string path = folder + "/" + name;
        std::string_view output = AsideOutputOf(parsed.rest);
        // The earlier Windows build's file kept in the middle of a
        // replacement: which output it held is unknown, so it stays.
        if (output == "tmp") continue;
        if (!output.empty()) {
          // Cut between moving the earlier output aside and putting the new one in its place.
          if (os::MoveToFreeName(path, folder + "/" + std::string(output), ignored)) {
            restored = true;
            continue;
          }
          if (ignored.failure != os::Failure::Exists) continue;
        }
        os::RemoveFile(path, ignored);
      }
      if (locked) os::RemoveRunLock(lock_path, dead_lock, ignored);
    }
    if (restored) os::FlushFolder(folder, ignored);
  }

  // The run is over: the lock goes, and flushing the folder makes that and
  // the removals before it durable, so that no temporary file of the run
  // comes back after a power cut. Like all cleanup, it ignores its errors.
  void Release() noexcept {
    os::SysError ignored;
    os::RemoveRunLock(LockPath(), lock, ignored);
    os::FlushFolder(folder, ignored);
  }
};

struct FileTable::OutputFile {
  std::string path;
  std::string temp_path;
  std::string aside_path;
  os::Handle handle = 0;
  bool handle_open = false;
  bool temp_exists = false;
  // Where the new contents stand once moved into place.
  enum class Placed {
    No,
    OverNothing,  // there was no earlier file
    Exchanged,    // the earlier file waits under temp_path until the run succeeds
    Aside,        // the earlier file waits under aside_path until the run succeeds
  };
  Placed placed = Placed::No;
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
  std::size_t used = 0;
  std::size_t not_yet_on_disk = 0;  // bytes written since write-back last started

  void Create(RunFolder& run) {
    os::SysError error;
    aside_path = run.AsidePath(path);
    for (int attempt = 0;; ++attempt) {
      temp_path = run.NextTemporaryPath();
      if (sys::Checked(error, [&] { return os::CreateNew(temp_path, handle, error); })) break;
      if (error.failure != os::Failure::Exists || attempt == 99) Raise(error, path);
    }
    handle_open = temp_exists = true;
  }

  void WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
      std::size_t written = 0;
      os::SysError error;
      if (!sys::Checked(error, [&] { return os::Write(handle, data, size, written, error); }))
        Raise(error, path);
      data += written;
      size -= written;
      not_yet_on_disk += written;
    }
    if (not_yet_on_disk >= kWriteBackEvery) {
      os::SysError error;
      if (!sys::Checked(error, [&] { return os::StartWriteBack(handle, error); }))
        Raise(error, path);
      not_yet_on_disk = 0;
    }
  }

  void Append(std::string_view text) {
    if (used + text.size() > kBufferSize) {
      WriteAll(buffer.get(), used);
      used = 0;
      if (text.size() >= kBufferSize) return WriteAll(text.data(), text.size());
    }
    CopyBytes(buffer.get() + used, text.data(), text.size());
    used += text.size();
  }

  void EndRecord() {
    if (used + 2 > kBufferSize) {
      WriteAll(buffer.get(), used);
      used = 0;
    }
    buffer[used] = '\r';
    buffer[used + 1] = '\n';
    used += 2;
  }

  // The fields one after another, then CR LF; a record that fits in the
  // buffer, the usual case, takes one test for room.
  void Record(std::span<const std::string_view> fields) {
    std::size_t size = 2;
    for (std::string_view field : fields) size += field.size();
    if (used + size > kBufferSize) {
      for (std::string_view field : fields) Append(field);
      return EndRecord();
    }
    char* to = buffer.get() + used;
    for (std::string_view field : fields) {
      CopyBytes(to, field.data(), field.size());
      to += field.size();
    }
    to[0] = '\r';
    to[1] = '\n';
    used += size;
  }

  // Puts every byte on the disk and closes the temporary file.
  void Finish() {
    WriteAll(buffer.get(), used);
    used = 0;
    os::SysError error;
    if (!sys::Checked(error, [&] { return os::FlushToDisk(handle, error); })) Raise(error, path);
    handle_open = false;
    if (!sys::CheckedAlwaysMade(error, [&] { return os::Close(handle, error); }))
      Raise(error, path);
  }

  // Moves the new file into place, keeping the earlier file under another
  // name so that a failure after this (the other output's move, flushing the
  // folder) can still put it back. Best is one step that swaps the two names;
  // else the earlier file gets a second name before the new one takes its
  // place, so the name always holds a whole file; where the file system has
  // no hard links (FAT, exFAT), it is moved aside first, and for a moment the
  // name holds nothing (a later run puts it back if this one is cut there).
  void Replace() {
    os::SysError error;
    if (sys::CheckedNeeding(sys::Ability::Exchange, error,
                            [&] { return os::ExchangeFiles(temp_path, path, error); })) {
      placed = Placed::Exchanged;
      return;
    }
    if (error.failure == os::Failure::NotFound) return PlaceOverNothing();
    if (error.failure != os::Failure::Unsupported) Raise(error, path);
    if (!sys::CheckedNeeding(sys::Ability::Link, error,
                             [&] { return os::LinkFile(path, aside_path, error); })) {
      if (error.failure == os::Failure::NotFound) return PlaceOverNothing();
      if (error.failure != os::Failure::Unsupported) Raise(error, path);
      if (!sys::Checked(error, [&] { return os::ReplaceFile(path, aside_path, error); })) {
        if (error.failure == os::Failure::NotFound) return PlaceOverNothing();
        Raise(error, path);
      }
    }
    placed = Placed::Aside;
    if (!sys::Checked(error, [&] { return os::ReplaceFile(temp_path, path, error); }))
      Raise(error, path);
    temp_exists = false;
  }

  void PlaceOverNothing() {
    os::SysError error;
    if (!sys::Checked(error, [&] { return os::ReplaceFile(temp_path, path, error); }))
      Raise(error, path);
    temp_exists = false;
    placed = Placed::OverNothing;
  }

  // The run has succeeded: the earlier file kept for a failure goes. This is
  // cleanup past the point of success, so like Drop it bypasses the seam; one
  // that cannot be removed stays behind for the next run to clear.
  void Commit() noexcept {
    os::SysError ignored;
    if (placed == Placed::Exchanged) os::RemoveFile(temp_path, ignored);
    if (placed == Placed::Aside) os::RemoveFile(aside_path, ignored);
    temp_exists = false;
    placed = Placed::No;
  }

  // Cleanup after a failure bypasses the seam and ignores errors: the failure
  // being reported is the one that matters, and a fault that stopped the run
  // (a full disk) must not also keep the earlier file from being put back or
  // the temporary file from being removed.
  void Drop() noexcept {
    os::SysError ignored;
    if (handle_open) os::Close(handle, ignored);
    switch (placed) {
      case Placed::Exchanged:
        // The new contents become temporary again. Should that fail, the
        // temporary file holds the only copy of the earlier results: it
        // becomes the aside file, which the next run puts back where the
        // output's name is free.
        if (!os::ExchangeFiles(temp_path, path, ignored)) {
          os::ReplaceFile(temp_path, aside_path, ignored);
          temp_exists = false;
        }
        break;
      case Placed::Aside:
        // Over the new file, or into the empty name. Should that fail, the
        // aside file stays for the next run. Where it is a second name of the
        // file still in place, the move does nothing and the name is removed.
        if (os::ReplaceFile(aside_path, path, ignored)) os::RemoveFile(aside_path, ignored);
        break;
      case Placed::OverNothing:
        os::RemoveFile(path, ignored);
        break;
      case Placed::No:
        break;
    }
    if (temp_exists) os::RemoveFile(temp_path, ignored);
    handle_open = temp_exists = false;
    placed = Placed::No;
  }
};

struct FileTable::Slot {
  std::unique_ptr<InputFile> input;
  std::unique_ptr<OutputFile> output;
};

FileTable::FileTable() = default;

FileTable::~FileTable() {
  Discard();
}

FileTable::Slot& FileTable::Used(int number) {
  if (number < kFirstNumber || number > kLastNumber || !slots_[number]) {
    throw RuntimeError(ErrorNumber::BadFileNameOrNumber,
                       "Bad file name or number: file #" + std::to_string(number) + " is not open");
  }
  return *slots_[number];
}

void FileTable::Open(int number, OpenMode mode, const std::string& path) {
  if (number < kFirstNumber || number > kLastNumber) {
    throw RuntimeError(ErrorNumber::BadFileNameOrNumber,
                       "Bad file name or number: file #" + std::to_string(number));
  }
  if (slots_[number])
    throw RuntimeError(ErrorNumber::FileAlreadyOpen, "File already open: " + path);
  auto slot = std::make_unique<Slot>();
  os::SysError error;
  if (mode == OpenMode::Input) {
    auto file = std::make_unique<InputFile>();
    file->path = path;
    if (!sys::Checked(error, [&] { return os::OpenForReading(path, file->handle, error); }))
      Raise(error, path);
    slot->input = std::move(file);
    slots_[number] = std::move(slot);
    slots_[number]->input->SkipByteOrderMark();
  } else {
    auto file = std::make_unique<OutputFile>();
    file->path = path;
    if (!sys::Checked(error, [&] { return os::CheckReplaceable(path, error); })) Raise(error, path);
    RunFolder& run = Claimed(path);
    slot->output = std::move(file);
    slots_[number] = std::move(slot);
    slots_[number]->output->Create(run);
  }
}

FileTable::InputFile& FileTable::UsedForInput(int number) {
  Slot& slot = Used(number);
  if (!slot.input)
    throw RuntimeError(ErrorNumber::BadFileMode,
                       "Bad file mode: file #" + std::to_string(number) + " is open for output");
  return *slot.input;
}

FileTable::OutputFile& FileTable::UsedForOutput(int number) {
  Slot& slot = Used(number);
  if (!slot.output)
    throw RuntimeError(ErrorNumber::BadFileMode,
                       "Bad file mode: file #" + std::to_string(number) + " is open for input");
  return *slot.output;
}

bool FileTable::AtEnd(int number) {
  return UsedForInput(number).AtEnd();
}

std::string_view FileTable::ReadLine(int number) {
  return UsedForInput(number).ReadLine();
}

std::span<char> FileTable::InHand(int number) {
  return UsedForInput(number).InHand();
}

void FileTable::Skip(int number, std::size_t count) {
  InputFile& input = UsedForInput(number);
  if (count > input.end - input.begin) {
    throw RuntimeError(ErrorNumber::InputPastEndOfFile, "Input past end of file: " + input.path);
  }
  input.begin += count;
}

std::span<char> FileTable::ReadMore(int number) {
  return UsedForInput(number).ReadMore();
}

void FileTable::WriteRecord(int number, std::initializer_list<std::string_view> fields) {
  WriteRecord(number, std::span<const std::string_view>(fields.begin(), fields.size()));
}

void FileTable::WriteRecord(int number, std::span<const std::string_view> fields) {
  UsedForOutput(number).Record(fields);
}

void FileTable::WriteEachRecord(int number, std::span<const std::string_view> records) {
  OutputFile& output = UsedForOutput(number);
  for (const std::string_view& record : records) output.Record({&record, 1});
}

void FileTable::WriteText(int number, std::string_view text) {
  UsedForOutput(number).Append(text);
}

void FileTable::Close(int number) {
  Used(number);
  std::unique_ptr<Slot> slot = std::move(slots_[number]);
  if (slot->input) return slot->input->Close();
  try {
    CommitOutputs({slot->output.get()});
  } catch (...) {
    slot->output->Drop();
    ReleaseFoldersOnceNoOutputIsOpen();
    throw;
  }
  ReleaseFoldersOnceNoOutputIsOpen();
}

FileTable::RunFolder& FileTable::Claimed(const std::string& output) {
  std::string folder = FolderOf(output);
  for (const auto& run : run_folders_) {
    if (run->folder == folder) return *run;
  }
  auto run = std::make_unique<RunFolder>();
  run->folder = folder;
  run->Claim(output);
  run_folders_.push_back(std::move(run));
  return *run_folders_.back();
}

void FileTable::ReleaseFoldersOnceNoOutputIsOpen() noexcept {
  for (const auto& slot : slots_) {
    if (slot && slot->output) return;
  }
  for (const auto& run : run_folders_) run->Release();
  run_folders_.clear();
}

// Every output reaches the disk before any replaces its old file, and each
// earlier file is kept until the new ones are all in place and durable, so a
// failure anywhere here lets the caller put all the old files back. Only then
// do the earlier files go; the caller's release of the folders makes that
// durable too.
void FileTable::CommitOutputs(const std::vector<OutputFile*>& outputs) {
  for (OutputFile* output : outputs) output->Finish();
  for (OutputFile* output : outputs) output->Replace();
  std::vector<std::string> folders;
  for (OutputFile* output : outputs) {
    std::string folder = FolderOf(output->path);
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    os::SysError error;
    if (!sys::Checked(error, [&] { return os::FlushFolder(folder, error); })) Raise(error, folder);
    folders.push_back(folder);
  }
  for (OutputFile* output : outputs) output->Commit();
}

void FileTable::CloseAll() {
  try {
    std::vector<OutputFile*> outputs;
    for (int number = kFirstNumber; number <= kLastNumber; ++number) {
      if (!slots_[number]) continue;
      if (slots_[number]->input) {
        std::unique_ptr<Slot> slot = std::move(slots_[number]);
        slot->input->Close();
      } else {
        outputs.push_back(slots_[number]->output.get());
      }
    }
    CommitOutputs(outputs);
  } catch (...) {
    Discard();
    throw;
  }
  for (auto& slot : slots_) slot.reset();
  ReleaseFoldersOnceNoOutputIsOpen();
}

void FileTable::Discard() noexcept {
  for (auto& slot : slots_) {
    if (!slot) continue;
    if (slot->input) {
      os::SysError ignored;
      os::Close(slot->input->handle, ignored);
    } else {
      slot->output->Drop();
    }
    slot.reset();
  }
  ReleaseFoldersOnceNoOutputIsOpen();
}

}  // namespace rt
