#include "runtime/input_file.h"

#include "runtime/syscall.h"

namespace rt {

void CheckNotSpecial(const std::string& path) {
  sys::Do(path, [&](os::SysError& error) { return os::CheckNotSpecial(path, error); });
}

InputFile::InputFile(std::string path) : path_(std::move(path)) {
  sys::Do(path_, [&](os::SysError& error) { return os::OpenForReading(path_, handle_, error); });
  open_ = true;
}

std::optional<InputFile> InputFile::IfPresent(std::string path) {
  os::Handle handle = 0;
  os::SysError error;
  if (sys::Checked(error, [&](os::SysError& e) { return os::OpenForReading(path, handle, e); }))
    return InputFile(std::move(path), handle);
  if (error.failure == os::Failure::NotFound) return std::nullopt;
  sys::Raise(error, path);
}

// Only after a failure, which is the one reported.
InputFile::~InputFile() {
  if (open_) sys::CloseQuietly(handle_);
}

std::size_t InputFile::Read(char* to, std::size_t size) {
  std::size_t got = 0;
  sys::Do(path_, [&](os::SysError& error) { return os::Read(handle_, to, size, got, error); });
  if (got == 0) {
    open_ = false;
    sys::Close(handle_, path_);
  }
  return got;
}

}  // namespace rt
