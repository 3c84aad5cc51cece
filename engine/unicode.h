// What the report says of a symbol's characters: their code points and
// Unicode names, and the symbol written so that every character can be seen.
// A byte that is not part of valid UTF-8 stands for itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Where the first byte that cannot be UTF-8 is, or npos.
std::size_t FirstStrayByte(std::string_view text);

}  // namespace engine::unicode
