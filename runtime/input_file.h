// A file read from its start to its end, as the run reads in.txt and Symbols.txt.
#pragma once

#include <cstddef>
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
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& Path() const { return path_; }
  // Fills at most `size` bytes and says how many; 0 at the end of the file,
  // which is closed then.
  std::size_t Read(char* to, std::size_t size);

 private:
  std::string path_;
  os::Handle handle_ = 0;
  bool open_ = false;
};

}  // namespace rt
