#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "runtime/os.h"

namespace rt::os {
namespace {

Failure Classify(int code) {
  switch (code) {
    case ENOENT:
      return Failure::NotFound;
    case ENOTDIR:
      return Failure::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return Failure::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Failure::NoSpace;
    case EIO:
      return Failure::IoError;
    case EISDIR:
      return Failure::IsFolder;
    case EEXIST:
      return Failure::Exists;
    default:
      return Failure::Other;
  }
}

bool Fail(SysError& error, int code = errno) {
  error.failure = Classify(code);
  error.reason = std::strerror(code);
  return false;
}

int Fd(Handle handle) {
  return static_cast<int>(handle);
}

bool Unsupported(SysError& error, int code) {
  Fail(error, code);
  error.failure = Failure::Unsupported;
  return false;
}

// Calls `call` again for as long as a signal interrupts it.
template <class Call>
auto Retrying(Call&& call) {
  decltype(call()) result;
  do result = call();
  while (result < 0 && errno == EINTR);
  return result;
}

int OpenFile(const std::string& path, int flags) {
  return Retrying([&] { return ::open(path.c_str(), flags | O_CLOEXEC, 0666); });
}

// True when `fd` is still the file that `path` names itself (not through a link).
bool StillNamed(int fd, const std::string& path) {
  struct stat opened, named;
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Neither a file nor a folder: reading it could wait for ever (a FIFO, a
// terminal) or never end (/dev/zero).
bool IsSpecial(mode_t mode) {
  return !S_ISREG(mode) && !S_ISDIR(mode);
}

bool FailNotAFile(SysError& error, mode_t mode) {
  error.failure = Failure::NotAFile;
  error.reason = S_ISFIFO(mode)                   ? "it is a named pipe"
                 : S_ISSOCK(mode)                 ? "it is a socket"
                 : S_ISCHR(mode) || S_ISBLK(mode) ? "it is a device"
                                                  : "it is not a regular file";
  return false;
}

// A refused kind of file, or a folder: the failure for it; else true.
bool CheckOpenedKind(int fd, SysError& error) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return Fail(error);
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR);
  if (IsSpecial(info.st_mode)) return FailNotAFile(error, info.st_mode);
  return true;
}

std::string FolderOfPath(const std::string& path) {
  const std::size_t separator = path.find_last_of('/');
  if (separator == std::string::npos) return ".";
  return separator == 0 ? "/" : path.substr(0, separator);
}

bool ReadLink(const std::string& path, std::string& target, SysError& error) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return Fail(error);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      target.assign(buffer.data(), static_cast<std::size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  // Looked at before it is opened, since opening a device can act on it;
  // and opened without waiting, should it have become one since.
  if (!CheckNotSpecial(path, error)) return false;
  const int fd = OpenFile(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return Fail(error);
  const int flags = ::fcntl(fd, F_GETFL);
  if (!CheckOpenedKind(fd, error) ||
      ((flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) && !Fail(error))) {
    ::close(fd);
    return false;
  }
  handle = fd;
  return true;
}

bool CheckNotSpecial(const std::string& path, SysError& error) {
  struct stat info;
  // A name that cannot be looked at is reported when it is opened.
  if (::stat(path.c_str(), &info) != 0 || !IsSpecial(info.st_mode)) return true;
  return FailNotAFile(error, info.st_mode);
}

bool CreateNew(const std::string& path, const std::string& like, Handle& handle, SysError& error) {
  const int fd = OpenFile(path, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return Fail(error);
  struct stat earlier;
  int code = 0;
  if (::stat(like.c_str(), &earlier) != 0) {
    if (errno != ENOENT) code = errno;
  } else if (::fchmod(fd, earlier.st_mode & 07777) != 0) {
    code = errno;
  }
  if (code != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return Fail(error, code);
  }
  handle = fd;
  return true;
}

bool ResolveOutput(const std::string& path, std::string& target, SysError& error) {
  // As the system follows links: at most 40 of them.
  constexpr int kMostLinks = 40;
  target = path;
  struct stat info;
  for (int links = 0;; ++links) {
    if (::lstat(target.c_str(), &info) != 0) return errno == ENOENT || Fail(error);
    if (!S_ISLNK(info.st_mode)) break;
    if (links == kMostLinks) return Fail(error, ELOOP);
    std::string next;
    if (!ReadLink(target, next, error)) return false;
    target = next.starts_with('/') ? next : FolderOfPath(target) + "/" + next;
  }
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR);
  return ::access(target.c_str(), W_OK) == 0 || Fail(error);
}

bool SameFile(Handle handle, const std::string& path, bool& same, SysError& error) {
  struct stat opened, named;
  if (::fstat(Fd(handle), &opened) != 0) return Fail(error);
  if (::lstat(path.c_str(), &named) != 0) {
    same = false;
    return errno == ENOENT || Fail(error);
  }
  same = opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
  return true;
}

bool Read(Handle handle, char* buffer, std::size_t size, std::size_t& got, SysError& error) {
  const ssize_t n = Retrying([&] { return ::read(Fd(handle), buffer, size); });
  if (n < 0) return Fail(error);
  got = static_cast<std::size_t>(n);
  return true;
}

bool Write(Handle handle, const char* data, std::size_t size, std::size_t& written,
           SysError& error) {
  const ssize_t n = Retrying([&] { return ::write(Fd(handle), data, size); });
  if (n < 0) return Fail(error);
  if (n == 0 && size > 0) return Fail(error, ENOSPC);
  written = static_cast<std::size_t>(n);
  return true;
}

bool FlushToDisk(Handle handle, SysError& error) {
  return ::fsync(Fd(handle)) == 0 || Fail(error);
}

bool StartWriteBack(Handle handle, SysError& error) {
  // Where the system or the file system cannot start write-back early, the
  // flush at the end does it all.
#ifdef __linux__
  if (::sync_file_range(Fd(handle), 0, 0, SYNC_FILE_RANGE_WRITE) == 0) return true;
  return errno == EINVAL || errno == ENOSYS || errno == ESPIPE || errno == EOPNOTSUPP ||
         Fail(error);
#else
  (void)handle;
  (void)error;
  return true;
#endif
}

bool Close(Handle handle, SysError& error) {
  // The descriptor is gone after close even when it reports an error, so no retry.
  return ::close(Fd(handle)) == 0 || Fail(error);
}

bool ReplaceFile(const std::string& from, const std::string& to, SysError& error) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Fail(error);
}

bool MoveToFreeName(const std::string& from, const std::string& to, SysError& error) {
  // Each way that the system or the file system may lack gives way to the
  // next; the last, a plain move, reports any real failure.
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return Fail(error);
#endif
  // A second name, then the first one removed: link() never replaces a name.
  if (::link(from.c_str(), to.c_str()) == 0) return ::unlink(from.c_str()) == 0 || Fail(error);
  if (errno == EEXIST) return Fail(error);
  struct stat info;
  if (::stat(to.c_str(), &info) == 0) return Fail(error, EEXIST);
  return ReplaceFile(from, to, error);
}

bool ExchangeFiles(const std::string& a, const std::string& b, SysError& error) {
#ifdef RENAME_EXCHANGE
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  const int code = errno;
  if (code == EINVAL || code == ENOSYS || code == ENOTSUP) return Unsupported(error, code);
  return Fail(error, code);
#else
  (void)a;
  (void)b;
  return Unsupported(error, ENOSYS);
#endif
}

bool LinkFile(const std::string& existing, const std::string& link, SysError& error) {
  if (::link(existing.c_str(), link.c_str()) == 0) return true;
  int code = errno;
  // exFAT and FAT answer EPERM, as does a kernel that keeps users from linking
  // others' files; either way the file cannot be kept by a second name.
  if (code == EPERM || code == ENOTSUP || code == ENOSYS || code == EXDEV || code == EMLINK)
    return Unsupported(error, code);
  return Fail(error, code);
}

bool RemoveFile(const std::string& path, SysError& error) {
  return ::unlink(path.c_str()) == 0 || Fail(error);
}

bool FlushFolder(const std::string& folder, SysError& error) {
  int fd = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
  int code = errno;
  ::close(fd);
  return ok || Fail(error, code);
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, SysError& error) {
  names.clear();
  DIR* listing = ::opendir(folder.empty() ? "/" : folder.c_str());
  if (!listing) return Fail(error);
  errno = 0;
  while (const dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  int code = errno;
  ::closedir(listing);
  return code == 0 || Fail(error, code);
}

bool LockFolder(const std::string& path, Handle& handle, bool& taken, SysError& error) {
  for (;;) {
    const int fd = OpenFile(path, O_RDWR | O_CREAT | O_NOFOLLOW);
    if (fd < 0) return Fail(error);
    if (!CheckOpenedKind(fd, error)) {
      ::close(fd);
      return false;
    }
    // A lock on the whole file, held by the open file itself (not the
    // process), so two runs in one process exclude each other too; NFS
    // passes it on to the server.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (Retrying([&] { return ::fcntl(fd, F_OFD_SETLK, &lock); }) != 0) {
      const int code = errno;
      // A file system without locks (some network shares, node's file
      // system under WebAssembly): the file is held all the same, and runs
      // in the folder take turns by themselves, as one user's runs do.
      if (code == ENOLCK || code == EOPNOTSUPP || code == EINVAL || code == ENOSYS) {
        handle = fd;
        taken = true;
        return true;
      }
      ::close(fd);
      if (code == EAGAIN || code == EACCES) {
        taken = false;
        return true;
      }
      return Fail(error, code);
    }
    // The run before removed the file after this one opened it: lock the next one.
    if (StillNamed(fd, path)) {
      handle = fd;
      taken = true;
      return true;
    }
    ::close(fd);
  }
}

bool UnlockFolder(const std::string& path, Handle handle, SysError& error) {
  // Removed while still locked, so that a run waiting for it locks a new
  // file; but only while it is this run's own: a lock that another run put
  // in its place is that run's.
  const bool removed = !StillNamed(Fd(handle), path) || ::unlink(path.c_str()) == 0;
  const int code = errno;
  ::close(Fd(handle));
  return removed || Fail(error, code);
}

void PauseBriefly() {
  const timespec pause{0, 100'000'000};
  ::nanosleep(&pause, nullptr);
}

bool ExecutablePath(std::string& path, SysError& error) {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return Fail(error);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      path.assign(buffer.data(), static_cast<std::size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace rt::os
