#include "engine/replacements.h"

#include <algorithm>

#include "engine/symbols.h"
#include "engine/text_reader.h"
#include "engine/unicode.h"
#include "runtime/error.h"

namespace engine {
namespace {

// The symbols of a replacement joined by single spaces, as a cleaned line has them.
std::string JoinedSymbols(std::string_view text) {
  std::string joined;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(text.find(' ', start), text.size());
    if (!joined.empty()) joined += ' ';
    joined.append(text.substr(start, end - start));
    at = end;
  }
  return joined;
}

[[noreturn]] void Refuse(const std::string& name, long long line, const std::string& why) {
  throw rt::RuntimeError(rt::ErrorNumber::BadFileMode, "Bad file mode: " + name + " line " +
                                                           std::to_string(line) + " " + why +
                                                           " Nothing was written.");
}

}  // namespace

void Replacements::Load(TextReader& file, const std::string& name) {
  std::string_view line;
  bool first = true;
  for (long long line_number = 1; file.NextLine(line); ++line_number) {
    const std::size_t tab = line.find('\t');
    const std::string_view symbol_field = TrimmedOfSpaces(line.substr(0, tab));
    const std::string_view rest = tab == std::string_view::npos ? "" : line.substr(tab + 1);
    const std::string_view replacement_field = TrimmedOfSpaces(rest.substr(0, rest.find('\t')));
    // A record of empty fields is blank, as a spreadsheet saves an empty row.
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    const bool header = first && symbol_field == "Symbol";
    first = false;
    if (header) continue;
    if (tab == std::string_view::npos) {
      Refuse(name, line_number,
             "has no TAB: each record is a symbol of in.txt, a TAB, and the symbols to write "
             "instead.");
    }
    std::string symbol = unicode::Unescaped(symbol_field);
    if (symbol.empty()) Refuse(name, line_number, "has no symbol before its TAB.");
    if (symbol.find_first_of(" \r\n") != std::string::npos) {
      Refuse(name, line_number,
             "names a symbol with a space or a line end in it, which no symbol of in.txt has.");
    }
    std::string replacement = JoinedSymbols(unicode::Unescaped(replacement_field));
    if (replacement.find_first_of("\r\n") != std::string::npos)
      Refuse(name, line_number, "replaces a symbol with a line end.");
    const auto number = static_cast<std::uint32_t>(records_.size());
    const std::uint32_t known = index_.Insert(symbol);
    if (known != number) {
      const Record& earlier = records_[known];
      if (earlier.replacement == replacement) continue;
      Refuse(name, line_number,
             "replaces " + unicode::Visible(symbol) + " with " +
                 (replacement.empty() ? "nothing" : unicode::Visible(replacement)) + ", but line " +
                 std::to_string(earlier.line) + " replaces it with " +
                 (earlier.replacement.empty() ? "nothing" : unicode::Visible(earlier.replacement)) +
                 ". Keep one of the two.");
    }
    has_long_ |= symbol.size() > SymbolIndex::kMaxPackedLength;
    longest_ = std::max(longest_, replacement.size());
    Record& record = records_.emplace_back();
    record.symbol = std::move(symbol);
    record.replacement = std::move(replacement);
    record.line = line_number;
  }
}

void Replacements::Judge(SymbolInventory& inventory) {
  inventory_ = &inventory;
  for (Record& record : records_) {
    record.parts.clear();
    const std::string_view text = record.replacement;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = std::min(text.find(' ', start), text.size());
      const std::string_view part = text.substr(start, end - start);
      const bool short_part = part.size() <= SymbolIndex::kMaxPackedLength;
      record.parts.push_back({part, short_part ? SymbolIndex::Pack(part) : 0, inventory.Has(part)});
      start = end + 1;
    }
    record.all_legal = !record.parts.empty() &&
                       std::all_of(record.parts.begin(), record.parts.end(),
                                   [](const Part& part) { return part.legal; }) &&
                       &record - records_.data() < TokenEdit::kMostRecords;
  }
  for (const Record& record : records_) replacements_text_ += record.replacement;
  replacements_text_.append(kReadable, '\0');
  for (std::size_t at = 0; Record & record : records_) {
    record.readable = std::string_view(replacements_text_).substr(at, record.replacement.size());
    at += record.replacement.size();
  }
  inventory.ForEachSymbol([&](std::uint32_t, std::string_view symbol, bool) {
    if (symbol.size() <= SymbolIndex::kMaxPackedLength && Find(symbol) == kNone) {
      tokens_.Insert(symbol);
      token_marks_.push_back(0);
    }
  });
  most_indexed_records_ = std::max(kIndexedRecords, token_marks_.size());
  settled_.assign(records_.size(), 0);
}

bool Replacements::Settle(std::uint32_t number) {
  settled_[number] = 1;
  const Record& record = records_[number];
  if (!record.all_legal || record.symbol.size() > SymbolIndex::kMaxPackedLength ||
      indexed_records_ == most_indexed_records_)
    return false;
  tokens_.Insert(record.symbol);
  token_marks_.push_back(TokenEdit::Mark(number));
  ++indexed_records_;
  return true;
}

void Replacements::MarkFoundUsed(SymbolInventory& inventory) const {
  tokens_.ForEachKey([&](std::uint32_t number, std::string_view symbol, bool found) {
    if (found && token_marks_[number] == 0) inventory.MarkUsed(symbol);
  });
}

void Replacements::FirstApplied(Record& record, long long line_number) {
  record.first_line = line_number;
  for (const Part& part : record.parts) {
    if (part.legal) inventory_->MarkUsed(part.text);
  }
}

}  // namespace engine
