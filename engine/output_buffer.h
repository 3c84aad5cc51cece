// An output's records, gathered into blocks before its sink takes them: a
// record costs a copy of its bytes, and the sink a call for every 64 KiB.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

#include "engine/copy_bytes.h"
#include "engine/io.h"

namespace engine {

class OutputBuffer {
 public:
  static constexpr std::size_t kSize = 64 * 1024;

  explicit OutputBuffer(ByteSink sink) : sink_(std::move(sink)) {}

  // The fields one after another, then CR LF.
  void Record(std::span<const std::string_view> fields);
  void Record(std::initializer_list<std::string_view> fields) {
    Record(std::span<const std::string_view>(fields.begin(), fields.size()));
  }
  // Bytes as they are: whole records, or the start of one that a later call ends.
  void Text(std::string_view text);
  // Hands what is gathered to the sink.
  void Flush();
  // Room for at least `size` bytes, to be written there and then taken with
  // Took; none where `size` is more than the buffer holds.
  char* Room(std::size_t size) {
    if (size > kSize) return nullptr;
    if (used_ + size > kSize) Flush();
    return buffer_.get() + used_;
  }
  // The bytes written into Room, up to `end`.
  void Took(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

 private:
  void EndRecord();

  ByteSink sink_;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kSize);
  std::size_t used_ = 0;
};

inline void OutputBuffer::Flush() {
  if (used_ == 0) return;
  sink_(std::string_view(buffer_.get(), used_));
  used_ = 0;
}

inline void OutputBuffer::Text(std::string_view text) {
  if (used_ + text.size() > kSize) {
    Flush();
    if (text.size() >= kSize) return sink_(text);
  }
  CopyBytes(buffer_.get() + used_, text.data(), text.size());
  used_ += text.size();
}

inline void OutputBuffer::EndRecord() {
  if (used_ + 2 > kSize) Flush();
  buffer_[used_] = '\r';
  buffer_[used_ + 1] = '\n';
  used_ += 2;
}

// A record that fits, the usual case, takes one test for room.
inline void OutputBuffer::Record(std::span<const std::string_view> fields) {
  std::size_t size = 2;
  for (std::string_view field : fields) size += field.size();
  if (used_ + size > kSize) {
    for (std::string_view field : fields) Text(field);
    return EndRecord();
  }
  char* to = buffer_.get() + used_;
  for (std::string_view field : fields) {
    CopyBytes(to, field.data(), field.size());
    to += field.size();
  }
  to[0] = '\r';
  to[1] = '\n';
  used_ += size;
}

}  // namespace engine
