// Most lines of a list are legal short symbols between single spaces: cleaning
// leaves each such line exactly as it stands. This finds a run of them at once,
// so they can be copied whole from the list to FixedLines.txt without being
// cleaned one by one.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/symbol_index.h"

namespace engine {

struct VerbatimLines {
  std::size_t length = 0;  // bytes of the run, its line ends included
  int count = 0;           // lines in the run
  // Every line of the run ends in CR LF, so the run is its own records byte
  // for byte; otherwise some end in a lone CR or LF, where a record needs CR LF.
  bool crlf_only = true;
};

// Bytes the scan reads past the end of `text`.
inline constexpr std::size_t kVerbatimReadAhead = 64;

// The run of verbatim lines at the start of `text`, of at most `most` lines.
// It stops at the first line that has anything to clean (a token that is not
// legal or has 8 bytes or more, a space at either end, a run of spaces, a
// blank line), and at a line that `text` does not hold to its end, which is
// not judged. kVerbatimReadAhead bytes past the end of `text` must be readable.
VerbatimLines FindVerbatimLines(std::string_view text, int most,
                                SymbolIndex::PackedProbe legal_symbols);

}  // namespace engine
