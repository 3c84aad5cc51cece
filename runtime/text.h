// String services on single-byte text: nothing is decoded, so UTF-8 passes through.
#pragma once

#include <charconv>
#include <string_view>

namespace rt {

// Text without leading and trailing spaces; only the space itself is removed.
inline std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Decimal digits of a number, in a buffer the caller keeps.
class NumberText {
 public:
  explicit NumberText(long long number) {
    length_ = static_cast<std::size_t>(
        std::to_chars(digits_, digits_ + sizeof digits_, number).ptr - digits_);
  }
  std::string_view View() const { return {digits_, length_}; }

 private:
  char digits_[24];
  std::size_t length_;
};

}  // namespace rt
