#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// A lock on the whole file, held by the open file itself (not the process),
// so two runs in one process exclude each other too; NFS passes it on to the server.
bool LockWholeFile(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return Retrying([&] { return ::fcntl(fd, F_OFD_SETLKW, &lock); }) == 0;
}

// True when `fd` is still the file that `path` names.
bool StillNamed(int fd, const std::string& path) {
  struct stat opened, named;
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  const int fd = OpenFile(path, O_RDONLY);
  if (fd < 0) return Fail(error);
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    int code = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return Fail(error, code);
  }
  handle = fd;
  return true;
}

bool CreateNew(const std::string& path, Handle& handle, SysError& error) {
  const int fd = OpenFile(path, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return Fail(error);
  handle = fd;
  return true;
}

bool CheckReplaceable(const std::string& path, SysError& error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT || Fail(error);
  if (S_ISDIR(info.st_mode)) return Fail(error, EISDIR);
  return ::access(path.c_str(), W_OK) == 0 || Fail(error);
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

bool LockFolder(const std::string& path, Handle& handle, SysError& error) {
  for (;;) {
    const int fd = OpenFile(path, O_RDWR | O_CREAT);
    if (fd < 0) return Fail(error);
    if (!LockWholeFile(fd)) {
      const int code = errno;
      // A file system without locks (some network shares, node's file
      // system under WebAssembly): the file is held all the same, and runs
      // in the folder take turns by themselves, as one user's runs do.
      if (code == ENOLCK || code == EOPNOTSUPP || code == EINVAL || code == ENOSYS) {
        handle = fd;
        return true;
      }
      ::close(fd);
      return Fail(error, code);
    }
    // The run before removed the file while this one waited: lock the next one.
    if (StillNamed(fd, path)) {
      handle = fd;
      return true;
    }
    ::close(fd);
  }
}

bool UnlockFolder(const std::string& path, Handle handle, SysError& error) {
  // Removed while still locked, so that a run waiting for it locks a new file.
  const bool removed = ::unlink(path.c_str()) == 0;
  const int code = errno;
  ::close(Fd(handle));
  return removed || Fail(error, code);
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
