// The line cleaner: keeps a line's legal tokens and remembers its last illegal one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/symbols.h"

namespace engine {

// Trims spaces and turns every run of spaces, however long, into one space.
void NormaliseSpaces(std::string_view line, std::string& normalised);

class LineCleaner {
 public:
  // Cleans one line. The views below point into `line` or into the cleaner,
  // and stay valid until the next call or until `line` changes.
  void Clean(std::string_view line, const SymbolInventory& symbols);

  // The line trimmed and with single spaces: what the report shows.
  std::string_view CurrentLine() const { return CurrentLine_; }
  bool Blank() const { return CurrentLine_.empty(); }
  // The legal tokens in their order, joined by single spaces; empty when there are none.
  std::string_view CleanedLine() const { return cleaned_; }
  // The last illegal token of the line; empty when every token was legal.
  std::string_view BadSymbol() const { return BadSymbol_; }

 private:
  static constexpr std::size_t kPadding = 8;

  // Cleans a line of at least 8 bytes whose tokens are all legal, packable
  // and single-spaced, without copying it; false, having set nothing, for any other.
  bool CleanIfVerbatim(std::string_view trimmed, const SymbolInventory& symbols);
  // From here on the cleaned line is built in GoodPart_.
  void StartCopying(const char* start, const char* verbatim_end, bool& verbatim);

  std::vector<char> padded_;  // the trimmed line, then kPadding spaces
  std::string_view CurrentLine_;
  std::string_view cleaned_;
  std::string_view BadSymbol_;
  // Only a line with a run of spaces or an illegal token needs copying; the
  // buffers are kept from line to line so that even those allocate nothing.
  std::string normalised_;
  std::string GoodPart_;
};

}  // namespace engine
