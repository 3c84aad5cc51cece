#include "runtime/input_file.h"

#include "runtime/syscall.h"

namespace rt {

InputFile::InputFile(std::string path) : path_(std::move(path)) {
  sys::Do(path_, [&](os::SysError& error) { return os::OpenForReading(path_, handle_, error); });
  open_ = true;
}

// Only after a failure, which is the one reported.
InputFile::~InputFile() {
  os::SysError ignored;
  if (open_)
    sys::CheckedAlwaysMade(ignored, [&](os::SysError& error) { return os::Close(handle_, error); });
}

std::size_t InputFile::Read(char* to, std::size_t size) {
  std::size_t got = 0;
  sys::Do(path_, [&](os::SysError& error) { return os::Read(handle_, to, size, got, error); });
  if (got == 0) Close();
  return got;
}

void InputFile::Close() {
  open_ = false;
  os::SysError error;
  if (!sys::CheckedAlwaysMade(error, [&](os::SysError& e) { return os::Close(handle_, e); }))
    sys::Raise(error, path_);
}

}  // namespace rt
