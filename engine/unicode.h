// What the report says of a symbol's characters: their code points and
// Unicode names, and the symbol written so that every character can be seen.
// A byte that is not part of valid UTF-8 stands for itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::unicode {

// The character's name: Unicode's, or its alias where Unicode gives it none
// (a control's, such as CHARACTER TABULATION), or its label, such as
// <private-use-E000>, where it has neither.
std::string CharacterName(char32_t code_point);

// Each character as U+ and four to six hex digits, a space and its name, and
// each stray byte as 0x and two hex digits, joined by " + ".
std::string CodePoints(std::string_view symbol);

// The symbol as it stands, but that a character that cannot be seen, or
// that would break a line or a column of the report (a control, a space
// other than U+0020, a format character), is written <U+0009>, and a stray
// byte <0xE9>.
std::string Visible(std::string_view symbol);

// A byte as 0x and two hex digits, as a stray one is shown.
std::string ByteText(unsigned char byte);

// Where the first byte that cannot be UTF-8 is, or npos.
std::size_t FirstStrayByte(std::string_view text);

// The forms the report compares symbols in. Each is empty for a text that is
// not UTF-8.
// Unicode normalisation: composed (NFC), decomposed (NFD).
std::string Composed(std::string_view text);
std::string Decomposed(std::string_view text);
// Case folded: "A" and "a" are the same.
std::string CaseFolded(std::string_view text);
// The skeleton of UTS #39: texts that look alike have the same one. Tie
// bars, and the zero-width joiner typed for one, count for nothing.
std::string Skeleton(std::string_view text);

// The text's characters, each as its code point and its bytes; a stray byte
// is -1.
struct Character {
  std::int32_t code_point;
  std::string_view bytes;
};
std::vector<Character> Characters(std::string_view text);
// A format character, which has no look of its own (a zero-width space or
// joiner, a soft hyphen, a byte-order mark).
bool IsInvisible(std::int32_t code_point);
// A space other than U+0020, which does not separate symbols.
bool IsOtherSpace(std::int32_t code_point);
// A combining mark or a modifier letter, which adds to the character before it.
bool IsMark(std::int32_t code_point);

}  // namespace engine::unicode
