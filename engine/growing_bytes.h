// Bytes for text as long as a whole list may be.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace engine {

// A block of bytes that grows with realloc, by at least half: the new bytes
// are not cleared and, where the system can remap a large block's pages, the
// old ones are not copied, so text grown to any length has cost about its
// own bytes, and never two copies of itself. Where realloc must copy, as in
// the page's fixed memory, growing by half rather than doubling lets each
// new block fit where the blocks before it were freed.
class GrowingBytes {
 public:
  explicit GrowingBytes(std::size_t capacity = 0) { Reserve(capacity); }
  ~GrowingBytes() { std::free(bytes_); }
  GrowingBytes(const GrowingBytes&) = delete;
  GrowingBytes& operator=(const GrowingBytes&) = delete;

  char* Data() { return bytes_; }
  const char* Data() const { return bytes_; }
  std::size_t Capacity() const { return capacity_; }

  // Room for at least `size` bytes; those there are stay.
  void Reserve(std::size_t size) {
    if (size <= capacity_ && bytes_ != nullptr) return;
    const std::size_t grown_capacity = capacity_ + capacity_ / 2;
    const std::size_t capacity = size > grown_capacity ? size : grown_capacity;
    void* grown = std::realloc(bytes_, capacity == 0 ? 1 : capacity);
    if (grown == nullptr) throw std::bad_alloc();
    bytes_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }

 private:
  char* bytes_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace engine
