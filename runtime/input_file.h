// A file read from its start to its end, as the run reads in.txt and Symbols.txt.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "runtime/os.h"

namespace rt {

// Refuses at once, as the error naming `path`, an input that is neither a
// file nor a folder (a FIFO, a device, a socket): reading it could wait or
// go on for ever. A missing one is reported when it is opened.
void CheckNotSpecial(const std::string& path);

class InputFile {
 public:
  // Opens the file; a missing one is the file-not-found error, and anything
  // but a file is refused.
  explicit InputFile(std::string path);
  // An optional input: opened where `path` names a file, none where it names nothing.
  static std::optional<InputFile> IfPresent(std::string path);
  ~InputFile();
  InputFile(InputFile&& other) noexcept
      : path_(std::move(other.path_)), handle_(other.handle_), open_(other.open_) {
    other.open_ = false;
  }
  InputFile& operator=(InputFile&&) = delete;

  const std::string& Path() const { return path_; }
  // Fills at most `size` bytes and says how many; 0 at the end of the file,
  // which is closed then.
  std::size_t Read(char* to, std::size_t size);

 private:
  InputFile(std::string path, os::Handle handle)
      : path_(std::move(path)), handle_(handle), open_(true) {}

  std::string path_;
  os::Handle handle_ = 0;
  bool open_ = false;
};

}  // namespace rt
