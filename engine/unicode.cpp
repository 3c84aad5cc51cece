#include "engine/unicode.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>

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
struct CodePointRange {
  char32_t first, last;
};
struct IpaEntry {
  char32_t code_point;
  IpaKind kind;
  std::uint32_t xsampa, value;  // offsets in kIpaText, 0 for none
};
#include "unicode_names.inc"

template <class Entry>
const Entry* FindCode(const Entry* begin, const Entry* end, std::int32_t code_point) {
  const Entry* found = std::lower_bound(begin, end, code_point, [](const Entry& e, std::int32_t c) {
    return static_cast<std::int32_t>(e.code_point) < c;
  });
  return found != end && static_cast<std::int32_t>(found->code_point) == code_point ? found
                                                                                    : nullptr;
}

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

// Whether the character is of one of Unicode's general categories; a stray
// byte (-1) is of none.
bool InCategory(std::int32_t code_point, std::initializer_list<utf8proc_category_t> categories) {
  if (code_point < 0) return false;
  const auto category = utf8proc_category(code_point);
  return std::find(categories.begin(), categories.end(), category) != categories.end();
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
  if (IsInvisible(code_point)) return true;
  return InCategory(code_point, {UTF8PROC_CATEGORY_CC, UTF8PROC_CATEGORY_CF, UTF8PROC_CATEGORY_ZS,
                                 UTF8PROC_CATEGORY_ZL, UTF8PROC_CATEGORY_ZP});
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

namespace {

// The escape at the start of `text`: its length, and the character (a code
// point) or the byte (a negative number, less 1) it stands for; 0 when none.
std::size_t EscapeAt(std::string_view text, std::int32_t& value) {
  const bool byte = text.starts_with("<0x");
  if (!byte && !text.starts_with("<U+")) return 0;
  std::size_t digits = 0;
  std::int32_t number = 0;
  for (; 3 + digits < text.size() && digits < 6 &&
         std::isxdigit(static_cast<unsigned char>(text[3 + digits]));
       ++digits) {
    const char c = text[3 + digits];
    number = number * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  if (3 + digits >= text.size() || text[3 + digits] != '>') return 0;
  if (byte) {
    if (digits != 2) return 0;
    value = -1 - number;
  } else {
    if (digits < 4 || number > 0x10FFFF || (number >= 0xD800 && number <= 0xDFFF)) return 0;
    value = number;
  }
  return 4 + digits;
}

}  // namespace

std::string Unescaped(std::string_view text) {
  std::string read;
  for (std::size_t at = 0; at < text.size();) {
    std::int32_t value = 0;
    const std::size_t length = text[at] == '<' ? EscapeAt(text.substr(at), value) : 0;
    if (length == 0) {
      read += text[at++];
      continue;
    }
    read += value < 0 ? std::string(1, static_cast<char>(-1 - value))
                      : Utf8(static_cast<char32_t>(value));
    at += length;
  }
  return read;
}

std::string Visible(std::string_view symbol) {
  std::string text;
  ForEachCharacter(symbol, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    std::int32_t value = 0;
    if (code_point == '<' &&
        EscapeAt(symbol.substr(static_cast<std::size_t>(bytes.data() - symbol.data())), value) !=
            0) {
      text += "<U+003C>";
    } else if (code_point < 0) {
      text.append("<").append(ByteText(static_cast<unsigned char>(bytes[0]))).append(">");
    } else if (Unseen(code_point)) {
      text.append("<").append(CodePointText(static_cast<char32_t>(code_point))).append(">");
    } else {
      text += bytes;
    }
  });
  return text;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
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

}  // namespace

bool MayNormalise(std::string_view text) {
  bool may = false;
  ForEachCharacter(text, [&](utf8proc_int32_t code_point, std::string_view) {
    if (may || code_point < 0x80) return;
    if (code_point < 0) return;
    const utf8proc_property_t* property = utf8proc_get_property(code_point);
    may = (property->decomp_type == 0 && property->decomp_seqindex != UINT16_MAX) ||
          property->combining_class != 0 ||
          (property->comb_index != UINT16_MAX && property->comb_index >= 0x8000) ||
          (code_point >= 0x1100 && code_point <= 0x11FF) ||
          (code_point >= 0xAC00 && code_point <= 0xD7A3);
  });
  return may;
}

std::string Composed(std::string_view text) {
  return Mapped(text, UTF8PROC_COMPOSE);
}

std::string Decomposed(std::string_view text) {
  return Mapped(text, UTF8PROC_DECOMPOSE);
}

std::vector<Character> Characters(std::string_view text) {
  std::vector<Character> characters;
  ForEachCharacter(text, [&](utf8proc_int32_t code_point, std::string_view bytes) {
    characters.push_back({code_point, bytes});
  });
  return characters;
}

bool IsInvisible(std::int32_t code_point) {
  if (code_point < 0) return false;
  const auto range = std::upper_bound(std::begin(kIgnorable), std::end(kIgnorable), code_point,
                                      [](std::int32_t code, const CodePointRange& r) {
                                        return code < static_cast<std::int32_t>(r.first);
                                      });
  if (range != std::begin(kIgnorable) && code_point <= static_cast<std::int32_t>(range[-1].last))
    return true;
  return IsNoncharacter(static_cast<char32_t>(code_point)) ||
         utf8proc_category(code_point) == UTF8PROC_CATEGORY_CN;
}

bool IsDigit(std::int32_t code_point) {
  return InCategory(code_point, {UTF8PROC_CATEGORY_ND});
}

bool IsUpper(std::int32_t code_point) {
  return InCategory(code_point, {UTF8PROC_CATEGORY_LU});
}

char32_t Lower(char32_t code_point) {
  return static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(code_point)));
}

bool IsLower(std::int32_t code_point) {
  return InCategory(code_point, {UTF8PROC_CATEGORY_LL});
}

bool IsPunctuation(std::int32_t code_point) {
  return InCategory(code_point, {UTF8PROC_CATEGORY_PS, UTF8PROC_CATEGORY_PE, UTF8PROC_CATEGORY_PI,
                                 UTF8PROC_CATEGORY_PF, UTF8PROC_CATEGORY_PO, UTF8PROC_CATEGORY_PC,
                                 UTF8PROC_CATEGORY_PD, UTF8PROC_CATEGORY_SM, UTF8PROC_CATEGORY_SC,
                                 UTF8PROC_CATEGORY_SO});
}

IpaSymbol Ipa(std::int32_t code_point) {
  const IpaEntry* entry = FindCode(std::begin(kIpaSymbols), std::end(kIpaSymbols), code_point);
  if (!entry) return {IpaKind::kOther, {}, {}};
  return {entry->kind, kIpaText + entry->xsampa, kIpaText + entry->value};
}

bool IsIpa(std::int32_t code_point) {
  return FindCode(std::begin(kIpaSymbols), std::end(kIpaSymbols), code_point) != nullptr;
}

std::u32string LookAlikeOf(char32_t code_point) {
  for (const auto& [source, target] : kStandIns)
    if (source == code_point) return std::u32string(1, target);
  const LookAlike* found = FindCode(std::begin(kLookAlikes), std::end(kLookAlikes),
                                    static_cast<std::int32_t>(code_point));
  if (!found) return std::u32string(1, code_point);
  return std::u32string(kLookAlikeTargets + found->first,
                        kLookAlikeTargets + found->first + found->count);
}

std::string Utf8(char32_t code_point) {
  std::string text;
  Append(text, code_point);
  return text;
}

bool MayWriteOneSymbol(char32_t a, char32_t b) {
  const auto one = static_cast<std::int32_t>(a), other = static_cast<std::int32_t>(b);
  return a != b && !IsDigit(one) && !IsDigit(other) && !(IsIpa(one) && IsIpa(other));
}

bool SameIpaSymbol(char32_t a, char32_t b) {
  return MayWriteOneSymbol(a, b) && LookAlikeOf(a) == LookAlikeOf(b);
}

IpaSymbol ProsodyLookAlike(char32_t code_point) {
  // The IPA's marks of prosody by what they look like, made once.
  static const auto prosody = [] {
    std::vector<std::pair<std::u32string, const IpaEntry*>> found;
    for (const IpaEntry& entry : kIpaSymbols) {
      if (entry.kind >= IpaKind::kStress && entry.kind <= IpaKind::kIntonation)
        found.emplace_back(LookAlikeOf(entry.code_point), &entry);
    }
    return found;
  }();
  const std::u32string look = LookAlikeOf(code_point);
  for (const auto& [prototype, entry] : prosody) {
    if (prototype == look) return Ipa(static_cast<std::int32_t>(entry->code_point));
  }
  return {IpaKind::kOther, {}, {}};
}

// X-SAMPA is read longest spelling first, as its users write it: "r\`" is one symbol.
std::string FromXSampa(std::string_view ascii) {
  std::string ipa;
  for (std::size_t at = 0; at < ascii.size();) {
    std::size_t best = 0;
    char32_t symbol = 0;
    for (const IpaEntry& entry : kIpaSymbols) {
      const std::string_view spelling = kIpaText + entry.xsampa;
      if (entry.xsampa != 0 && spelling.size() > best && ascii.substr(at).starts_with(spelling)) {
        best = spelling.size();
        symbol = entry.code_point;
      }
    }
    if (best == 0) return {};
    Append(ipa, symbol);
    at += best;
  }
  return ipa;
}

bool IsOtherSpace(std::int32_t code_point) {
  return code_point > ' ' && InCategory(code_point, {UTF8PROC_CATEGORY_ZS});
}

bool IsMark(std::int32_t code_point) {
  return InCategory(code_point, {UTF8PROC_CATEGORY_MN, UTF8PROC_CATEGORY_MC, UTF8PROC_CATEGORY_ME,
                                 UTF8PROC_CATEGORY_LM, UTF8PROC_CATEGORY_SK});
}

}  // namespace engine::unicode
