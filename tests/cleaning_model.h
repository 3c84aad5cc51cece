// A second, deliberately simple statement of the cleaning rules, written from
// the rules and not from the engine, so that the two can be compared on any
// input: each line trimmed and its runs of spaces collapsed, then split token
// by token with StringBefore and StringAfter, the legal ones gathered in
// GoodPart and the last illegal one kept in BadSymbol, as the rules say it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cleaning_model {

// A record of Replacements.txt, and how often it was applied.
struct Replacement {
  std::string symbol;
  std::vector<std::string> symbols;  // what it is replaced with
  long long line = 0;                // of Replacements.txt
  long long times = 0, first_line = 0;
};

struct Result {
  // A file starting with a UTF-16 byte-order mark, or a Replacements.txt
  // with a record that breaks its rules: the run stops with an error and no
  // output changes.
  bool refused = false;
  std::string fixed;  // FixedLines.txt
  std::string bad;    // BadLines.txt
  std::vector<std::string> captions;
  long long lines = 0;  // lines of in.txt
  // Symbols of Symbols.txt that no token of in.txt is.
  long long unused_symbols = 0;
  // Lines of in.txt ended by CR LF, and by a lone CR or LF.
  long long crlf_ends = 0, lone_ends = 0;
  // Every illegal token, in order, with the number of its line.
  std::vector<std::pair<long long, std::string>> removed;
  std::vector<Replacement> replacements;
};

// `replacements`: the bytes of Replacements.txt, where there is one.
Result Clean(std::string_view list, std::string_view symbols,
             std::optional<std::string_view> replacements = std::nullopt);

// The lines of a file: the UTF-8 byte-order mark at its very start is not
// part of them; CR, CR LF and LF each end a line; a last line without an end counts.
std::vector<std::string> Lines(std::string_view bytes);

}  // namespace cleaning_model
