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

}  // namespace

bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
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
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
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
  ssize_t n;
  do n = ::read(Fd(handle), buffer, size);
  while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(error);
  got = static_cast<std::size_t>(n);
  return true;
}

bool Write(Handle handle, const char* data, std::size_t size, std::size_t& written,
           SysError& error) {
  ssize_t n;
  do n = ::write(Fd(handle), data, size);
  while (n < 0 && errno == EINTR);
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

bool ExchangeFiles(const std::string& a, const std::string& b, SysError& error) {
#ifdef RENAME_EXCHANGE
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  int code = errno;
  if (code == EINVAL || code == ENOSYS || code == ENOTSUP) {
    error.failure = Failure::Unsupported;
    error.reason = std::strerror(code);
    return false;
  }
  return Fail(error, code);
#else
  (void)a;
  (void)b;
  error.failure = Failure::Unsupported;
  error.reason = "this system cannot swap two file names";
  return false;
#endif
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

bool ProgramFolder(std::string& folder, SysError& error) {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return Fail(error);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(n));
      folder = path.substr(0, path.rfind('/'));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

unsigned long ProcessId() {
  return static_cast<unsigned long>(::getpid());
}

}  // namespace rt::os
