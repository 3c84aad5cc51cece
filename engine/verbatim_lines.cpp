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
  std::uint64_t all;        // spaces and line ends
  std::uint64_t line_ends;  // CRs, and LFs but those of a CR LF
  std::uint64_t crlf;       // the CR of each CR LF
};

// `valid` has a bit for each byte to judge, `next_valid` one for each byte
// whose next byte is known; `lf_carried` is 1 when the block before ended in
// the CR of a CR LF.
Separators FindSeparators(const char* bytes, std::uint64_t valid, std::uint64_t next_valid,
                          std::uint64_t lf_carried) {
  std::uint64_t spaces = 0, ends = 0, crlf = 0;
  for (std::size_t part = 0; part < kBlock / 16; ++part) {
    Bytes16 chunk, next;
    std::memcpy(&chunk, bytes + 16 * part, sizeof chunk);
    std::memcpy(&next, bytes + 16 * part + 1, sizeof next);
    const int shift = static_cast<int>(16 * part);
    const auto cr = chunk == '\r';
    spaces |= BitsOf(chunk == ' ') << shift;
    ends |= BitsOf(cr | (chunk == '\n')) << shift;
    crlf |= BitsOf(cr & (next == '\n')) << shift;
  }
  crlf &= next_valid & valid;
  const std::uint64_t line_ends = ends & ~(crlf << 1 | lf_carried) & valid;
  return {(spaces & valid) | line_ends, line_ends, crlf};
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

// Counts the lines whose ends are the bits of `line_ends`, a block's mask,
// and moves the end of the run past the last of them.
void TakeLines(VerbatimLines& found, std::size_t block, std::uint64_t line_ends,
               std::uint64_t crlf) {
  if (line_ends == 0) return;
  found.count += std::popcount(line_ends);
  found.crlf_only = found.crlf_only && (line_ends & ~crlf) == 0;
  const int last = 63 - std::countl_zero(line_ends);
  found.length = block + static_cast<std::size_t>(last) + 1 + ((crlf >> last) & 1);
}

}  // namespace

VerbatimLines FindVerbatimLines(std::string_view text, int most,
                                const SymbolIndex::PackedProbe legal_symbols) {
  const char* const bytes = text.data();
  const std::size_t size = text.size();
  // A CR that ends the bytes in hand may be half of a CR LF: its line is not judged.
  const std::size_t judged_size = size > 0 && bytes[size - 1] == '\r' ? size - 1 : size;
  VerbatimLines found;
  std::size_t token = 0;         // where the token being looked for starts
  std::uint64_t lf_carried = 0;  // the block before ended in the CR of a CR LF
  if (most <= 0) return found;

  for (std::size_t block = 0; block < judged_size; block += kBlock) {
    const std::size_t left = judged_size - block;
    const std::uint64_t valid = left >= kBlock ? ~std::uint64_t{0} : LowBits(left);
    const std::uint64_t next_valid =
        size - block > kBlock ? ~std::uint64_t{0} : LowBits(size - block - 1);
    const Separators here = FindSeparators(bytes + block, valid, next_valid, lf_carried);
    lf_carried = here.crlf >> 63;

    // Lines are counted a block at a time; a block holding the last line the
    // run may take is judged only up to there.
    std::uint64_t judged = ~std::uint64_t{0};
    const int lines_left = most - found.count;
    if (std::popcount(here.line_ends) >= lines_left) {
      const std::uint64_t last = NthLowestBit(here.line_ends, lines_left);
      judged = last | (last - 1);
    }

    // The hot loop: a lookup for each token, and nothing else that waits on it.
    for (std::uint64_t separators = here.all & judged; separators != 0;
         separators &= separators - 1) {
      const int bit = std::countr_zero(separators);
      const std::size_t at = block + static_cast<std::size_t>(bit);
      const std::size_t length = at - token;
      // Empty (a space at an end, a run of spaces, a blank line) or too long to pack.
      if (length - 1 >= SymbolIndex::kMaxPackedLength ||
          !legal_symbols.Contains(s::LoadWord(bytes + token) & kLowBytes[length],
                                  static_cast<std::uint32_t>(length))) {
        // The lines before this token's are verbatim.
        const std::uint64_t before = token > block ? LowBits(token - block) : 0;
        TakeLines(found, block, here.line_ends & before, here.crlf);
        return found;
      }
      token = at + 1 + ((here.crlf >> bit) & 1);
    }

    TakeLines(found, block, here.line_ends & judged, here.crlf);
    if (found.count == most) return found;
    // A token that has run past this block too long to be legal ends the run:
    // there is no need to read on to its end.
    const std::size_t scanned = block + kBlock;
    if (token < scanned && scanned - token > SymbolIndex::kMaxPackedLength) return found;
  }
  return found;
}

}  // namespace engine
