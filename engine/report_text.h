// How the report of removed symbols words things: counts, lists, symbols cut
// to the bytes it keeps, and fields a spreadsheet takes as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::report_text {

// A symbol keeps at most this many of its bytes in the report.
inline constexpr std::size_t kKeptBytes = 128;

// "1 line", "2 lines".
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many);

// "a", "a and b", "a, b and c"; with `more` items left out, "a, b, and 3 more".
std::string Listed(const std::vector<std::string>& items, std::uint64_t more = 0);

// The symbol's first kKeptBytes bytes, less a character that would be cut.
std::string_view KeptPart(std::string_view symbol);

// The symbol as a record or a sentence shows it (unicode::Visible), marked
// where only its start is kept.
std::string Shown(std::string_view kept, std::size_t length);
inline std::string Shown(std::string_view symbol) {
  return Shown(KeptPart(symbol), symbol.size());
}

// A field as a spreadsheet shows it, never as a formula nor a quoted field:
// a first character =, +, -, @ or " is written <U+003D>.
std::string SafeField(std::string field);

}  // namespace engine::report_text
