// Where a line ends and where a token ends, for both files: the one
// statement of the line model, which the scan of the list and the reading of
// the inventory share. A line ends at CR, CR LF or LF, or at the end of the
// file; a token ends at a space or at the end of its line.
//
// The bytes are marked 64 at a time, a bit for each byte, the first byte's
// lowest; the compiler's vector extension makes the comparisons SSE2 on
// x86-64, SIMD128 in WebAssembly and the matching instructions elsewhere.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace engine {

inline constexpr std::size_t kBlock = 64;
// Bytes past the end of a text that marking it may read, whatever they hold.
inline constexpr std::size_t kReadAhead = kBlock;

inline std::uint64_t LittleEndian(std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(word);
  return word;
}

// The lowest `count` bits, count below 64.
inline std::uint64_t LowBits(std::size_t count) {
  return (std::uint64_t{1} << count) - 1;
}

struct BlockMarks {
  std::uint64_t separators = 0;  // spaces and line ends
  std::uint64_t line_ends = 0;   // CRs, and LFs but those of a CR LF
  std::uint64_t crlf = 0;        // the CR of each CR LF
};

namespace line_model_detail {

typedef unsigned char Bytes16 __attribute__((vector_size(16)));

// One bit for each of 8 flag bytes (0xFF or 0), the first byte's lowest:
// each byte keeps a different bit, and the product adds them all into the top byte.
inline std::uint64_t GatherBits(std::uint64_t flags) {
  constexpr std::uint64_t kBitOfEachByte = 0x8040201008040201ull;
  constexpr std::uint64_t kSumIntoTopByte = 0x0101010101010101ull;
  return ((LittleEndian(flags) & kBitOfEachByte) * kSumIntoTopByte) >> 56;
}

inline std::uint64_t BitsOf(Bytes16 flags) {
  std::uint64_t halves[2];
  std::memcpy(halves, &flags, sizeof halves);
  return GatherBits(halves[0]) | GatherBits(halves[1]) << 8;
}

}  // namespace line_model_detail

// A CR that ends the bytes in hand, with more to come, may be half of a CR
// LF: the bytes judged are those before it.
inline std::size_t JudgedBytes(const char* bytes, std::size_t size, bool at_end) {
  return !at_end && size > 0 && bytes[size - 1] == '\r' ? size - 1 : size;
}

// Marks the 64 bytes at `block` of a text of `size` bytes. Bytes from
// `judged` on are not marked; a CR is the first of a CR LF only when its next
// byte is in the text.
inline BlockMarks MarkBlock(const char* bytes, std::size_t size, std::size_t judged,
                            std::size_t block) {
  using line_model_detail::BitsOf;
  using line_model_detail::Bytes16;
  const std::size_t left = judged - block;
  const std::uint64_t valid = left >= kBlock ? ~std::uint64_t{0} : LowBits(left);
  const std::uint64_t next_known =
      size - block > kBlock ? ~std::uint64_t{0} : LowBits(size - block - 1);
  std::uint64_t spaces = 0, ends = 0, crlf = 0;
  for (std::size_t part = 0; part < kBlock / 16; ++part) {
    Bytes16 chunk, next;
    std::memcpy(&chunk, bytes + block + 16 * part, sizeof chunk);
    std::memcpy(&next, bytes + block + 16 * part + 1, sizeof next);
    const int shift = static_cast<int>(16 * part);
    const auto cr = chunk == '\r';
    spaces |= BitsOf(chunk == ' ') << shift;
    ends |= BitsOf(cr | (chunk == '\n')) << shift;
    crlf |= BitsOf(cr & (next == '\n')) << shift;
  }
  BlockMarks marks;
  marks.crlf = crlf & next_known & valid;
  marks.line_ends = ends & ~(marks.crlf << 1) & valid;
  marks.separators = (spaces & valid) | marks.line_ends;
  return marks;
}

}  // namespace engine
