#include "engine/cleaner.h"

#include <bit>
#include <cstring>

#include "engine/s.h"
#include "runtime/text.h"

namespace engine {
namespace {

constexpr std::uint64_t kSpaces = 0x2020202020202020ull;
// A space among these ends a token short enough to be packed.
constexpr std::uint64_t kFirstSevenBytes = 0x00FFFFFFFFFFFFFFull;

// A mask of the lowest `count` bytes, count below 8.
std::uint64_t LowBytes(std::size_t count) {
  return (std::uint64_t{1} << (8 * count)) - 1;
}

}  // namespace

void NormaliseSpaces(std::string_view line, std::string& normalised) {
  line = rt::Trim(line);
  normalised.clear();
  normalised.reserve(line.size());
  while (!line.empty()) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
      normalised.append(line);
      break;
    }
    normalised.append(line.substr(0, space + 1));
    line.remove_prefix(line.find_first_not_of(' ', space));  // trimmed: a token follows every run
  }
}

bool LineCleaner::CleanIfVerbatim(std::string_view trimmed, const SymbolInventory& symbols) {
  // Eight bytes are read from each token on; near the end of the line they
  // are the line's last eight, shifted down, with spaces put in past its end.
  // The line is not copied, and its end is found without a branch.
  const SymbolIndex::PackedProbe legal_symbols = symbols.LegalPackedSymbols();
  const char* token = trimmed.data();
  const char* const end = token + trimmed.size();
  for (;;) {
    std::size_t available = static_cast<std::size_t>(end - token);
    unsigned before = available >= 8 ? 0u : static_cast<unsigned>(8 - available);
    std::uint64_t word = s::LoadWord(token - before) >> (8 * before);
    word |= kSpaces << 1 << (8 * (8 - before) - 1);  // both shifts, so none is by 64
    std::uint64_t spaces = s::ZeroBytes(word ^ kSpaces) & kFirstSevenBytes;
    if (spaces == 0) return false;  // a token too long to pack
    auto length = static_cast<std::uint32_t>(std::countr_zero(spaces)) / 8;
    if (!legal_symbols.Contains(word & LowBytes(length), length)) return false;
    const char* token_end = token + length;
    if (token_end == end) {
      CurrentLine_ = cleaned_ = trimmed;
      return true;
    }
    if (token_end[1] == ' ') return false;  // a run of spaces
    token = token_end + 1;
  }
}

void LineCleaner::Clean(std::string_view line, const SymbolInventory& symbols) {
  std::string_view trimmed = rt::Trim(line);
  BadSymbol_ = {};
  // Most lines are short legal symbols between single spaces, and are their
  // own cleaned line; any other line is cleaned from a padded copy below.
  if (trimmed.size() >= 8 && CleanIfVerbatim(trimmed, symbols)) return;
  // Spaces after the line end its last token like the spaces between tokens,
  // and let the split test eight bytes at a time up to the very end.
  if (padded_.size() < trimmed.size() + kPadding) padded_.resize(2 * (trimmed.size() + kPadding));
  char* const start = padded_.data();
  if (!trimmed.empty()) std::memcpy(start, trimmed.data(), trimmed.size());
  std::memset(start + trimmed.size(), ' ', kPadding);
  const char* const line_end = start + trimmed.size();

  if (trimmed.empty()) {
    // A blank line's one token is empty, so illegal, yet names no bad symbol.
    CurrentLine_ = cleaned_ = {};
    return;
  }
  // While every token so far is legal and followed by a single space, the
  // cleaned line is the start of the line itself and nothing is copied.
  bool verbatim = true;
  const char* verbatim_end = start;
  bool collapsed = false;
  const char* Remaining = start;
  const SymbolIndex::PackedProbe legal_symbols = symbols.LegalPackedSymbols();

  for (;;) {
    std::string_view Token;
    bool legal;
    // One 8-byte load tells where a short token ends and is also its key in
    // the index; the padding makes the load safe to the end of the line.
    std::uint64_t word = s::LoadWord(Remaining);
    std::uint64_t spaces = s::ZeroBytes(word ^ kSpaces) & kFirstSevenBytes;
    if (spaces != 0) {
      std::size_t length = static_cast<std::size_t>(std::countr_zero(spaces)) / 8;
      Token = std::string_view(Remaining, length);
      legal = legal_symbols.Contains(word & LowBytes(length), static_cast<std::uint32_t>(length));
    } else {
      Token = s::StringBefore(
          std::string_view(Remaining, static_cast<std::size_t>(line_end + kPadding - Remaining)),
          " ");
      legal = symbols.LegalSymbol(Token);
    }
    const char* token_end = Remaining + Token.size();
    if (verbatim && legal) {
      verbatim_end = token_end;
    } else {
      if (verbatim) StartCopying(start, verbatim_end, verbatim);
      if (legal) {
        if (!GoodPart_.empty()) GoodPart_ += ' ';
        GoodPart_ += Token;
      } else {
        BadSymbol_ = Token;
      }
    }
    if (token_end == line_end) break;
    // What StringAfter would give, without scanning the token again: the
    // padding guarantees a space after every token. A run of spaces, however
    // long, separates two tokens as one space does.
    Remaining = token_end + 1;
    if (*Remaining == ' ') {
      while (*Remaining == ' ') ++Remaining;
      collapsed = true;
      if (verbatim) StartCopying(start, verbatim_end, verbatim);
    }
  }

  std::string_view whole(start, static_cast<std::size_t>(line_end - start));
  if (collapsed) {
    NormaliseSpaces(whole, normalised_);
    CurrentLine_ = normalised_;
  } else {
    CurrentLine_ = whole;
  }
  cleaned_ = verbatim ? std::string_view(start, static_cast<std::size_t>(verbatim_end - start))
                      : std::string_view(GoodPart_);
}

void LineCleaner::StartCopying(const char* start, const char* verbatim_end, bool& verbatim) {
  GoodPart_.assign(start, static_cast<std::size_t>(verbatim_end - start));
  verbatim = false;
}

}  // namespace engine
