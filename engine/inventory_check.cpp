#include "engine/inventory_check.h"

#include <algorithm>
#include <map>

#include "engine/report_text.h"
#include "engine/symbols.h"
#include "engine/unicode.h"

namespace engine {
namespace {

using report_text::Counted;
using report_text::Shown;

// The first kShown of many (line, sentence) pairs by line, and how many
// there are, in bounded memory whatever their order.
class SmallestLines {
 public:
  static constexpr std::size_t kShown = InventoryCheck::FirstFew<int>::kShown;
  // Whether a pair of this line would be kept: then its sentence is worth making.
  bool Keeps(long long line) {
    ++count_;
    return kept_.size() < kShown || line < kept_.back().first;
  }
  void Add(long long line, std::string sentence) {
    kept_.emplace_back(line, std::move(sentence));
    std::sort(kept_.begin(), kept_.end());
    if (kept_.size() > kShown) kept_.pop_back();
  }
  const std::vector<std::pair<long long, std::string>>& Kept() const { return kept_; }
  long long Count() const { return count_; }

 private:
  std::vector<std::pair<long long, std::string>> kept_;
  long long count_ = 0;
};

std::string LineText(long long line_number, std::string_view symbol) {
  return "line " + std::to_string(line_number) + " (" + Shown(symbol) + ")";
}

// "Symbols.txt has 3 more lines like the one before.", for what was left out.
void AddMore(std::vector<std::string>& sentences, long long more, std::string_view one,
             std::string_view many) {
  if (more > 0) {
    sentences.push_back("Symbols.txt has " + Counted(static_cast<std::uint64_t>(more), one, many) +
                        " like the one before.");
  }
}

}  // namespace

void InventoryCheck::Line(long long line_number, std::string_view line, std::string_view symbol,
                          std::uint32_t number) {
  if (stray_line_ == 0) {
    if (const std::size_t stray = unicode::FirstStrayByte(line); stray != std::string_view::npos) {
      stray_line_ = line_number;
      stray_byte_ = static_cast<unsigned char>(line[stray]);
    }
  }
  if (symbol.empty()) return;
  const bool first_time = number >= first_lines_.size();
  if (first_time) {
    first_lines_.resize(number + std::size_t{1},
                        static_cast<std::uint32_t>(std::min<long long>(line_number, UINT32_MAX)));
  }
  if (symbol.find(' ') != std::string_view::npos) spaced_.Add({line_number, Shown(symbol), 0});
  if (symbol.front() == '\t' || symbol.back() == '\t') tabbed_.Add({line_number, Shown(symbol), 0});
  if (!first_time) {
    repeated_.Add({line_number, Shown(symbol), LineOf(number)});
    return;
  }
  facts_.longest = std::max(facts_.longest, symbol.size());
  LearnCharacters(line_number, symbol);
}

void InventoryCheck::LearnCharacters(long long line_number, std::string_view symbol) {
  auto learn = [&](char32_t code_point) {
    if (facts_.characters[code_point]) return;
    facts_.characters[code_point] = true;
    facts_.used.push_back(code_point);
    if (character_lines_.size() < kNamedCharacters)
      character_lines_.emplace(code_point, line_number);
    const auto code = static_cast<std::int32_t>(code_point);
    facts_.digits |= unicode::IsDigit(code);
    facts_.upper |= unicode::IsUpper(code);
    facts_.lower |= unicode::IsLower(code);
  };
  if (unicode::IsAscii(symbol)) {
    for (const char byte : symbol) learn(static_cast<unsigned char>(byte));
    return;
  }
  facts_.non_ascii = true;
  for (const unicode::Character& character : unicode::Characters(symbol))
    if (character.code_point >= 0) learn(static_cast<char32_t>(character.code_point));
}

std::string InventoryCheck::NotUtf8() const {
  if (stray_line_ == 0) return {};
  return "Symbols.txt is not UTF-8: line " + std::to_string(stray_line_) + " has the byte " +
         unicode::ByteText(stray_byte_) +
         ", which UTF-8 does not allow there. It is likely Latin-1 or Windows-1252; saved again "
         "as UTF-8, its symbols can match those of in.txt.";
}

std::vector<std::string> InventoryCheck::Sentences(const SymbolInventory& inventory) const {
  std::vector<std::string> sentences;
  auto flaws = [&](const FirstFew<Flaw>& found, auto&& says) {
    for (const Flaw& flaw : found.shown)
      sentences.push_back("Symbols.txt line " + std::to_string(flaw.line_number) + says(flaw));
    AddMore(sentences, found.count - static_cast<long long>(found.shown.size()), "more line",
            "more lines");
  };
  flaws(spaced_, [](const Flaw& flaw) {
    return " (" + flaw.symbol +
           ") has a space inside: no symbol of in.txt can match it, since spaces separate the "
           "symbols.";
  });
  flaws(tabbed_, [](const Flaw& flaw) {
    return " (" + flaw.symbol +
           ") begins or ends with a TAB: it matches only a symbol of in.txt with the same TAB.";
  });
  flaws(repeated_, [](const Flaw& flaw) {
    return " repeats line " + std::to_string(flaw.first_line) + " (" + flaw.symbol + ").";
  });
  AddPairs(inventory, sentences);
  AddUnused(inventory, sentences);
  return sentences;
}

// Two symbols that are one: the same after normalisation, or one IPA symbol
// written in two code points (g and ɡ). Two letters of the IPA that look
// alike (a and ɑ) are two sounds, and the inventory is right to have both.
void InventoryCheck::AddPairs(const SymbolInventory& inventory,
                              std::vector<std::string>& sentences) const {
  SmallestLines pairs;
  inventory.ForEachSymbol([&](std::uint32_t number, std::string_view symbol, bool) {
    if (!unicode::MayNormalise(symbol)) return;
    const long long line = LineOf(number);
    for (const std::string& form : {unicode::Composed(symbol), unicode::Decomposed(symbol)}) {
      if (form.empty() || form == symbol) continue;
      const std::uint32_t other = inventory.NumberOf(form);
      if (other == SymbolIndex::kAbsent) continue;
      const long long other_line = LineOf(other);
      if (other_line < line && pairs.Keeps(other_line)) {
        pairs.Add(other_line, "Symbols.txt " + LineText(other_line, form) + " and " +
                                  LineText(line, symbol) +
                                  " are the same after Unicode normalisation.");
      }
    }
  });
  // The characters, grouped by what they look like.
  std::map<std::u32string, std::vector<char32_t>> alike;
  for (const auto& [code_point, line] : character_lines_) {
    const std::u32string prototype = unicode::LookAlikeOf(code_point);
    if (prototype.size() == 1) alike[prototype].push_back(code_point);
  }
  for (auto& [prototype, group] : alike) {
    std::sort(group.begin(), group.end());
    for (std::size_t i = 0; i < group.size(); ++i) {
      for (std::size_t j = i + 1; j < group.size(); ++j) {
        if (!unicode::SameIpaSymbol(group[i], group[j])) continue;
        if (!pairs.Keeps(std::min(character_lines_.at(group[i]), character_lines_.at(group[j]))))
          continue;
        auto [first, second] =
            std::minmax(character_lines_.at(group[i]), character_lines_.at(group[j]));
        const bool in_order = first == character_lines_.at(group[i]);
        const std::string earlier = unicode::CodePoints(unicode::Utf8(group[in_order ? i : j]));
        const std::string later = unicode::CodePoints(unicode::Utf8(group[in_order ? j : i]));
        pairs.Add(first,
                  "Symbols.txt writes one IPA symbol in two code points: " + earlier + " on line " +
                      std::to_string(first) + " and " + later + " on line " +
                      std::to_string(second) +
                      ", which look the same. A list that has one does not match the other.");
      }
    }
  }
  for (const auto& [line, sentence] : pairs.Kept()) sentences.push_back(sentence);
  AddMore(sentences, pairs.Count() - static_cast<long long>(pairs.Kept().size()), "more pair",
          "more pairs");
}

// A symbol that the list uses only with a stress digit after it (AA as AA0,
// AA1) is used all the same.
void InventoryCheck::AddUnused(const SymbolInventory& inventory,
                               std::vector<std::string>& sentences) const {
  SmallestLines unused;
  inventory.ForEachSymbol([&](std::uint32_t number, std::string_view symbol, bool used) {
    if (used) return;
    if (facts_.digits) {
      std::string stressed(symbol);
      stressed.push_back('0');
      for (char digit = '0'; digit <= '9'; ++digit) {
        stressed.back() = digit;
        if (inventory.Used(stressed)) return;
      }
    }
    const long long line = LineOf(number);
    if (unused.Keeps(line))
      unused.Add(line, Shown(symbol) + " (line " + std::to_string(line) + ")");
  });
  if (unused.Count() == 0) return;
  std::vector<std::string> shown;
  for (const auto& [line, text] : unused.Kept()) shown.push_back(text);
  sentences.push_back(
      "Symbols.txt has " +
      Counted(static_cast<std::uint64_t>(unused.Count()), "symbol", "symbols") +
      " that in.txt never uses: " +
      report_text::Listed(shown, static_cast<std::uint64_t>(unused.Count()) - shown.size()) + ".");
}

}  // namespace engine
