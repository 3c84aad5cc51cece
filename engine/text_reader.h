// A text file read as the line model has it: a UTF-8 byte-order mark at its
// start is skipped, and a UTF-16 or UTF-32 one is refused, since those bytes cannot be
// read as lines. The bytes are read in 64 KiB blocks into one buffer, which
// grows only for a line longer than it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "engine/growing_bytes.h"
#include "engine/io.h"

namespace engine {

class TextReader {
 public:
  // Reads the start of the file; throws the bad-file-mode error for UTF-16 and UTF-32.
  explicit TextReader(ByteSource source, std::size_t block_size = 64 * 1024);

  // The bytes read and not yet dropped; kReadAhead bytes past their end may
  // be read too, whatever they hold. Valid until the next ReadMore.
  std::span<char> InHand() { return {buffer_.Data() + begin_, end_ - begin_}; }
  // Nothing follows the bytes in hand.
  bool AtEnd() const { return at_end_; }
  // Passes over the first `count` bytes in hand.
  void Drop(std::size_t count) { begin_ += count; }
  // Reads on after the bytes in hand, keeping them.
  void ReadMore();

  // The next line without its end, valid until the next call; false at the
  // end of the file. A last line without an end counts.
  bool NextLine(std::string_view& line);

 private:
  ByteSource source_;
  std::size_t block_size_;
  GrowingBytes buffer_;
  std::size_t begin_ = 0;  // the first byte in hand
  std::size_t end_ = 0;    // one past the last byte read
  bool at_end_ = false;
};

}  // namespace engine
