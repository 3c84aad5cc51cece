#include "engine/s.h"

namespace s {

std::string_view StringBefore(std::string_view Text, std::string_view Delimiter) {
  std::size_t at = Text.find(Delimiter);
  return at == std::string_view::npos ? Text : Text.substr(0, at);
}

std::string_view StringAfter(std::string_view Text, std::string_view Delimiter) {
  std::size_t at = Text.find(Delimiter);
  return at == std::string_view::npos ? std::string_view() : Text.substr(at + Delimiter.size());
}

}  // namespace s
