// The file system as the platform gives it. One backend per platform
// (os_posix.cpp, os_win32.cpp, os_web.cpp); nothing above this header knows which.
// Paths are UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rt::os {

// Why a system call failed, in the terms the program reports to the user.
enum class Failure {
  NotFound,
  PathNotFound,
  AccessDenied,
  NoSpace,
  IoError,
  IsFolder,
  NotAFile,  // a FIFO, a device or a socket, which the program never reads
  Exists,
  Unsupported,  // the file system cannot do what was asked
  Other
};

struct SysError {
  Failure failure = Failure::Other;
  std::string reason;  // the system's own words
};

using Handle = std::intptr_t;

// Each call returns false on failure and then fills `error`.
// Opens a file; anything else that the name holds is refused at once,
// without waiting for it (a FIFO with no writer would wait for ever).
bool OpenForReading(const std::string& path, Handle& handle, SysError& error);
// Fails with Failure::NotAFile when `path` names something that is neither a
// file nor a folder; a name not taken is fine.
bool CheckNotSpecial(const std::string& path, SysError& error);
// Creates a new file, failing with Failure::Exists when the name is taken.
// It gets the permissions (on Windows, the attributes) of the file `like`
// names, where there is one.
bool CreateNew(const std::string& path, const std::string& like, Handle& handle, SysError& error);
// Where an output named `path` is written: the file at the end of its
// symbolic links (`path` itself when it is none). Fails when an output may
// not replace what that names: a folder, or a file the user may not write. A
// name not taken yet is fine.
bool ResolveOutput(const std::string& path, std::string& target, SysError& error);
// Whether `path` still names the file open as `handle`.
bool SameFile(Handle handle, const std::string& path, bool& same, SysError& error);
// `got` is 0 at the end of the file.
bool Read(Handle handle, char* buffer, std::size_t size, std::size_t& got, SysError& error);
// May write fewer bytes than asked; `written` says how many.
bool Write(Handle handle, const char* data, std::size_t size, std::size_t& written,
           SysError& error);
bool FlushToDisk(Handle handle, SysError& error);
// Starts writing the data written so far to the disk, without waiting for it,
// so that the flush at the end has little left to do.
bool StartWriteBack(Handle handle, SysError& error);
bool Close(Handle handle, SysError& error);
// Moves `from` over `to` in one step: a reader sees the old file or the new one.
bool ReplaceFile(const std::string& from, const std::string& to, SysError& error);
// Moves `from` to `to` only where `to` names nothing yet: Failure::Exists otherwise.
bool MoveToFreeName(const std::string& from, const std::string& to, SysError& error);
// Swaps the contents of two existing names in one step: afterwards `a` names
// what `b` named and `b` what `a` named. Failure::NotFound when either is
// missing; Failure::Unsupported on a file system that cannot swap names.
bool ExchangeFiles(const std::string& a, const std::string& b, SysError& error);
// Gives the file `existing` a second name, `link`. Failure::Unsupported on a
// file system without hard links (FAT, exFAT) or one that refuses this link.
bool LinkFile(const std::string& existing, const std::string& link, SysError& error);
bool RemoveFile(const std::string& path, SysError& error);
// Makes the folder's entries (a rename just done) durable.
bool FlushFolder(const std::string& folder, SysError& error);
// The names of the folder's entries, without "." and "..".
bool ListFolder(const std::string& folder, std::vector<std::string>& names, SysError& error);

// The lock a run holds on a folder it writes outputs to, for the whole run,
// in the file `path`, so that all the program's other files in the folder are
// dead runs' leftovers. `taken` is false while another run holds it; the
// caller tries again. On a file system without locks it only holds the file.
// A symbolic link at `path` is refused, never followed.
bool LockFolder(const std::string& path, Handle& handle, bool& taken, SysError& error);
// Removes the lock file and lets the lock go.
bool UnlockFolder(const std::string& path, Handle handle, SysError& error);

// Waits a moment before something is tried again.
void PauseBriefly();

// The full path of the running executable (the page's program has none).
bool ExecutablePath(std::string& path, SysError& error);

}  // namespace rt::os
