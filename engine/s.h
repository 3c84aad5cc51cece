// The program's string module: splitting text at a delimiter.
// Both return a part of `Text` itself, so splitting a line token by token
// never copies the rest of the line.
#pragma once

#include <string_view>

namespace s {

// The part of Text before the first Delimiter, or the whole of Text when it has none.
std::string_view StringBefore(std::string_view Text, std::string_view Delimiter);

// The part of Text after the first Delimiter, or empty when it has none.
std::string_view StringAfter(std::string_view Text, std::string_view Delimiter);

}  // namespace s
