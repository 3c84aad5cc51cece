#include "engine/report_text.h"

#include <cstdio>

#include "engine/unicode.h"

namespace engine::report_text {

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string Listed(const std::vector<std::string>& items, std::uint64_t more) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() && more == 0 ? " and " : ", ";
    text += items[i];
  }
  if (more != 0) text += ", and " + std::to_string(more) + " more";
  return text;
}

std::string_view KeptPart(std::string_view symbol) {
  if (symbol.size() <= kKeptBytes) return symbol;
  std::size_t size = kKeptBytes;
  for (int back = 0; back < 3 && (static_cast<unsigned char>(symbol[size]) & 0xC0) == 0x80; ++back)
    --size;
  return symbol.substr(0, size);
}

std::string Shown(std::string_view kept, std::size_t length) {
  std::string text = unicode::Visible(kept);
  if (length > kept.size()) text += "... (" + std::to_string(length) + " bytes in all)";
  return text;
}

std::string SafeField(std::string field) {
  if (field.empty()) return field;
  switch (field.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '"': {
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(field.front()));
      return code + field.substr(1);
    }
    default:
      return field;
  }
}

}  // namespace engine::report_text
