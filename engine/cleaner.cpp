#include "engine/cleaner.h"

#include "engine/s.h"
#include "runtime/text.h"

namespace engine {

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
    std::size_t next = line.find_first_not_of(' ', space);
    line.remove_prefix(next);  // the line is trimmed, so a token follows every run
  }
}

void LineCleaner::Clean(std::string_view line, const SymbolInventory& symbols) {
  BadSymbol_ = {};
  NormaliseSpaces(line, CurrentLine_);
  GoodPart_.clear();
  std::string_view Remaining = CurrentLine_;
  do {
    std::string_view Token = s::StringBefore(Remaining, " ");
    if (symbols.LegalSymbol(Token)) {
      GoodPart_ += ' ';
      GoodPart_ += Token;
    } else {
      BadSymbol_ = Token;
    }
    Remaining = s::StringAfter(Remaining, " ");
  } while (!rt::Trim(Remaining).empty());
}

std::string_view LineCleaner::CleanedLine() const {
  return rt::Trim(GoodPart_);
}

}  // namespace engine
