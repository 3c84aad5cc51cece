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

struct FileTable::OutputFile {
  std::string path;
  std::string temp_path;
  os::Handle handle = 0;
  bool handle_open = false;
  bool temp_exists = false;
  // Where the new contents stand once moved into place.
  enum class Placed {
    No,
    OverNothing,  // there was no earlier file
    KeepingOld,   // the earlier file waits under temp_path until the run succeeds
    OverOld,      // the file system could not keep the earlier file
  };
  Placed placed = Placed::No;
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
  std::size_t used = 0;
  std::size_t not_yet_on_disk = 0;  // bytes written since write-back last started

  void Create() {
    os::SysError error;
    std::string folder = FolderOf(path);
    for (int attempt = 0;; ++attempt) {
      // Never named like an output file, so a stray one left by a crash is not mistaken for a
      // result.
      temp_path = folder + "/~FixInputFiles-" + std::to_string(os::ProcessId()) + "-" +
                  std::to_string(attempt) + ".tmp";
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

  // Moves the new file into place in one step. The earlier file is not
  // removed but swapped to the temporary name, so that a failure after this
  // (the other output's move, flushing the folder) can still put it back.
  void Replace() {
    os::SysError error;
    if (sys::Checked(error, [&] { return os::ExchangeFiles(temp_path, path, error); })) {
      placed = Placed::KeepingOld;
      return;
    }
    if (error.failure != os::Failure::NotFound && error.failure != os::Failure::Unsupported)
      Raise(error, path);
    bool may_have_old = error.failure == os::Failure::Unsupported;
    if (!sys::Checked(error, [&] { return os::ReplaceFile(temp_path, path, error); }))
      Raise(error, path);
    temp_exists = false;
    placed = may_have_old ? Placed::OverOld : Placed::OverNothing;
  }

  // The run has succeeded: the earlier file kept for a failure goes. This is
  // cleanup past the point of success, so like Drop it bypasses the seam; one
  // that cannot be removed stays as a temporary file, never named like an output.
  void Commit() noexcept {
    os::SysError ignored;
    if (placed == Placed::KeepingOld) os::RemoveFile(temp_path, ignored);
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
    bool restored = true;
    switch (placed) {
      case Placed::KeepingOld:
        // The new contents become temporary again. Should that fail, the
        // temporary file holds the only copy of the earlier results: keep it.
        if (!os::ExchangeFiles(temp_path, path, ignored)) temp_exists = false;
        break;
      case Placed::OverNothing:
        os::RemoveFile(path, ignored);
        break;
      case Placed::OverOld:
      case Placed::No:
        restored = false;
        break;
    }
    if (temp_exists) os::RemoveFile(temp_path, ignored);
    if (restored) os::FlushFolder(FolderOf(path), ignored);
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
    slot->output = std::move(file);
    slots_[number] = std::move(slot);
    slots_[number]->output->Create();
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

void FileTable::WriteRecords(int number, std::string_view records) {
  UsedForOutput(number).Append(records);
}

void FileTable::Close(int number) {
  Used(number);
  std::unique_ptr<Slot> slot = std::move(slots_[number]);
  if (slot->input) return slot->input->Close();
  try {
    CommitOutputs({slot->output.get()});
  } catch (...) {
    slot->output->Drop();
    throw;
  }
}

// Every output reaches the disk before any replaces its old file, and each
// earlier file is kept until the new ones are all in place and durable, so a
// failure anywhere here lets the caller put all the old files back.
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
}

}  // namespace rt
