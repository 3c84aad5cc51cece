// Copies of a few bytes, the usual size of a token or a record's field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine {

// Copies `count` bytes. A record's fields are mostly short, where a call to
// memcpy costs more than the copy: up to 32 bytes are moved with two loads and
// two stores that overlap, touching no byte outside either range.
inline void CopyBytes(char* to, const char* from, std::size_t count) {
  auto move = [&](auto word) {
    constexpr std::size_t kWord = sizeof word;
    auto last = word;
    std::memcpy(&word, from, kWord);
    std::memcpy(&last, from + count - kWord, kWord);
    std::memcpy(to, &word, kWord);
    std::memcpy(to + count - kWord, &last, kWord);
  };
  struct Bytes16 {
    char bytes[16];
  };
  if (count > 32) {
    std::memcpy(to, from, count);
  } else if (count >= 16) {
    move(Bytes16{});
  } else if (count >= 8) {
    move(std::uint64_t{});
  } else if (count >= 4) {
    move(std::uint32_t{});
  } else if (count > 0) {
    to[0] = from[0];
    to[count / 2] = from[count / 2];
    to[count - 1] = from[count - 1];
  }
}

}  // namespace engine
