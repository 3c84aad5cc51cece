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
// byte <0xE9>; a < that would read as such an escape is written <U+003C>.
std::string Visible(std::string_view symbol);

// The text that Visible wrote: each <U+XXXX> (4 to 6 hex digits, a Unicode
// scalar value) and <0xNN> read as that character or byte, and anything
// else as it stands.
std::string Unescaped(std::string_view text);

// A code point in UTF-8.
std::string Utf8(char32_t code_point);

// A byte as 0x and two hex digits, as a stray one is shown.
std::string ByteText(unsigned char byte);

// Every byte below 0x80.
bool IsAscii(std::string_view text);

// Where the first byte that cannot be UTF-8 is, or npos.
std::size_t FirstStrayByte(std::string_view text);

// The forms the report compares symbols in. Each is empty for a text that is
// not UTF-8.
// Unicode normalisation: composed (NFC), decomposed (NFD).
std::string Composed(std::string_view text);
std::string Decomposed(std::string_view text);
// False where both forms are the text itself, known without making them: no
// character has a canonical decomposition, a combining class, or a place as
// the second of a composition.
bool MayNormalise(std::string_view text);

// The text's characters, each as its code point and its bytes; a stray byte
// is -1.
struct Character {
  std::int32_t code_point;
  std::string_view bytes;
};
std::vector<Character> Characters(std::string_view text);
// A character a reader does not see: Unicode's Default_Ignorable_Code_Point
// (a zero-width space or joiner, a soft hyphen, a Hangul filler, a variation
// selector), a noncharacter, or a code point Unicode has not assigned.
bool IsInvisible(std::int32_t code_point);
// A space other than U+0020, which does not separate symbols.
bool IsOtherSpace(std::int32_t code_point);
// A combining mark or a modifier letter, which adds to the character before it.
bool IsMark(std::int32_t code_point);

// A character's decimal digit value, or -1: a digit never looks like a letter.
bool IsDigit(std::int32_t code_point);
bool IsUpper(std::int32_t code_point);
char32_t Lower(char32_t code_point);
bool IsLower(std::int32_t code_point);
// An opening or closing bracket, or other punctuation that transcriptions use
// for annotation rather than sound.
bool IsPunctuation(std::int32_t code_point);

// What a symbol of the IPA is.
enum class IpaKind : std::uint8_t {
  kLetter,
  kModifier,   // a modifier letter that follows its letter: ʰ ʲ ː
  kDiacritic,  // a combining mark
  kTie,        // joins two letters into one sound: U+0361, U+035C
  kStress,
  kSyllable,  // a syllable boundary
  kLinking,
  kGroup,  // a boundary of a prosodic group
  kTone,   // a tone letter, an upstep or a downstep
  kIntonation,
  kOther,
};
struct IpaSymbol {
  IpaKind kind;
  std::string_view xsampa;  // its X-SAMPA spelling, if any
  std::string_view value;   // the sound or mark it stands for, if Unicode says
};
// The character as a symbol of the IPA, or kind kOther and nothing else for
// one that is not.
IpaSymbol Ipa(std::int32_t code_point);
bool IsIpa(std::int32_t code_point);
// The characters a character is taken for (UTS #39's prototype), or itself.
std::u32string LookAlikeOf(char32_t code_point);
// Two code points that write one IPA symbol, so that a list may have one
// where an inventory has the other: they look alike (UTS #39) and are not
// two letters of the IPA (a and ɑ, i and ɪ are different sounds), nor a digit
// and a letter.
bool SameIpaSymbol(char32_t a, char32_t b);
// The same but for their looks, for a caller that knows they look alike.
bool MayWriteOneSymbol(char32_t a, char32_t b);
// The mark of prosody of the IPA (a stress mark, a boundary, a tone letter)
// that a character not of the IPA looks like (' for ˈ), or kind kOther.
IpaSymbol ProsodyLookAlike(char32_t code_point);
// The IPA symbol an X-SAMPA spelling stands for, or empty.
std::string FromXSampa(std::string_view ascii);

}  // namespace engine::unicode
