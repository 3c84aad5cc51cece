#include "engine/verbatim_lines.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/s.h"

namespace engine {
namespace {

constexpr std::size_t kBlock = 64;
static_assert(kVerbatimReadAhead >= kBlock, "the last block is read whole");

// Sixteen bytes compared at once; the compiler's vector extension makes this
// SSE2 on x86-64 and the matching instructions elsewhere.
typedef unsigned char Bytes16 __attribute__((vector_size(16)));

// One bit for each of 8 flag bytes (0xFF or 0), the first byte's lowest:
// each byte keeps a different bit, and the product adds them all into the top byte.
std::uint64_t GatherBits(std::uint64_t flags) {
  constexpr std::uint64_t kBitOfEachByte = 0x8040201008040201ull;
  constexpr std::uint64_t kSumIntoTopByte = 0x0101010101010101ull;
  return ((s::LittleEndian(flags) & kBitOfEachByte) * kSumIntoTopByte) >> 56;
}

std::uint64_t BitsOf(Bytes16 flags) {
  std::uint64_t halves[2];
  std::memcpy(halves, &flags, sizeof halves);
  return GatherBits(halves[0]) | GatherBits(halves[1]) << 8;
}

// Where, in 64 bytes of the list, tokens and lines end: a bit for each byte,
// the first byte's lowest.
struct Separators {
  std::uint64_t all;         // spaces and line ends, the LF of a CR LF left out
  std::uint64_t crlf;        // CRs that begin a CR LF
  std::uint64_t other_ends;  // lone CRs and LFs, and a last CR whose next byte is not read yet
};

// `valid` has a bit for each byte that is part of the list, `next_valid` one
// for each byte whose next byte is; `lf_carried` is 1 when the block before
// ended in the CR of a CR LF.
Separators FindSeparators(const char* bytes, std::uint64_t valid, std::uint64_t next_valid,
                          std::uint64_t lf_carried) {
  std::uint64_t spaces = 0, line_ends = 0, crlf = 0;
  for (std::size_t part = 0; part < kBlock / 16; ++part) {
    Bytes16 chunk, next;
    std::memcpy(&chunk, bytes + 16 * part, sizeof chunk);
    std::memcpy(&next, bytes + 16 * part + 1, sizeof next);
    const int shift = static_cast<int>(16 * part);
    spaces |= BitsOf(chunk == ' ') << shift;
    line_ends |= BitsOf((chunk == '\r') | (chunk == '\n')) << shift;
    crlf |= BitsOf((chunk == '\r') & (next == '\n')) << shift;
  }
  crlf &= next_valid;
  const std::uint64_t lf_of_crlf = crlf << 1 | lf_carried;
  return {(spaces | line_ends) & ~lf_of_crlf & valid, crlf,
          line_ends & ~crlf & ~lf_of_crlf & valid};
}

// The lowest `length` bytes of a word, for each length a packed key can have.
constexpr std::uint64_t kLowBytes[SymbolIndex::kMaxPackedLength + 1] = {
    0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF};

// The lowest `count` bits, count below 64.
std::uint64_t LowBits(std::size_t count) {
  return (std::uint64_t{1} << count) - 1;
}

// The `n`-th lowest set bit of `bits`, counting from 1; `bits` has at least n.
std::uint64_t NthLowestBit(std::uint64_t bits, int n) {
  for (int passed = 1; passed < n; ++passed) bits &= bits - 1;
  return bits & (~bits + 1);
}

// Counts the lines whose CR LF ends are the CRs in `crlf`, a block's mask,
// and moves the end of the run past the last of them.
void TakeLines(VerbatimLines& found, std::size_t block, std::uint64_t crlf) {
  if (crlf == 0) return;
  found.count += std::popcount(crlf);
  found.length = block + static_cast<std::size_t>(63 - std::countl_zero(crlf)) + 2;
}

std::uint64_t LoadWord(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return s::LittleEndian(word);
}

}  // namespace

VerbatimLines FindVerbatimLines(std::string_view text, int most,
                                const SymbolIndex::PackedProbe legal_symbols) {
  const char* const bytes = text.data();
  const std::size_t size = text.size();
  VerbatimLines found;
  std::size_t token = 0;         // where the token being looked for starts
  std::uint64_t lf_carried = 0;  // the block before ended in the CR of a CR LF
  if (most <= 0) return found;

  for (std::size_t block = 0; block < size; block += kBlock) {
    const std::size_t left = size - block;
    const std::uint64_t valid = left >= kBlock ? ~std::uint64_t{0} : LowBits(left);
    const std::uint64_t next_valid = left > kBlock ? valid : valid >> 1;
    const Separators here = FindSeparators(bytes + block, valid, next_valid, lf_carried);
    lf_carried = here.crlf >> 63;

    // Lines are counted a block at a time; a block holding the last line the
    // run may take, or a line end other than CR LF, is judged only up to there.
    std::uint64_t stop = here.other_ends;
    const int lines_left = most - found.count;
    if (std::popcount(here.crlf) >= lines_left) stop |= NthLowestBit(here.crlf, lines_left);
    stop &= ~stop + 1;
    const std::uint64_t judged = stop == 0 ? ~std::uint64_t{0} : stop | (stop - 1);

    // The hot loop: a lookup for each token, and nothing else that waits on it.
    for (std::uint64_t separators = here.all & judged; separators != 0;
         separators &= separators - 1) {
      const int bit = std::countr_zero(separators);
      const std::size_t at = block + static_cast<std::size_t>(bit);
      const std::size_t length = at - token;
      // Empty (a space at an end, a run of spaces, a blank line) or too long to pack.
      if (length - 1 >= SymbolIndex::kMaxPackedLength ||
          !legal_symbols.Contains(LoadWord(bytes + token) & kLowBytes[length],
                                  static_cast<std::uint32_t>(length))) {
        // The lines before this token's are verbatim.
        const std::uint64_t before = token > block ? LowBits(token - block) : 0;
        TakeLines(found, block, here.crlf & before);
        return found;
      }
      token = at + 1 + ((here.crlf >> bit) & 1);
    }

    TakeLines(found, block, here.crlf & judged);
    if (stop & here.other_ends) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(stop));
      // A CR at the end of the bytes in hand is not judged: its LF may come in the next read.
      if (at + 1 < size || bytes[at] == '\n') found.lone_end_line = at - found.length;
      return found;
    }
    if (stop != 0) return found;
  }
  return found;
}

}  // namespace engine
