#include "runtime/syscall.h"

#include "runtime/error.h"

namespace rt::sys {

void Raise(const os::SysError& error, const std::string& path) {
  auto with_reason = [&](std::string_view kind) {
    return std::string(kind) + ": " + path + " (" + error.reason + ")";
  };
  switch (error.failure) {
    case os::Failure::NotFound:
      throw RuntimeError(ErrorNumber::FileNotFound, "File not found: " + path);
    case os::Failure::PathNotFound:
      throw RuntimeError(ErrorNumber::PathNotFound, with_reason("Path not found"));
    case os::Failure::AccessDenied:
      throw RuntimeError(ErrorNumber::PermissionDenied, with_reason("Permission denied"));
    case os::Failure::NoSpace:
      throw RuntimeError(ErrorNumber::DiskFull, with_reason("Disk full"));
    case os::Failure::IoError:
      throw RuntimeError(ErrorNumber::DeviceIoError, with_reason("Device I/O error"));
    case os::Failure::IsFolder:
      throw RuntimeError(ErrorNumber::PathFileAccessError,
                         "Path/File access error: " + path + " is a folder, not a file");
    case os::Failure::NotAFile:
      throw RuntimeError(
          ErrorNumber::PathFileAccessError,
          "Path/File access error: " + path + " is not a file (" + error.reason + ")");
    case os::Failure::Exists:
    case os::Failure::Unsupported:
    case os::Failure::Other:
      break;
  }
  throw RuntimeError(ErrorNumber::PathFileAccessError, with_reason("Path/File access error"));
}

void Close(os::Handle handle, const std::string& path) {
  os::SysError error;
  if (!CheckedAlwaysMade(error, [&](os::SysError& e) { return os::Close(handle, e); }))
    Raise(error, path);
}

void CloseQuietly(os::Handle handle) noexcept {
  os::SysError ignored;
  CheckedAlwaysMade(ignored, [&](os::SysError& e) { return os::Close(handle, e); });
}

}  // namespace rt::sys
