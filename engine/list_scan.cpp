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

// The token of 1 to kMaxPackedLength bytes at `token`, packed as
// SymbolIndex::Pack does: one load, which the text's read-ahead makes safe.
inline std::uint64_t PackedToken(const char* bytes, std::size_t token, std::size_t length) {
  return (LoadWord(bytes + token) & kLowBytes[length]) | std::uint64_t{length} << 56;
}

// Where what follows the separator at `at`, bit `bit` of its block, starts:
// a CR of `crlf` takes its LF with it.
inline std::size_t After(std::size_t at, std::uint64_t crlf, int bit) {
  return at + 1 + (crlf >> bit & 1);
}

// Passes the short tokens ended by `separators`, bits of the block that
// starts at `block_start`, that pass(token, length, packed) passes (the
// legal ones, and in a clean line those whose replacement is), from the
// token that starts at `token_start`, and moves it on; returns the
// separators left, from the first that ends a token that is empty, too
// long to pack or not passed. Inlined where it is called twice, or the hot
// loop pays for a call each block.
template <class Pass>
[[gnu::always_inline]] inline std::uint64_t PassLegalTokens(const char* bytes,
                                                            std::size_t block_start,
                                                            std::uint64_t separators,
                                                            std::uint64_t crlf,
                                                            std::size_t& token_start, Pass&& pass) {
  std::size_t token = token_start;
  while (separators != 0) {
    const int bit = std::countr_zero(separators);
    const std::size_t at = block_start + static_cast<std::size_t>(bit);
    const std::size_t length = at - token;
    if (length - 1 >= SymbolIndex::kMaxPackedLength) break;
    const std::uint64_t packed = PackedToken(bytes, token, length);
    if (!pass(token, length, packed)) break;
    separators &= separators - 1;
    token = After(at, crlf, bit);
  }
  token_start = token;
  return separators;
}

}  // namespace

ListScan::ListScan(SymbolInventory& symbols, Replacements* replacements,
                   std::size_t cleaned_part_size)
    : symbols_(symbols),
      legal_symbols_(symbols.LegalPackedSymbols()),
      replacements_(replacements && !replacements->Empty() ? replacements : nullptr),
      // Without replacements the scan never asks it: any probe will do.
      tokens_(replacements_ ? replacements_->Tokens()
                            : Replacements::TokenProbe(legal_symbols_, legal_symbols_)),
      cleaned_part_size_(cleaned_part_size),
      cleaned_(cleaned_part_size) {}

bool ListScan::LegalLong(const char* bytes, std::size_t token, std::size_t length) const {
  return symbols_.LegalSymbol(std::string_view(bytes + token, length));
}

inline void ListScan::StartRepair(char* bytes, std::size_t line, std::size_t token,
                                  LineSink& sink) {
  const std::size_t first = edit_count_ != 0 ? edits_[0].at() : token;
  repairing_ = true;
  split_ = false;
  current_ = bad_ = line;
  current_size_ = bad_length_ = 0;
  bad_replacement_ = nullptr;
  joined_ = legal_joined_ = first > line;
  stretch_ = {line, first > line ? first - 1 : line, first > line};
  if (edit_count_ != 0) ReplayEdits(bytes, token, sink);
}

// The line's tokens replaced while it was clean are replaced again as a
// line being repaired replaces them; the tokens between are legal.
void ListScan::ReplayEdits(char* bytes, std::size_t token, LineSink& sink) {
  for (std::size_t i = 0; i < edit_count_; ++i) {
    const TokenEdit& edit = edits_[i];
    const std::size_t length = (*replacements_)[edit.record()].symbol.size();
    ReplaceToken(bytes, edit.at(), length, edit.record(), sink);
    const std::size_t after = edit.at() + length + 1;
    const std::size_t next = i + 1 < edit_count_ ? edits_[i + 1].at() : token;
    if (next > after) PassLegalAfterReplaced(after, next - 1);
  }
  edit_count_ = 0;
}

void ListScan::PassLegalAfterReplaced(std::size_t start, std::size_t end) {
  stretch_.end = end;
  legal_stretch_ = {start, end, true};
  legal_joined_ = true;
}

std::span<const TokenEdit> ListScan::EditsBefore(std::size_t end) {
  std::size_t count = edit_count_;
  while (count != 0 && edits_[count - 1].at() >= end) --count;
  return std::span<const TokenEdit>(edits_.data(), count);
}

// What is left is on the line in hand, the first of the next stretch.
void ListScan::DropEditsHandedOut(std::size_t handed) {
  if (handed == 0) return;
  for (std::size_t i = handed; i < edit_count_; ++i) edits_[i - handed] = edits_[i];
  edit_count_ -= handed;
}

// A token one space after the one before continues its stretch; any other
// starts a new one, and the stretches before it are done.
inline void ListScan::RepairToken(char* bytes, std::size_t token, std::size_t length,
                                  std::uint64_t packed, bool legal, LineSink& sink) {
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
    RemoveSymbol(bytes + token, length, packed, sink);
    bad_ = token;
    bad_length_ = length;
    bad_replacement_ = nullptr;
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

inline void ListScan::RemoveSymbol(const char* symbol, std::size_t length, std::uint64_t packed,
                                   LineSink& sink) {
  if (packed != 0) {
    // Counted in a local, which the store cannot change.
    std::size_t count = removed_count_;
    removed_[count++] = packed;
    removed_count_ = count;
    if (count == removed_.size()) HandOutRemoved(sink);
  } else {
    HandOutRemoved(sink);
    sink.RemovedSymbol(std::string_view(symbol, length));
  }
}

// The line shows the token as it was written; the cleaned form parts from
// the line here, as at an illegal token.
void ListScan::ReplaceToken(char* bytes, std::size_t token, std::size_t length,
                            std::uint32_t number, LineSink& sink) {
  if (!joined_) {
    if (split_) AddLegalStretch(bytes, sink);
    PlaceStretch(bytes);
    stretch_ = {token, token, true};
  }
  if (!split_) Split(bytes, sink);
  AddLegalStretch(bytes, sink);
  stretch_.end = token + length;
  joined_ = true;
  legal_joined_ = false;
  sink.Replaced(number);
  for (const Replacements::Part& part : (*replacements_)[number].parts) {
    if (part.legal) {
      if (cleaned_size_ != 0 || cleaned_in_parts_) AddCleaned(" ", 1, sink);
      AddCleaned(part.text.data(), part.text.size(), sink);
      continue;
    }
    RemoveSymbol(part.text.data(), part.text.size(), part.packed, sink);
    bad_replacement_ = part.text.data();
    bad_length_ = part.text.size();
  }
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
  if (bad_length_ != 0 && !bad_replacement_ && bad_ >= stretch_.start) bad_ -= stretch_.start - to;
  current_size_ += 1 + size;
}

inline void ListScan::Split(const char* bytes, LineSink& sink) {
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

void ListScan::HandOutRemoved(LineSink& sink) {
  if (removed_count_ == 0) return;
  sink.RemovedSymbols(std::span<const std::uint64_t>(removed_.data(), removed_count_));
  removed_count_ = 0;
}

inline RepairedLine ListScan::FinishRepair(char* bytes, std::size_t end_length, LineSink& sink) {
  if (split_) AddLegalStretch(bytes, sink);
  PlaceStretch(bytes);
  repairing_ = false;
  RepairedLine line;
  line.CurrentLine = std::string_view(bytes + current_, current_size_);
  line.CleanedLine = split_ ? std::string_view(cleaned_.Data(), cleaned_size_) : line.CurrentLine;
  line.CleanedInParts = split_ && cleaned_in_parts_;
  line.BadSymbol =
      std::string_view(bad_replacement_ ? bad_replacement_ : bytes + bad_, bad_length_);
  line.end_length = static_cast<int>(end_length);
  line.removed = std::span<const std::uint64_t>(removed_.data(), removed_count_);
  removed_count_ = 0;
  return line;
}

// The scan goes from separator to separator. Each step below is one part of
// that: passing the legal tokens of clean lines in bulk (the hot loop),
// doing the same inside a long line being repaired, finding the next
// separator, and judging the token that it ends. The state they share lives
// in locals while the scan runs, so that it stays in registers, and in the
// scan between calls.
template <bool kReplacing>
bool ListScan::Scan(std::span<char> text, bool at_end, LineSink& sink) {
  char* const bytes = text.data();
  const std::size_t size = text.size();
  const std::size_t judged = JudgedBytes(bytes, size, at_end);
  const SymbolIndex::PackedProbe legal_symbols = legal_symbols_;
  Replacements::TokenProbe tokens = tokens_;
  // Whether a short token is legal; with replacements, the record that
  // replaces it, or kNone.
  auto judge = [&](std::uint64_t packed, std::uint32_t& replaced) {
    if constexpr (!kReplacing) {
      return legal_symbols.Contains(packed);
    } else {
      return tokens.Judge(packed, replaced);
    }
  };
  Block block = block_;
  std::size_t block_start = block_start_;
  std::size_t token = token_;            // where the token being looked for starts
  std::size_t line_start = line_start_;  // the line in hand
  std::size_t clean_start = line_start;  // the clean lines not yet handed out
  int clean_lines = 0;
  std::uint64_t lone_ends = 0;  // of the clean lines, in the block in hand

  // Hands out the clean lines from clean_start to `end`.
  auto hand_out = [&](std::size_t end, bool end_record) {
    if (clean_lines != 0) {
      CleanStretch stretch;
      stretch.lines = std::string_view(bytes + clean_start, end - clean_start);
      stretch.count = clean_lines;
      stretch.marked = bytes + block_start;
      stretch.lone_ends = lone_ends;
      stretch.end_record = end_record;
      if constexpr (kReplacing) {
        stretch.text = bytes;
        stretch.edits = EditsBefore(end);
        stretch.replacements = replacements_;
      }
      sink.CleanLines(stretch);
      if constexpr (kReplacing) DropEditsHandedOut(stretch.edits.size());
      clean_lines = 0;
      lone_ends = 0;
    }
    clean_start = end;
  };
  auto stop = [&](bool finished) {
    hand_out(line_start, false);
    block_ = block;
    block_start_ = block_start;
    token_ = token;
    line_start_ = line_start;
    return finished;
  };

  // While lines are clean: a lookup for each short token, and nothing else.
  // The lines passed are counted, and the line in hand starts after the last.
  auto pass_clean_tokens = [&] {
    std::uint64_t separators;
    if constexpr (!kReplacing) {
      separators = PassLegalTokens(bytes, block_start, block.separators, block.crlf, token,
                                   [&](std::size_t, std::size_t, std::uint64_t packed) {
                                     return legal_symbols.Contains(packed);
                                   });
    } else if (!tokens.noting) {
      separators = PassLegalTokens(bytes, block_start, block.separators, block.crlf, token,
                                   [&](std::size_t, std::size_t, std::uint64_t packed) {
                                     return tokens.symbols.Contains(packed);
                                   });
    } else {
      // A token that a record in the index replaces with legal symbols is
      // passed as a legal one, and noted: without a branch, for where it
      // falls in a line is not to be foreseen. A block has room for as many
      // notes as it has tokens.
      if (edit_count_ > edits_.size() - kBlock) hand_out(line_start, false);
      if (edit_count_ > edits_.size() - kBlock) return false;
      TokenEdit* const edits = edits_.data();
      std::size_t edit_count = edit_count_;
      separators = PassLegalTokens(bytes, block_start, block.separators, block.crlf, token,
                                   [&](std::size_t at, std::size_t, std::uint64_t packed) {
                                     const std::uint32_t number = tokens.symbols.Find(packed);
                                     if (number == SymbolIndex::kAbsent) return false;
                                     const std::uint64_t mark = tokens.marks[number];
                                     edits[edit_count] = TokenEdit(at | mark);
                                     edit_count += mark >> 63;
                                     return true;
                                   });
      edit_count_ = edit_count;
    }
    const std::uint64_t passed_ends = block.line_ends & block.separators & ~separators;
    block.separators = separators;
    if (passed_ends != 0) {
      clean_lines += CountBits(passed_ends);
      lone_ends |= passed_ends & ~block.crlf;
      const int last = 63 - std::countl_zero(passed_ends);
      line_start = After(block_start + static_cast<std::size_t>(last), block.crlf, last);
    }
    return true;
  };

  // Legal tokens a single space after the last token, in a line being
  // repaired, only lengthen its stretches: passed as a clean line's are.
  // Short lines, which would seldom pass more than a token, skip the try.
  // Returns whether the token it stopped at was looked up, as a short one,
  // and is not legal.
  auto pass_repaired_tokens = [&] {
    if (token - line_start < kBlock || !joined_ || (split_ && !legal_joined_)) return false;
    const std::uint64_t ends = block.line_ends & block.separators;
    const std::uint64_t in_line = (ends & (0 - ends)) - 1;  // the bits before the first end
    const std::size_t from = token;
    const std::uint64_t left =
        PassLegalTokens(bytes, block_start, block.separators & in_line, 0, token,
                        [&](std::size_t, std::size_t, std::uint64_t packed) {
                          std::uint32_t replaced = Replacements::kNone;
                          return judge(packed, replaced);
                        });
    if (token != from) {
      block.separators = left | (block.separators & ~in_line);
      stretch_.end = token - 1;
      if (split_) legal_stretch_.end = token - 1;
      legal_joined_ = true;
    }
    return left != 0;
  };

  // The separator that ends the token: its place, whether it ends the line,
  // and the bytes of that end (2 for a CR LF, 0 for the end of the list).
  struct Separator {
    std::size_t at;
    bool line_end;
    std::size_t end_length;
  };
  auto take_separator = [&] {
    const int bit = std::countr_zero(block.separators);
    block.separators &= block.separators - 1;
    const std::size_t at = block_start + static_cast<std::size_t>(bit);
    return Separator{at, (block.line_ends >> bit & 1) != 0, After(at, block.crlf, bit) - at};
  };

  // A legal token of a clean line: on past it, and past the line at its end.
  auto pass_clean_token = [&](const Separator& separator) {
    if (!separator.line_end) {
      token = separator.at + 1;
      return;
    }
    ++clean_lines;
    line_start = token = separator.at + separator.end_length;
    if (separator.end_length == 1) {
      lone_ends |= std::uint64_t{1} << (separator.at - block_start);
    } else if (separator.end_length == 0) {
      hand_out(separator.at, true);  // its record needs a CR LF the list does not have
    }
  };

  // A token of a line being repaired, which ends with the line.
  auto repair_token = [&](const Separator& separator, std::size_t length, std::uint64_t packed,
                          bool legal_token, std::uint32_t replaced) {
    if (replaced != Replacements::kNone) [[unlikely]] {
      ReplaceToken(bytes, token, length, replaced, sink);
    } else if (length != 0) {
      RepairToken(bytes, token, length, packed, legal_token, sink);
    } else {
      joined_ = legal_joined_ = false;  // a space at either end, or a run of them
    }
    if (!separator.line_end) {
      token = separator.at + 1;
      return;
    }
    hand_out(line_start, false);
    line_start = token = clean_start = separator.at + separator.end_length;
    sink.RepairedLine(FinishRepair(bytes, separator.end_length, sink));
  };

  for (;;) {
    Separator separator;
    // The token was looked up, as a short one, and is not legal.
    bool looked_up = false;
    if (block.separators != 0) {
      if (!repairing_) {
        // If a separator is left, the lookup stopped at its token.
        looked_up = pass_clean_tokens();
      } else {
        looked_up = pass_repaired_tokens();
      }
      if (block.separators == 0) continue;
      separator = take_separator();
    } else if (next_block_ < judged) {
      // Lone ends are marked in the block in hand: its clean lines go first.
      if (lone_ends != 0) hand_out(line_start, false);
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
      separator = {size, true, 0};  // a last line without its end
    }

    const std::size_t length = separator.at - token;
    const bool short_token = length - 1 < SymbolIndex::kMaxPackedLength;
    const std::uint64_t packed = short_token ? PackedToken(bytes, token, length) : 0;
    // A replaced token is never legal: the scan's lookups of short tokens
    // lack it, and a long one is looked for among the replaced first.
    std::uint32_t replaced = Replacements::kNone;
    bool legal_token;
    if (short_token) {
      // A short token the hot loop stopped at is not legal; to know what
      // replaces it, it is looked up again.
      legal_token = !(looked_up && !kReplacing) && judge(packed, replaced);
      if constexpr (kReplacing) {
        if (replaced != Replacements::kNone && replacements_->Index(replaced))
          tokens = tokens_ = replacements_->Tokens();
      }
    } else {
      if (kReplacing && length != 0 && replacements_->HasLong())
        replaced = replacements_->Find(std::string_view(bytes + token, length));
      legal_token =
          length != 0 && replaced == Replacements::kNone && LegalLong(bytes, token, length);
    }
    if (!repairing_) {
      if (legal_token) {
        pass_clean_token(separator);
        continue;
      }
      if (replaced != Replacements::kNone && (*replacements_)[replaced].all_legal) {
        if (edit_count_ == edits_.size()) hand_out(line_start, false);
        if (edit_count_ < edits_.size()) {
          edits_[edit_count_++] = TokenEdit(token, replaced);
          pass_clean_token(separator);
          continue;
        }
      }
      // The clean lines before go first: the line's cleaned form may be
      // handed out in parts before it ends.
      hand_out(line_start, false);
      StartRepair(bytes, line_start, token, sink);
    }
    repair_token(separator, length, packed, legal_token, replaced);
  }
}

void ListScan::Clean(TextReader& list, LineSink& sink) {
  // Without replacements, the hot loop asks nothing more of a token.
  const auto scan = replacements_ ? &ListScan::Scan<true> : &ListScan::Scan<false>;
  while (!(this->*scan)(list.InHand(), list.AtEnd(), sink)) {
    list.Drop(Passed());
    DropPassed();
    list.ReadMore();
  }
  if (replacements_) replacements_->MarkFoundUsed(symbols_);
}

void ListScan::DropPassed() {
  const std::size_t dropped = line_start_;
  if (repairing_) {
    for (std::size_t* position : {&current_, &stretch_.start, &stretch_.end, &legal_stretch_.start,
                                  &legal_stretch_.end, &bad_}) {
      *position -= dropped;
    }
  }
  for (std::size_t i = 0; i < edit_count_; ++i) edits_[i].MoveBack(dropped);
  next_block_ -= dropped;
  token_ -= dropped;
  line_start_ = 0;
  block_start_ = 0;
}

}  // namespace engine
