#include "engine/unicode.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace engine::unicode {
namespace {

struct NameRun {
  std::uint32_t first;   // code point
  std::uint32_t count;   // of consecutive code points named
  std::uint32_t offset;  // of the first's name in kPackedNames
};
struct HexNamedRange {
  std::uint32_t first, last;
  const char* prefix;  // then the code point in hex
};
struct LookAlike {
  char32_t code_point;
  std::uint32_t first, count;  // its prototype's code points in kLookAlikeTargets
};
#include "unicode_names.inc"

// Each character of the text in turn: its code point, or -1 for a stray byte.
template <class Visit>
void ForEachCharacter(std::string_view text, Visit&& visit) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t code_point = -1;
    const utf8proc_ssize_t length =
        utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &code_point);
    if (length <= 0) {
      visit(-1, text.substr(at, 1));
      ++at;
    } else {
      visit(code_point, text.substr(at, static_cast<std::size_t>(length)));
      at += static_cast<std::size_t>(length);
    }
  }
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string CodePointText(char32_t code_point) {
  return "U+" + Hex(code_point, 4);
}

const char* NameWord(std::size_t number) {
  static const auto starts = [] {
    std::array<std::uint32_t, kNameWordCount> found{};
    std::uint32_t at = 0;
    for (auto& start : found) {
      start = at;
      while (kNameWords[at] != '\0') ++at;
      ++at;
    }
    return found;
  }();
  return kNameWords + starts[number];
}

std::string PackedName(const NameRun& run, char32_t code_point) {
  const unsigned char* at = kPackedNames + run.offset;
  for (std::uint32_t skip = code_point - run.first; skip > 0; --skip) at += 1 + *at;
  const unsigned char* const end = at + 1 + *at;
  std::string name;
  for (++at; at != end;) {
    std::size_t word = *at++;
    if (word >= 0x80) word = 0x80 + ((word & 0x7F) << 8 | *at++);
    if (!name.empty()) name += ' ';
    name += NameWord(word);
  }
  return name;
}

// Hangul syllables are named by rule from their jamo (Unicode, chapter 3.12).
std::string HangulSyllableName(char32_t code_point) {
  static const char* const kLeading[] = {"G",  "GG", "N", "D",  "DD", "R", "M", "B", "BB", "S",
                                         "SS", "",   "J", "JJ", "C",  "K", "T", "P", "H"};
  static const char* const kVowel[] = {"A",   "AE", "YA", "YAE", "EO", "E",  "YEO",
                                       "YE",  "O",  "WA", "WAE", "OE", "YO", "U",
                                       "WEO", "WE", "WI", "YU",  "EU", "YI", "I"};
  static const char* const kTrailing[] = {"",   "G",  "GG", "GS", "N",  "NJ", "NH", "D", "L",  "LG",
                                          "LM", "LB", "LS", "LT", "LP", "LH", "M",  "B", "BS", "S",
                                          "SS", "NG", "J",  "C",  "K",  "T",  "P",  "H"};
  const std::uint32_t index = code_point - 0xAC00;
  return std::string("HANGUL SYLLABLE ") + kLeading[index / (21 * 28)] +
         kVowel[index % (21 * 28) / 28] + kTrailing[index % 28];
}

bool IsNoncharacter(char32_t code_point) {
  return (code_point >= 0xFDD0 && code_point <= 0xFDEF) || (code_point & 0xFFFE) == 0xFFFE;
}

// Seen as nothing, or as a break of the line or the column, or as a space
// that the eye takes for the one that separates symbols.
bool Unseen(utf8proc_int32_t code_point) {
  if (code_point == ' ') return false;
  switch (utf8proc_category(code_point)) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_ZS:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string CharacterName(char32_t code_point) {
  const auto run = std::upper_bound(std::begin(kNameRuns), std::end(kNameRuns), code_point,
                                    [](char32_t code, const NameRun& r) { return code < r.first; });
  if (run != std::begin(kNameRuns) && code_point < run[-1].first + run[-1].count)
    return PackedName(run[-1], code_point);
  for (const HexNamedRange& range : kHexNamedRanges) {
    if (code_point >= range.first && code_point <= range.last)
      return range.prefix + Hex(code_point, 4);
  }
  if (code_point >= 0xAC00 && code_point <= 0xD7A3) return HangulSyllableName(code_point);
  const char* kind =
      IsNoncharacter(code_point) ? "noncharacter"
      : utf8proc_category(static_cast<utf8proc_int32_t>(code_point)) == UTF8PROC_CATEGORY_CO
          ? "private-use"
          : "reserved";
  return std::string("<") + kind + "-" + Hex(code_point, 4) + ">";
}

std::string ByteText(unsigned char byte) {
  return "0x" + Hex(byte, 2);
}

std::string CodePoints(std::string_view symbol) {
  std::string text;
  ForEachCharacter(symbol, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    if (!text.empty()) text += " + ";
    if (code_point < 0) {
      text += ByteText(static_cast<unsigned char>(bytes[0]));
    } else {
      text += CodePointText(static_cast<char32_t>(code_point)) + " " +
              CharacterName(static_cast<char32_t>(code_point));
    }
  });
  return text;
}

std::string Visible(std::string_view symbol) {
  std::string text;
  ForEachCharacter(symbol, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    if (code_point < 0) {
      text.append("<").append(ByteText(static_cast<unsigned char>(bytes[0]))).append(">");
    } else if (Unseen(code_point)) {
      text.append("<").append(CodePointText(static_cast<char32_t>(code_point))).append(">");
    } else {
      text += bytes;
    }
  });
  return text;
}

std::size_t FirstStrayByte(std::string_view text) {
  std::size_t found = std::string_view::npos;
  std::size_t at = 0;
  ForEachCharacter(text, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    if (code_point < 0 && found == std::string_view::npos) found = at;
    at += bytes.size();
  });
  return found;
}

namespace {

std::string Mapped(std::string_view text, int options) {
  utf8proc_uint8_t* mapped = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                   static_cast<utf8proc_option_t>(options | UTF8PROC_STABLE));
  std::string result;
  if (length >= 0) result.assign(reinterpret_cast<const char*>(mapped), length);
  std::free(mapped);
  return result;
}

void Append(std::string& text, char32_t code_point) {
  utf8proc_uint8_t bytes[4];
  const auto size = utf8proc_encode_char(static_cast<utf8proc_int32_t>(code_point), bytes);
  text.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

bool IsTieBar(std::int32_t code_point) {
  return code_point == 0x0361 || code_point == 0x035C || code_point == 0x200D;
}

}  // namespace

std::string Composed(std::string_view text) {
  return Mapped(text, UTF8PROC_COMPOSE);
}

std::string Decomposed(std::string_view text) {
  return Mapped(text, UTF8PROC_DECOMPOSE);
}

std::string CaseFolded(std::string_view text) {
  return Mapped(text, UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD);
}

std::string Skeleton(std::string_view text) {
  const std::string decomposed = Decomposed(text);
  if (decomposed.empty()) return {};
  std::string prototypes;
  for (const Character& character : Characters(decomposed)) {
    if (IsTieBar(character.code_point)) continue;
    const auto found =
        std::lower_bound(std::begin(kLookAlikes), std::end(kLookAlikes), character.code_point,
                         [](const LookAlike& entry, std::int32_t code) {
                           return static_cast<std::int32_t>(entry.code_point) < code;
                         });
    if (found != std::end(kLookAlikes) &&
        static_cast<std::int32_t>(found->code_point) == character.code_point) {
      for (std::uint32_t i = 0; i < found->count; ++i)
        Append(prototypes, kLookAlikeTargets[found->first + i]);
    } else {
      prototypes += character.bytes;
    }
  }
  return Decomposed(prototypes);
}

std::vector<Character> Characters(std::string_view text) {
  std::vector<Character> characters;
  ForEachCharacter(text, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    characters.push_back({code_point, bytes});
  });
  return characters;
}

bool IsInvisible(std::int32_t code_point) {
  return code_point >= 0 && utf8proc_category(code_point) == UTF8PROC_CATEGORY_CF;
}

bool IsOtherSpace(std::int32_t code_point) {
  return code_point > ' ' && utf8proc_category(code_point) == UTF8PROC_CATEGORY_ZS;
}

bool IsMark(std::int32_t code_point) {
  if (code_point < 0) return false;
  switch (utf8proc_category(code_point)) {
    case UTF8PROC_CATEGORY_MN:
    case UTF8PROC_CATEGORY_MC:
    case UTF8PROC_CATEGORY_ME:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_SK:
      return true;
    default:
      return false;
  }
}

}  // namespace engine::unicode
