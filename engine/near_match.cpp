#include "engine/near_match.h"

#include <algorithm>

#include "engine/unicode.h"

namespace engine {
namespace {

using unicode::Character;

// A symbol as a note names it: as the table shows it, then its code points.
std::string Described(std::string_view symbol) {
  return unicode::Visible(symbol) + " (" + unicode::CodePoints(symbol) + ")";
}

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

bool EndsWithDigit(std::string_view text) {
  return text.size() > 1 && text.back() >= '0' && text.back() <= '9';
}

}  // namespace

std::string NearMatches::Add(std::string_view symbol, long long line_number) {
  const Entry entry{std::string(symbol), line_number};
  symbols_.try_emplace(entry.symbol, entry);
  if (EndsWithDigit(symbol)) {
    auto& stressed = stressed_[std::string(symbol.substr(0, symbol.size() - 1))];
    if (stressed.size() < 10) stressed.push_back(entry.symbol);
  }
  if (const std::string folded = unicode::CaseFolded(symbol); !folded.empty())
    folded_.try_emplace(folded, entry);
  auto pair = [&](const Entry& earlier, std::string_view how) {
    return "Symbols.txt line " + std::to_string(earlier.line_number) + " (" +
           unicode::Visible(earlier.symbol) + ") and line " + std::to_string(line_number) + " (" +
           unicode::Visible(symbol) + ") " + std::string(how) + ".";
  };
  std::string said;
  if (const std::string composed = unicode::Composed(symbol); !composed.empty()) {
    const auto [found, added] = composed_.try_emplace(composed, entry);
    if (!added) said = pair(found->second, "are the same after Unicode normalisation");
  }
  if (const std::string skeleton = unicode::Skeleton(symbol); !skeleton.empty()) {
    const auto [found, added] = skeletons_.try_emplace(skeleton, entry);
    if (!added && said.empty()) said = pair(found->second, "look the same");
  }
  return said;
}

const NearMatches::Entry* NearMatches::Other(const Index& index, const std::string& key,
                                             std::string_view removed) const {
  if (key.empty()) return nullptr;
  const auto found = index.find(key);
  return found != index.end() && found->second.symbol != removed ? &found->second : nullptr;
}

std::string NearMatches::NoteFor(std::string_view removed) const {
  if (unicode::FirstStrayByte(removed) != std::string_view::npos) return {};
  const std::string has = "Symbols.txt has ";
  const std::string composed_form = unicode::Composed(removed);
  if (const Entry* same = Other(composed_, composed_form, removed)) {
    const bool composed = same->symbol == composed_form;
    const bool decomposed = same->symbol == unicode::Decomposed(removed);
    return has + Described(same->symbol) +
           (composed     ? ", the same letters composed (NFC)."
            : decomposed ? ", the same letters decomposed (NFD)."
                         : ", the same after Unicode normalisation.");
  }
  if (const Entry* alike = Other(skeletons_, unicode::Skeleton(removed), removed))
    return has + Described(alike->symbol) + ", which looks the same.";

  const std::vector<Character> characters = unicode::Characters(removed);
  std::string visible, invisibles;
  std::vector<std::string> parts(1);
  std::string other_space;
  for (const Character& character : characters) {
    if (unicode::IsInvisible(character.code_point)) {
      invisibles += (invisibles.empty() ? "" : " + ") + unicode::CodePoints(character.bytes);
    } else {
      visible += character.bytes;
    }
    if (unicode::IsOtherSpace(character.code_point)) {
      if (other_space.empty()) other_space = unicode::CodePoints(character.bytes);
      parts.emplace_back();
    } else {
      parts.back() += character.bytes;
    }
  }
  if (!invisibles.empty() && Legal(visible))
    return has + Described(visible) + ": the symbol is the same with " + invisibles +
           ", which cannot be seen.";
  if (parts.size() > 1 && std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
        return part.empty() || Legal(part);
      })) {
    std::vector<std::string> shown;
    for (const std::string& part : parts)
      if (!part.empty()) shown.push_back(unicode::Visible(part));
    if (!shown.empty())
      return has + Listed(shown) + ": the symbol is " + (shown.size() > 1 ? "them" : "it") +
             " with " + other_space + ", which does not separate symbols as a space does.";
  }
  if (const Entry* cased = Other(folded_, unicode::CaseFolded(removed), removed))
    return has + Described(cased->symbol) + ", the same in another case.";
  if (EndsWithDigit(removed) && Legal(removed.substr(0, removed.size() - 1))) {
    return has + Described(removed.substr(0, removed.size() - 1)) +
           ", the same without the stress digit " + std::string(1, removed.back()) + ".";
  }
  if (const auto found = stressed_.find(std::string(removed)); found != stressed_.end()) {
    std::vector<std::string> shown;
    for (const std::string& symbol : found->second) shown.push_back(unicode::Visible(symbol));
    return has + Listed(shown) + ": the symbol with a stress digit.";
  }
  return MarksNote(removed, characters);
}

// The longest start of the symbol that is an inventory symbol, when all
// that follows it is combining marks and modifier letters.
std::string NearMatches::MarksNote(std::string_view removed,
                                   const std::vector<unicode::Character>& characters) const {
  for (std::size_t kept = characters.size() - 1; kept > 0; --kept) {
    if (!unicode::IsMark(characters[kept].code_point)) return {};
    const std::size_t start =
        static_cast<std::size_t>(characters[kept].bytes.data() - removed.data());
    if (!Legal(removed.substr(0, start))) continue;
    std::string marks;
    for (std::size_t i = kept; i < characters.size(); ++i)
      marks += (marks.empty() ? "" : " + ") + unicode::CodePoints(characters[i].bytes);
    return "Symbols.txt has " + Described(removed.substr(0, start)) + "; the symbol adds " + marks +
           ", which Symbols.txt does not have on it.";
  }
  return {};
}

}  // namespace engine
