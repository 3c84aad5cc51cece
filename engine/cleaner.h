// The line cleaner: keeps a line's legal tokens and remembers its last illegal one.
#pragma once

#include <string>
#include <string_view>

#include "engine/symbols.h"

namespace engine {

// Trims spaces and turns every run of spaces, however long, into one space.
void NormaliseSpaces(std::string_view line, std::string& normalised);

class LineCleaner {
 public:
  // Cleans one line; the views below stay valid until the next call.
  void Clean(std::string_view line, const SymbolInventory& symbols);

  // The line trimmed and with single spaces: what the report shows.
  std::string_view CurrentLine() const { return CurrentLine_; }
  bool Blank() const { return CurrentLine_.empty(); }
  // The legal tokens in their order, joined by single spaces; empty when there are none.
  std::string_view CleanedLine() const;
  // The last illegal token of the line; empty when every token was legal.
  std::string_view BadSymbol() const { return BadSymbol_; }

 private:
  // Kept from line to line so that cleaning a line allocates nothing.
  std::string CurrentLine_;
  std::string GoodPart_;
  std::string_view BadSymbol_;
};

}  // namespace engine
