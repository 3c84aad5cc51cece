#include "engine/near_match.h"

#include <algorithm>

#include "engine/inventory_check.h"
#include "engine/report_text.h"
#include "engine/symbols.h"
#include "engine/unicode.h"

namespace engine {
namespace {

using report_text::Listed;
using Segment = NearMatches::Segment;
using Shape = NearMatches::Shape;
using unicode::IpaKind;
using unicode::IsAscii;

constexpr std::size_t kMostVariants = 4;
constexpr std::size_t kMostCandidates = 16;  // inventory symbols kept for one set of bases
constexpr std::size_t kMostNamed = 3;        // equally near symbols a note names
constexpr char32_t kZeroWidthJoiner = 0x200D;

std::string Utf8(const std::u32string& code_points) {
  std::string text;
  for (const char32_t code_point : code_points) text += unicode::Utf8(code_point);
  return text;
}

std::u32string CodePointsOf(std::string_view text) {
  std::u32string code_points;
  for (const unicode::Character& character : unicode::Characters(text))
    code_points.push_back(static_cast<char32_t>(character.code_point));
  return code_points;
}

bool IsTie(char32_t code_point) {
  // A zero-width joiner between two letters is typed for a tie.
  return code_point == kZeroWidthJoiner ||
         unicode::Ipa(static_cast<std::int32_t>(code_point)).kind == IpaKind::kTie;
}

// A mark that belongs to the letter before it. Stress marks, tone letters
// and boundaries stand on their own, though Unicode calls some modifiers.
bool BelongsToLetter(char32_t code_point) {
  const auto code = static_cast<std::int32_t>(code_point);
  if (unicode::IsIpa(code)) {
    const IpaKind kind = unicode::Ipa(code).kind;
    return kind == IpaKind::kModifier || kind == IpaKind::kDiacritic;
  }
  return unicode::IsMark(code);
}

// Decomposed, with the characters no one sees left out (but a joiner typed
// for a tie).
std::u32string Prepared(std::string_view symbol) {
  std::u32string code_points;
  if (IsAscii(symbol)) return std::u32string(symbol.begin(), symbol.end());
  for (const char32_t code_point : CodePointsOf(unicode::Decomposed(symbol))) {
    if (code_point != kZeroWidthJoiner &&
        unicode::IsInvisible(static_cast<std::int32_t>(code_point)))
      continue;
    code_points.push_back(code_point);
  }
  return code_points;
}

Shape ShapeOf(const std::u32string& code_points) {
  Shape shape;
  for (const char32_t code_point : code_points) {
    if (IsTie(code_point)) {
      if (!shape.empty()) shape.back().tied = true;
    } else if (BelongsToLetter(code_point) && !shape.empty() && !shape.back().tied) {
      shape.back().marks.push_back(code_point);
    } else {
      shape.push_back({code_point, {}, false});
    }
  }
  if (!shape.empty()) shape.back().tied = false;  // a tie at the end joins nothing
  return shape;
}

std::u32string BasesOf(const Shape& shape) {
  std::u32string bases;
  for (const Segment& segment : shape) bases.push_back(unicode::Lower(segment.base));
  return bases;
}

// A character as a note names it: its code point and name, and what it
// stands for in the IPA where Unicode says.
std::string MarkText(char32_t code_point) {
  std::string text = unicode::CodePoints(unicode::Utf8(code_point));
  const std::string_view value = unicode::Ipa(static_cast<std::int32_t>(code_point)).value;
  if (value.empty()) return text;
  if (value.ends_with("mark")) return text + ", the " + std::string(value);
  return text + " (" + std::string(value) + ")";
}

std::string MarksText(const std::u32string& marks) {
  std::vector<std::string> names;
  for (const char32_t mark : marks) names.push_back(MarkText(mark));
  return Listed(names);
}

// A split's symbols as a note shows them, and as Replace with writes them:
// none there when the token splits more than one way.
struct SplitWords {
  std::vector<std::string> shown;
  std::string replacement;
};
SplitWords WordsOf(const Split& split) {
  SplitWords words;
  for (const std::string_view part : split.parts) {
    words.shown.push_back(unicode::Visible(part));
    if (!words.replacement.empty()) words.replacement += ' ';
    words.replacement += part;
  }
  if (split.ways > 1) words.replacement.clear();
  return words;
}

// How a removed symbol differs from an inventory symbol with the same bases.
// A mark added or lost changes the sound and weighs two; a mark put in
// another place, a tie, or the case weigh one.
struct Difference {
  int changes = 0;
  bool sound_kept = true;  // only the order of marks, a tie, or the case differ
  bool case_only = false;
  std::vector<std::string> says;
};

Difference Compare(const Shape& removed, const Shape& legal, const InventoryFacts& facts) {
  Difference difference;
  bool other_case = false;
  for (std::size_t i = 0; i < removed.size(); ++i) {
    const Segment& ours = removed[i];
    const Segment& theirs = legal[i];
    other_case |= ours.base != theirs.base;
    if (ours.marks != theirs.marks) {
      std::u32string ours_sorted = ours.marks, theirs_sorted = theirs.marks;
      std::sort(ours_sorted.begin(), ours_sorted.end());
      std::sort(theirs_sorted.begin(), theirs_sorted.end());
      if (ours_sorted == theirs_sorted) {
        ++difference.changes;
        difference.says.push_back("has its marks in another order");
      } else {
        std::u32string added, missing;
        std::set_difference(ours_sorted.begin(), ours_sorted.end(), theirs_sorted.begin(),
                            theirs_sorted.end(), std::back_inserter(added));
        std::set_difference(theirs_sorted.begin(), theirs_sorted.end(), ours_sorted.begin(),
                            ours_sorted.end(), std::back_inserter(missing));
        difference.changes += 2 * static_cast<int>(added.size() + missing.size());
        difference.sound_kept = false;
        if (!added.empty() && added.size() == missing.size()) {
          difference.says.push_back("has " + MarksText(added) + " where it has " +
                                    MarksText(missing));
        } else {
          if (!added.empty()) difference.says.push_back("adds " + MarksText(added));
          if (!missing.empty()) difference.says.push_back("lacks " + MarksText(missing));
        }
      }
    }
    if (ours.tied != theirs.tied) {
      ++difference.changes;
      difference.says.push_back(ours.tied ? "ties two letters it writes apart"
                                          : "lacks the tie between " + unicode::Utf8(theirs.base) +
                                                " and " + unicode::Utf8(legal[i + 1].base));
    }
  }
  if (other_case) {
    ++difference.changes;
    difference.says.push_back("is in another case");
    difference.case_only = difference.says.size() == 1;
    // Where the inventory is all one case, a symbol in the other cannot be
    // meant as another sound.
    difference.sound_kept &= !(facts.upper && facts.lower);
  }
  return difference;
}

bool EndsWithDigit(std::string_view text) {
  return text.size() > 1 && text.back() >= '0' && text.back() <= '9';
}

}  // namespace

NearMatches::NearMatches(const SymbolInventory& inventory, const InventoryFacts& facts,
                         bool list_is_ascii)
    : inventory_(inventory), facts_(facts), list_is_ascii_(list_is_ascii) {
  for (const char32_t code_point : facts.used)
    by_look_[unicode::LookAlikeOf(code_point)].push_back(code_point);
}

std::string NearMatches::Described(std::string_view symbol) const {
  return unicode::Visible(symbol) + " (" + unicode::CodePoints(symbol) + ")";
}

// The symbol as the inventory would write it: each character the inventory
// does not use, taken for one it does that writes the same IPA symbol; a
// ligature (ʦ) for its letters with a tie. Where two would do (' for ˈ or
// ʼ), each is a variant.
std::vector<NearMatches::Variant> NearMatches::VariantsOf(std::string_view removed) const {
  std::vector<Variant> variants{{}};
  // `look`: the character's prototype (unicode::LookAlikeOf).
  auto alike_in_inventory = [&](char32_t code_point, const std::u32string& look) {
    std::vector<char32_t> found;
    const auto group = by_look_.find(look);
    if (group == by_look_.end()) return found;
    for (const char32_t other : group->second) {
      // A character the inventory uses as well is its own: a contrast.
      if (unicode::MayWriteOneSymbol(code_point, other)) found.push_back(other);
    }
    // What it is taken for itself (Cyrillic а for a), where the inventory
    // has that, rather than what else is taken for that (ɑ).
    if (look.size() == 1 && std::count(found.begin(), found.end(), look[0]) != 0)
      return std::vector<char32_t>{look[0]};
    return found;
  };
  for (const char32_t code_point : Prepared(removed)) {
    std::vector<std::u32string> ways;
    if (facts_.Uses(code_point) || IsTie(code_point)) {
      ways.push_back(std::u32string(1, code_point));
    } else {
      const std::u32string look = unicode::LookAlikeOf(code_point);
      const std::vector<char32_t> alike = alike_in_inventory(code_point, look);
      for (const char32_t other : alike) ways.push_back(std::u32string(1, other));
      if (alike.empty() && look.size() > 1 &&
          !unicode::IsIpa(static_cast<std::int32_t>(code_point))) {
        std::u32string tied;
        for (const char32_t letter : look) {
          const std::vector<char32_t> alike_letter =
              facts_.Uses(letter) ? std::vector<char32_t>{letter}
                                  : alike_in_inventory(letter, unicode::LookAlikeOf(letter));
          if (alike_letter.empty()) {
            tied.clear();
            break;
          }
          if (!tied.empty()) tied.push_back(U'\u0361');
          tied.push_back(alike_letter.front());
        }
        if (!tied.empty()) ways.push_back(tied);
      }
      if (ways.empty()) ways.push_back(std::u32string(1, code_point));
    }
    const bool looked_alike = ways.front() != std::u32string(1, code_point);
    std::vector<Variant> grown;
    for (const Variant& variant : variants) {
      for (const std::u32string& way : ways) {
        if (grown.size() == kMostVariants) break;
        Variant next = variant;
        next.code_points += way;
        if (looked_alike) next.looked_alike.push_back(code_point);
        grown.push_back(std::move(next));
      }
    }
    variants = std::move(grown);
  }
  return variants;
}

void NearMatches::Expect(std::string_view removed) {
  if (unicode::FirstStrayByte(removed) != std::string_view::npos) return;
  const auto [made, added] = variants_.try_emplace(std::string(removed), VariantsOf(removed));
  for (const Variant& variant : made->second) {
    if (std::u32string bases = BasesOf(ShapeOf(variant.code_points)); !bases.empty())
      candidates_.try_emplace(std::move(bases));
  }
}

void NearMatches::FindCandidates() {
  if (candidates_.empty()) return;
  inventory_.ForEachSymbol([&](std::uint32_t, std::string_view symbol, bool) {
    const auto found = candidates_.find(BasesOf(ShapeOf(Prepared(symbol))));
    if (found != candidates_.end() && found->second.size() < kMostCandidates)
      found->second.emplace_back(symbol);
  });
  // In an order of their own, not the index's.
  for (auto& [bases, symbols] : candidates_) std::sort(symbols.begin(), symbols.end());
}

// The nearest inventory symbols with the same letters: the fewest changes
// to marks, ties and case.
Suggestion NearMatches::Structural(std::string_view removed,
                                   const std::vector<Variant>& variants) const {
  struct Near {
    const std::string* symbol;
    Difference difference;
    const Variant* variant;
  };
  std::vector<Near> nearest;
  for (const Variant& variant : variants) {
    const Shape shape = ShapeOf(variant.code_points);
    const auto found = candidates_.find(BasesOf(shape));
    if (shape.empty() || found == candidates_.end()) continue;
    for (const std::string& symbol : found->second) {
      if (symbol == removed) continue;
      Difference difference = Compare(shape, ShapeOf(Prepared(symbol)), facts_);
      if (!nearest.empty() && difference.changes > nearest.front().difference.changes) continue;
      if (!nearest.empty() && difference.changes < nearest.front().difference.changes)
        nearest.clear();
      if (std::none_of(nearest.begin(), nearest.end(),
                       [&](const Near& near) { return *near.symbol == symbol; }))
        nearest.push_back({&symbol, std::move(difference), &variant});
    }
  }
  if (nearest.empty()) return {};
  const std::string has = "Symbols.txt has ";
  const Near& best = nearest.front();
  Suggestion suggestion;
  if (nearest.size() == 1) {
    const std::string& symbol = *best.symbol;
    const Difference& difference = best.difference;
    suggestion.kind = difference.case_only ? Suggestion::Kind::kCase : Suggestion::Kind::kOther;
    if (difference.sound_kept) suggestion.replacement = symbol;
    suggestion.exact = difference.changes == 0;
    if (difference.changes == 0 && best.variant->looked_alike.empty()) {
      const std::string composed = unicode::Composed(removed);
      suggestion.note =
          has + Described(symbol) +
          (symbol == composed                       ? ", the same letters composed (NFC)."
           : symbol == unicode::Decomposed(removed) ? ", the same letters decomposed (NFD)."
           : unicode::Decomposed(symbol) == unicode::Decomposed(removed)
               ? ", the same after Unicode normalisation."
               : ", the same with another tie.");
    } else if (difference.changes == 0) {
      suggestion.note = has + Described(symbol) +
                        ", which looks the same: the same IPA symbol, written with " +
                        unicode::CodePoints(Utf8(best.variant->looked_alike)) + ".";
    } else if (difference.case_only) {
      suggestion.note = has + Described(symbol) + ", the same in another case.";
    } else {
      suggestion.note = has + Described(symbol) + "; the symbol " + Listed(difference.says) + ".";
    }
    return suggestion;
  }
  // Equally near: name a few, and how each differs.
  std::vector<std::string> named, differences;
  for (std::size_t i = 0; i < nearest.size() && i < kMostNamed; ++i) {
    named.push_back(unicode::Visible(*nearest[i].symbol));
    differences.push_back("against " + unicode::Visible(*nearest[i].symbol) + " it " +
                          (nearest[i].difference.says.empty()
                               ? std::string("differs only in how it is written")
                               : Listed(nearest[i].difference.says)));
  }
  const std::size_t more = nearest.size() - named.size();
  suggestion.kind = Suggestion::Kind::kOther;
  suggestion.note = has + Listed(named, more) + ", equally near: " + [&] {
    std::string text;
    for (const std::string& part : differences) text += (text.empty() ? "" : "; ") + part;
    return text;
  }() + ".";
  return suggestion;
}

// What a character is when it is no segment: a stress mark, a boundary, a
// tone letter, or a sign that is not phonetic at all; or empty. A character
// that is not the IPA's is what the IPA symbol it looks like is (' for ˈ).
std::string WhatIsNotASegment(char32_t code_point, bool ipa_inventory) {
  const auto code = static_cast<std::int32_t>(code_point);
  IpaKind kind = unicode::Ipa(code).kind;
  // Only a sign or a modifier can look like a mark of prosody; a letter of
  // another script cannot.
  if (!unicode::IsIpa(code) && (unicode::IsPunctuation(code) || unicode::IsMark(code)))
    kind = unicode::ProsodyLookAlike(code_point).kind;
  switch (kind) {
    case IpaKind::kStress:
      return "a stress mark";
    case IpaKind::kSyllable:
      return "a syllable boundary";
    case IpaKind::kLinking:
      return "a linking mark";
    case IpaKind::kGroup:
      return "a group boundary";
    case IpaKind::kTone:
      return "a tone letter";
    case IpaKind::kIntonation:
      return "an intonation mark";
    default:
      if (!unicode::IsIpa(code) &&
          (unicode::IsPunctuation(code) || (unicode::IsDigit(code) && ipa_inventory)))
        return "not a phonetic symbol";
      return {};
  }
}

// A symbol that holds characters that are no segments, which the inventory
// does not use: each class named once, with its characters.
Suggestion NearMatches::Classes(std::string_view removed) const {
  std::u32string rest;
  std::vector<std::pair<std::string, std::u32string>> classes;  // what, and its characters
  for (const char32_t code_point : CodePointsOf(removed)) {
    const std::string what =
        facts_.Uses(code_point) ? std::string() : WhatIsNotASegment(code_point, facts_.non_ascii);
    if (what.empty()) {
      rest.push_back(code_point);
      continue;
    }
    auto found = std::find_if(classes.begin(), classes.end(),
                              [&](const auto& known) { return known.first == what; });
    if (found == classes.end()) found = classes.insert(found, {what, {}});
    found->second.push_back(code_point);
  }
  if (classes.empty()) return {};
  std::string named;
  for (const auto& [what, code_points] : classes) {
    named += (named.empty() ? "" : "; ") + unicode::CodePoints(Utf8(code_points)) + " (" + what +
             (code_points.size() > 1 ? ", each" : "") + ")";
  }
  Suggestion suggestion{{}, {}, Suggestion::Kind::kOther};
  if (rest.empty()) {
    suggestion.note = "The symbol is " + named + ", which Symbols.txt does not list.";
  } else if (const std::string letters = Utf8(rest); inventory_.Has(letters)) {
    suggestion.note = "Symbols.txt has " + Described(letters) + "; the symbol adds " + named +
                      ", which Symbols.txt does not list.";
  } else {
    suggestion.note = "The symbol holds " + named + ", which Symbols.txt does not list.";
  }
  return suggestion;
}

Suggestion NearMatches::For(std::string_view removed) const {
  if (unicode::FirstStrayByte(removed) != std::string_view::npos) return {};
  const std::string has = "Symbols.txt has ";
  const std::vector<unicode::Character> characters = unicode::Characters(removed);
  // Legal symbols joined by a space other than U+0020.
  std::vector<std::string> parts(1);
  std::string other_space;
  std::string visible;
  for (const unicode::Character& character : characters) {
    if (unicode::IsOtherSpace(character.code_point)) {
      if (other_space.empty()) other_space = unicode::CodePoints(character.bytes);
      parts.emplace_back();
    } else {
      parts.back() += character.bytes;
    }
    if (!unicode::IsInvisible(character.code_point)) visible += character.bytes;
  }
  std::erase_if(parts, [](const std::string& part) { return part.empty(); });
  if (!other_space.empty() && !parts.empty() &&
      std::all_of(parts.begin(), parts.end(),
                  [&](const std::string& part) { return inventory_.Has(part); })) {
    std::vector<std::string> shown;
    std::string replacement;
    for (const std::string& part : parts) {
      shown.push_back(unicode::Visible(part));
      replacement += (replacement.empty() ? "" : " ") + part;
    }
    return {has + Listed(shown) + ": the symbol is " + (shown.size() > 1 ? "them" : "it") +
                " with " + other_space + ", which does not separate symbols as a space does.",
            replacement, Suggestion::Kind::kOther};
  }
  if (visible.empty()) {
    return {"The symbol is only " + unicode::CodePoints(removed) + ", which cannot be seen.",
            {},
            Suggestion::Kind::kOther};
  }
  if (visible.size() < removed.size() && inventory_.Has(visible)) {
    std::string invisibles;
    for (const unicode::Character& character : characters) {
      if (unicode::IsInvisible(character.code_point))
        invisibles += (invisibles.empty() ? "" : " + ") + unicode::CodePoints(character.bytes);
    }
    return {has + Described(visible) + ": the symbol is the same with " + invisibles +
                ", which cannot be seen.",
            visible, Suggestion::Kind::kOther};
  }
  std::vector<Variant> made;
  const auto expected = variants_.find(std::string(removed));
  const std::vector<Variant>& variants =
      expected != variants_.end() ? expected->second : (made = VariantsOf(removed));
  Suggestion near = Structural(removed, variants);
  if (near.exact) return near;

  // A stress digit, ARPAbet's way: with it or without it.
  if (EndsWithDigit(removed) && inventory_.Has(removed.substr(0, removed.size() - 1))) {
    const std::string_view bare = removed.substr(0, removed.size() - 1);
    return {has + Described(bare) + ", the same without the stress digit " +
                std::string(1, removed.back()) + ".",
            facts_.digits ? std::string() : std::string(bare), Suggestion::Kind::kStress};
  }
  if (facts_.digits) {
    std::vector<std::string> stressed;
    std::string with_digit(removed);
    with_digit.push_back('0');
    for (char digit = '0'; digit <= '9'; ++digit) {
      with_digit.back() = digit;
      if (inventory_.Has(with_digit)) stressed.push_back(unicode::Visible(with_digit));
    }
    if (!stressed.empty())
      return {has + Listed(stressed) + ": the symbol with a stress digit.",
              {},
              Suggestion::Kind::kStress};
  }
  // Symbols written without the spaces between them; where the symbol is
  // also nearly one symbol (dʒ, d͡ʒ), both readings are said, and neither
  // suggested.
  const Split split = SplitIntoSymbols(removed, facts_.longest,
                                       [&](std::string_view part) { return inventory_.Has(part); });
  if (split.ways == 0 || split.parts.size() < 2) {
    if (!near.replacement.empty()) return near;
  } else {
    auto [shown, replacement] = WordsOf(split);
    const std::string ways = split.ways > 1 ? "; it splits into symbols of Symbols.txt in more "
                                              "than one way, so check which is meant"
                                            : "";
    if (!near.replacement.empty()) {
      return {near.note + " Or it is " + Listed(shown) + " written without spaces" + ways + ".",
              {},
              Suggestion::Kind::kOther};
    }
    std::string note = has + Listed(shown) + ": the symbol is them written without spaces" + ways;
    if (!near.note.empty()) {
      note += ". Or: " + near.note;
      replacement.clear();
    } else {
      note += ".";
    }
    return {note, replacement, Suggestion::Kind::kOther};
  }
  if (list_is_ascii_ && facts_.non_ascii && IsAscii(removed)) {
    if (const std::string ipa = unicode::FromXSampa(removed); !ipa.empty() && inventory_.Has(ipa))
      return {"X-SAMPA for " + unicode::Visible(ipa) + ": " + has + Described(ipa) + ".",
              {},
              Suggestion::Kind::kOther};
  }
  if (!near.note.empty()) return near;
  // Written with the inventory's own characters, a symbol it does not have,
  // or its symbols without spaces (ˈi: is ˈ and iː).
  for (const Variant& variant : variants) {
    if (variant.looked_alike.empty()) continue;
    const std::string written = unicode::Composed(Utf8(variant.code_points));
    const std::string how = "The symbol, with " + unicode::CodePoints(Utf8(variant.looked_alike)) +
                            " written as Symbols.txt writes it, is " + Described(written);
    const Split parts = SplitIntoSymbols(
        written, facts_.longest, [&](std::string_view part) { return inventory_.Has(part); });
    if (parts.ways == 0) {
      return {how + ", which Symbols.txt does not have.", {}, Suggestion::Kind::kOther};
    }
    auto [shown, replacement] = WordsOf(parts);
    return {how + ": Symbols.txt has " + Listed(shown) + ", written without spaces" +
                (parts.ways > 1 ? ", among other ways to split it." : "."),
            replacement, Suggestion::Kind::kOther};
  }
  return Classes(removed);
}

}  // namespace engine
