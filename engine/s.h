// The program's string module: splitting text at a delimiter.
// Both return a part of `Text` itself, so splitting a line token by token
// never copies the rest of the line.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace s {

inline std::uint64_t LittleEndian(std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(word);
  return word;
}

// The eight bytes at `bytes` as one word, the first byte lowest, on any machine.
inline std::uint64_t LoadWord(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return LittleEndian(word);
}

// The part of Text before the first Delimiter, or the whole of Text when it has none.
inline std::string_view StringBefore(std::string_view Text, std::string_view Delimiter) {
  std::size_t at = Text.find(Delimiter);
  return at == std::string_view::npos ? Text : Text.substr(0, at);
}

// The part of Text after the first Delimiter, or empty when it has none.
inline std::string_view StringAfter(std::string_view Text, std::string_view Delimiter) {
  std::size_t at = Text.find(Delimiter);
  return at == std::string_view::npos ? std::string_view() : Text.substr(at + Delimiter.size());
}

}  // namespace s
