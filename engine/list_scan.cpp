#include "engine/list_scan.h"

#include <bit>
#include <cstring>

#include "engine/copy_bytes.h"
#include "engine/text_reader.h"

namespace engine {
namespace {

static_assert(kReadAhead >= kBlock, "the last block is read whole");

// The eight bytes at `bytes` as one word, the first byte lowest, on any machine.
std::uint64_t LoadWord(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return LittleEndian(word);
}

// The bits set in `bits`. std::popcount is a library call on x86-64 CPUs
// without the instruction, which the program must still run on.
int CountBits(std::uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((bits * 0x0101010101010101ull) >> 56);
}

// The lowest `length` bytes of a word, for each length a packed key can have.
constexpr std::uint64_t kLowBytes[SymbolIndex::kMaxPackedLength + 1] = {
    0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF};

// Whether the token of 1 to kMaxPackedLength bytes at `token` is legal: one
// load is its key, which the text's read-ahead makes safe.
inline bool LegalShort(const SymbolIndex::PackedProbe legal_symbols, const char* bytes,
                       std::size_t token, std::size_t length) {
  return legal_symbols.Contains(LoadWord(bytes + token) & kLowBytes[length],
                                static_cast<std::uint32_t>(length));
}

// Where what follows the separator at `at`, bit `bit` of its block, starts:
// a CR of `crlf` takes its LF with it.
inline std::size_t After(std::size_t at, std::uint64_t crlf, int bit) {
  return at + 1 + (crlf >> bit & 1);
}

// Passes the short legal tokens ended by `separators`, bits of the block that
// starts at `block_start`, from the token that starts at `token_start`, and
// moves it on; returns the separators left, from the first that ends a token
// that is empty, too long to pack or not legal.
std::uint64_t PassLegalTokens(const char* bytes, std::size_t block_start, std::uint64_t separators,
                              std::uint64_t crlf, const SymbolIndex::PackedProbe legal_symbols,
                              std::size_t& token_start) {
  std::size_t token = token_start;
  while (separators != 0) {
    const int bit = std::countr_zero(separators);
    const std::size_t at = block_start + static_cast<std::size_t>(bit);
    const std::size_t length = at - token;
    if (length - 1 >= SymbolIndex::kMaxPackedLength ||
        !LegalShort(legal_symbols, bytes, token, length)) {
      break;
    }
    separators &= separators - 1;
    token = After(at, crlf, bit);
  }
  token_start = token;
  return separators;
}

}  // namespace

ListScan::ListScan(const SymbolInventory& symbols, std::size_t cleaned_part_size)
    : symbols_(symbols),
      legal_symbols_(symbols.LegalPackedSymbols()),
      cleaned_part_size_(cleaned_part_size),
      cleaned_(cleaned_part_size) {}

bool ListScan::LegalLong(const char* bytes, std::size_t token, std::size_t length) const {
  return symbols_.LegalSymbol(std::string_view(bytes + token, length));
}

void ListScan::StartRepair(std::size_t line, std::size_t token) {
  repairing_ = true;
  split_ = false;
  current_ = bad_ = line;
  current_size_ = bad_length_ = 0;
  joined_ = legal_joined_ = token > line;
  stretch_ = {line, token > line ? token - 1 : line, token > line};
}

// A token one space after the one before continues its stretch; any other
// starts a new one, and the stretches before it are done.
inline void ListScan::RepairToken(char* bytes, std::size_t token, std::size_t length, bool legal,
                                  LineSink& sink) {
  if (!joined_) {
    // The cleaned form takes its stretch from where it lies, before the line's moves over it.
    if (split_) AddLegalStretch(bytes, sink);
    PlaceStretch(bytes);
    stretch_ = {token, token, true};
  }
  if (!legal && !split_) Split(bytes, sink);
  stretch_.end = token + length;
  joined_ = true;
  if (!legal) {
    bad_ = token;
    bad_length_ = length;
    legal_joined_ = false;
    return;
  }
  if (split_ && !legal_joined_) {
    AddLegalStretch(bytes, sink);
    legal_stretch_ = {token, token, true};
  }
  if (split_) legal_stretch_.end = token + length;
  legal_joined_ = true;
}

// Every stretch but the first moves back over a run of spaces, so it never
// reaches bytes still to be read.
void ListScan::PlaceStretch(char* bytes) {
  if (!stretch_.open) return;
  stretch_.open = false;
  const std::size_t size = stretch_.end - stretch_.start;
  if (current_size_ == 0) {
    current_ = stretch_.start;
    current_size_ = size;
    return;
  }
  const std::size_t to = current_ + current_size_ + 1;
  bytes[to - 1] = ' ';
  std::memmove(bytes + to, bytes + stretch_.start, size);
  if (bad_length_ != 0 && bad_ >= stretch_.start) bad_ -= stretch_.start - to;
  current_size_ += 1 + size;
}

void ListScan::Split(const char* bytes, LineSink& sink) {
  split_ = true;
  cleaned_size_ = 0;
  cleaned_in_parts_ = false;
  AddCleaned(bytes + current_, current_size_, sink);
  legal_stretch_ = stretch_;
  legal_stretch_.open = stretch_.open && stretch_.end > stretch_.start;
}

inline void ListScan::AddLegalStretch(const char* bytes, LineSink& sink) {
  if (!legal_stretch_.open) return;
  legal_stretch_.open = false;
  if (cleaned_size_ != 0 || cleaned_in_parts_) AddCleaned(" ", 1, sink);
  AddCleaned(bytes + legal_stretch_.start, legal_stretch_.end - legal_stretch_.start, sink);
}

inline void ListScan::AddCleaned(const char* text, std::size_t size, LineSink& sink) {
  if (cleaned_size_ + size > cleaned_part_size_) {
    if (cleaned_size_ != 0) sink.CleanedPart(std::string_view(cleaned_.Data(), cleaned_size_));
    cleaned_size_ = 0;
    cleaned_in_parts_ = true;
    if (size > cleaned_part_size_) return sink.CleanedPart(std::string_view(text, size));
  }
  CopyBytes(cleaned_.Data() + cleaned_size_, text, size);
  cleaned_size_ += size;
}

RepairedLine ListScan::FinishRepair(char* bytes, LineSink& sink) {
  if (split_) AddLegalStretch(bytes, sink);
  PlaceStretch(bytes);
  repairing_ = false;
  RepairedLine line;
  line.CurrentLine = std::string_view(bytes + current_, current_size_);
  line.CleanedLine = split_ ? std::string_view(cleaned_.Data(), cleaned_size_) : line.CurrentLine;
  line.CleanedInParts = split_ && cleaned_in_parts_;
  line.BadSymbol = std::string_view(bytes + bad_, bad_length_);
  return line;
}

bool ListScan::Scan(std::span<char> text, bool at_end, LineSink& sink) {
  char* const bytes = text.data();
  const std::size_t size = text.size();
  const std::size_t judged = JudgedBytes(bytes, size, at_end);
  const SymbolIndex::PackedProbe legal_symbols = legal_symbols_;
  auto legal = [&](std::size_t token, std::size_t length) {
    return length <= SymbolIndex::kMaxPackedLength ? LegalShort(legal_symbols, bytes, token, length)
                                                   : LegalLong(bytes, token, length);
  };
  // The scan's state lives in locals while it runs, and in the scan between calls.
  Block block = block_;
  std::size_t block_start = block_start_;
  std::size_t token = token_;
  std::size_t line_start = line_start_;
  std::size_t clean_start = line_start;  // the clean lines not yet handed out
  int clean_lines = 0;
  std::uint64_t lone_ends = 0;  // of the clean lines, in the block in hand
  // Hands out the clean lines from clean_start to `end`.
  auto hand_out = [&](std::size_t end, bool end_record) {
    if (clean_lines == 0) return;
    CleanStretch stretch;
    stretch.lines = std::string_view(bytes + clean_start, end - clean_start);
    stretch.count = clean_lines;
    stretch.marked = bytes + block_start;
    stretch.lone_ends = lone_ends;
    stretch.end_record = end_record;
    sink.CleanLines(stretch);
    clean_lines = 0;
    lone_ends = 0;
  };
  auto stop = [&](bool finished) {
    hand_out(line_start, false);
    block_ = block;
    block_start_ = block_start;
    token_ = token;
    line_start_ = line_start;
    return finished;
  };

  for (;;) {
    std::size_t at;
    std::uint64_t line_end;
    std::size_t end_length;  // bytes of the line end: 2 for a CR LF, 0 for the end of the list
    bool looked_up = false;  // the token was looked up, as a short one, and is not legal
    if (block.separators != 0) {
      if (!repairing_) {
        // The hot loop, while lines are clean: a lookup for each short token,
        // and nothing else.
        const std::uint64_t separators =
            PassLegalTokens(bytes, block_start, block.separators, block.crlf, legal_symbols, token);
        const std::uint64_t passed_ends = block.line_ends & block.separators & ~separators;
        block.separators = separators;
        if (passed_ends != 0) {
          clean_lines += CountBits(passed_ends);
          lone_ends |= passed_ends & ~block.crlf;
          // The last line passed ends where the line in hand starts.
          const int last = 63 - std::countl_zero(passed_ends);
          line_start = After(block_start + static_cast<std::size_t>(last), block.crlf, last);
        }
        if (block.separators == 0) continue;
      } else if (token - line_start >= kBlock && joined_ && (legal_joined_ || !split_)) {
        // Legal tokens a single space after the last token, in the line being
        // worked, only lengthen its stretches: passed as a clean line's are.
        // Short lines, which would seldom pass more than a token, skip the try.
        const std::uint64_t ends = block.line_ends & block.separators;
        const std::uint64_t in_line = (ends & (0 - ends)) - 1;  // the bits before the first end
        const std::size_t from = token;
        const std::uint64_t left = PassLegalTokens(bytes, block_start, block.separators & in_line,
                                                   0, legal_symbols, token);
        looked_up = left != 0;
        if (token != from) {
          block.separators = left | (block.separators & ~in_line);
          stretch_.end = token - 1;
          if (split_) legal_stretch_.end = token - 1;
          legal_joined_ = true;
          if (block.separators == 0) continue;
        }
      }
      const int bit = std::countr_zero(block.separators);
      block.separators &= block.separators - 1;
      at = block_start + static_cast<std::size_t>(bit);
      line_end = block.line_ends >> bit & 1;
      end_length = After(at, block.crlf, bit) - at;
    } else if (next_block_ < judged) {
      // Lone ends are marked in the block in hand: its clean lines go first.
      if (lone_ends != 0) {
        hand_out(line_start, false);
        clean_start = line_start;
      }
      block_start = next_block_;
      next_block_ += kBlock;
      block = MarkBlock(bytes, size, judged, block_start);
      // The LF of a CR LF that ended the block before.
      if (token > block_start) block.separators &= ~std::uint64_t{1};
      continue;
    } else if (!at_end) {
      next_block_ = judged;
      return stop(false);
    } else if (line_start == size) {
      return stop(true);
    } else {
      // A last line without its end.
      at = size;
      line_end = 1;
      end_length = 0;
    }

    const std::size_t length = at - token;
    bool token_legal = false;
    if (!repairing_) {
      if (length != 0 && legal(token, length)) {
        if (line_end == 0) {
          token = at + 1;
          continue;
        }
        ++clean_lines;
        line_start = token = at + end_length;
        if (end_length == 1) {
          lone_ends |= std::uint64_t{1} << (at - block_start);
        } else if (end_length == 0) {
          hand_out(at, true);  // its record needs a CR LF the list does not have
          clean_start = line_start;
        }
        continue;
      }
      // The clean lines before go first: the line's cleaned form may be
      // handed out in parts before it ends.
      hand_out(line_start, false);
      clean_start = line_start;
      StartRepair(line_start, token);
    } else if (length != 0) {
      token_legal = !(looked_up && length <= SymbolIndex::kMaxPackedLength) && legal(token, length);
    }
    if (length != 0) {
      RepairToken(bytes, token, length, token_legal, sink);
    } else {
      joined_ = legal_joined_ = false;  // a space at either end, or a run of them
    }
    if (line_end == 0) {
      token = at + 1;
      continue;
    }
    hand_out(line_start, false);
    line_start = token = clean_start = at + end_length;
    sink.RepairedLine(FinishRepair(bytes, sink));
  }
}

void ListScan::Clean(TextReader& list, LineSink& sink) {
  while (!Scan(list.InHand(), list.AtEnd(), sink)) {
    list.Drop(Passed());
    DropPassed();
    list.ReadMore();
  }
}

void ListScan::DropPassed() {
  const std::size_t dropped = line_start_;
  if (repairing_) {
    for (std::size_t* position : {&current_, &stretch_.start, &stretch_.end, &legal_stretch_.start,
                                  &legal_stretch_.end, &bad_}) {
      *position -= dropped;
    }
  }
  next_block_ -= dropped;
  token_ -= dropped;
  line_start_ = 0;
  block_start_ = 0;
}

}  // namespace engine
