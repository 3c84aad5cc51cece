// The line cleaner: keeps a line's legal tokens and remembers its last illegal one.
#pragma once

#include <string>
#include <string_view>

#include "engine/symbols.h"

namespace engine {

// Cleans one line at a time, as the run's scan of the whole list does.
class LineCleaner {
 public:
  // Cleans one line, given without its line end.
  void Clean(std::string_view line, const SymbolInventory& symbols);

  // The line trimmed and with single spaces: what the report shows.
  std::string_view CurrentLine() const { return CurrentLine_; }
  bool Blank() const { return CurrentLine_.empty(); }
  // The legal tokens in their order, joined by single spaces; empty when there are none.
  std::string_view CleanedLine() const { return cleaned_; }
  // The last illegal token of the line; empty when every token was legal.
  std::string_view BadSymbol() const { return BadSymbol_; }

 private:
  std::string line_;  // the line, then the bytes the scan reads past its end
  std::string CurrentLine_;
  std::string cleaned_;
  std::string BadSymbol_;
};

}  // namespace engine
