// What the run reads and where its results go: the engine knows files only
// as these, so each front end plugs in its own (a file on the disk, the
// page's streams).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace engine {

// A file's bytes, in order.
struct ByteSource {
  // The file's path, as an error names it.
  std::string name;
  // Fills at most `size` bytes at `to` and says how many; 0 only at the end
  // of the file. A failure throws the runtime's error.
  std::function<std::size_t(char* to, std::size_t size)> read;
};

// Takes an output's bytes in order, in pieces of any size.
using ByteSink = std::function<void(std::string_view bytes)>;

// Shows a caption on the window's button.
using Progress = std::function<void(std::string_view caption)>;

}  // namespace engine
