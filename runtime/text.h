// String services on single-byte text: nothing is decoded, so UTF-8 passes through.
#pragma once

#include <string_view>

namespace rt {

// Text without leading and trailing spaces; only the space itself is removed.
inline std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace rt
