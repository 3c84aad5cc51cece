#include "engine/symbol_report.h"

#include <algorithm>
#include <unordered_map>

#include "engine/near_match.h"
#include "engine/output_buffer.h"
#include "engine/replacements.h"
#include "engine/symbols.h"
#include "engine/unicode.h"

namespace engine {
namespace {

// The set of hashes of the symbols past the table's end: kept to three quarters full.
constexpr std::size_t kOverflowSlots = std::size_t{1} << 17;

std::size_t SlotOf(std::uint64_t hash, std::size_t slots) {
  return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> 32) & (slots - 1);
}

using report_text::Counted;
using report_text::KeptPart;
using report_text::Listed;
using report_text::SafeField;
using report_text::Shown;

// Records of Replacements.txt named one by one in a sentence; past that, counted.
constexpr std::uint64_t kListedRecords = 20;

// How often a record was applied, as one says it: "once", "3 times".
std::string Times(std::uint64_t count) {
  return count == 1 ? "once" : std::to_string(count) + " times";
}

// A sentence, in the Note column of a record of its own: a spreadsheet then
// keeps the Symbol column as narrow as its symbols.
void Sentence(OutputBuffer& report, std::string_view sentence) {
  report.Record({"\t\t\t\t\t", SafeField(std::string(sentence))});
}

}  // namespace

// A symbol with a TAB in it may be the first symbol of a line whose columns
// are separated by TABs: the column that holds a legal symbol looks like the
// transcription.
std::string SymbolReport::ColumnsNote(std::string_view symbol,
                                      const SymbolInventory& inventory) const {
  std::string note = "It holds a TAB: in.txt may be columns separated by TABs";
  int column = 1;
  for (std::size_t from = 0;; ++column) {
    const std::size_t end = std::min(symbol.find('\t', from), symbol.size());
    const std::string_view part = symbol.substr(from, end - from);
    if (column > 1 && inventory.Has(part)) {
      return note + "; " + unicode::Visible(part) + " is in Symbols.txt, so column " +
             std::to_string(column) + " looks like the transcription.";
    }
    if (end == symbol.size()) break;
    from = end + 1;
  }
  return note + " rather than one transcription a line.";
}

// A symbol longer than kKeptBytes is known by its kept bytes, a NUL byte, its
// length and its hash: longer than any symbol known by its bytes.
std::string_view SymbolReport::KeyOf(std::string_view symbol) {
  if (symbol.size() <= kKeptBytes) return symbol;
  const std::uint64_t numbers[] = {symbol.size(), removed_.SeededHash(symbol)};
  long_key_.assign(KeptPart(symbol)).push_back('\0');
  long_key_.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
  return long_key_;
}

// True when the symbol is new among those past the table's end.
bool SymbolReport::CountOverflow(std::string_view symbol) {
  if (!overflow_counted_exactly_) return false;
  if (overflow_hashes_.empty()) overflow_hashes_.assign(kOverflowSlots, 0);
  const std::uint64_t hash = removed_.SeededHash(symbol) | 1;  // 0 is a free slot
  for (std::size_t slot = SlotOf(hash, kOverflowSlots);; slot = (slot + 1) & (kOverflowSlots - 1)) {
    if (overflow_hashes_[slot] == hash) return false;
    if (overflow_hashes_[slot] != 0) continue;
    if (4 * (overflow_symbols_ + 1) > 3 * kOverflowSlots) {
      overflow_counted_exactly_ = false;
      return false;
    }
    overflow_hashes_[slot] = hash;
    return true;
  }
}

void SymbolReport::RemovedFirst(std::uint64_t packed, long long line_number) {
  char bytes[SymbolIndex::kMaxPackedLength];
  RemovedFirst(SymbolIndex::Unpack(packed, bytes), line_number);
}

void SymbolReport::Removed(std::string_view symbol, long long line_number) {
  CountLine(line_number);
  const std::uint32_t number = removed_.Find(KeyOf(symbol));
  if (number != SymbolIndex::kAbsent) return Count(tallies_[number], line_number);
  RemovedFirst(symbol, line_number);
}

void SymbolReport::RemovedFirst(std::string_view symbol, long long line_number) {
  bool first_time = true;
  if (tallies_.size() < kLargestTable) {
    removed_.Insert(KeyOf(symbol));
    tallies_.push_back(
        {std::string(KeptPart(symbol)), symbol.size(), 1, 1, line_number, line_number});
  } else {
    ++overflow_times_;
    first_time = CountOverflow(symbol);
    if (first_time) ++overflow_symbols_;
  }
  // A symbol is first removed from the first line that holds it, so the first
  // line with a stray byte is found among first removals; past the count of
  // the symbols beyond the table, every removal is looked at.
  if (list_stray_line_ == 0 && (first_time || !overflow_counted_exactly_)) {
    if (const std::size_t stray = unicode::FirstStrayByte(symbol);
        stray != std::string_view::npos) {
      list_stray_line_ = line_number;
      list_stray_byte_ = static_cast<unsigned char>(symbol[stray]);
    }
  }
}

bool SymbolReport::Write(OutputBuffer& report, OutputBuffer& suggestions_file,
                         const SymbolInventory& inventory, const Replacements& replacements) const {
  std::vector<const Tally*> order;
  order.reserve(tallies_.size());
  for (const Tally& tally : tallies_) order.push_back(&tally);
  // Tallies are in the order their symbols were first removed, which settles the rest.
  std::stable_sort(order.begin(), order.end(), [](const Tally* a, const Tally* b) {
    return a->times != b->times ? a->times > b->times : a->first_line < b->first_line;
  });
  // What the list kept: anything at all, and anything but ASCII. The list is
  // ASCII when neither what it lost nor what it kept is not.
  bool any_used = false, used_non_ascii = false;
  inventory.ForEachSymbol([&](std::uint32_t, std::string_view symbol, bool used) {
    any_used |= used;
    used_non_ascii |= used && !unicode::IsAscii(symbol);
  });
  const bool list_is_ascii =
      !used_non_ascii && std::all_of(tallies_.begin(), tallies_.end(), [](const Tally& tally) {
        return unicode::IsAscii(tally.kept);
      });
  NearMatches near(inventory, check_.Facts(), list_is_ascii);
  for (const Tally* tally : order) {
    if (tally->length == tally->kept.size() && tally->kept.find('\t') == std::string::npos)
      near.Expect(tally->kept);
  }
  near.FindCandidates();
  std::vector<Suggestion> suggestions;
  suggestions.reserve(order.size());
  for (const Tally* tally : order) {
    if (tally->length > tally->kept.size()) {
      suggestions.emplace_back();
    } else if (tally->kept.find('\t') != std::string::npos) {
      suggestions.push_back({ColumnsNote(tally->kept, inventory), {}, Suggestion::Kind::kOther});
    } else {
      suggestions.push_back(near.For(tally->kept));
    }
  }

  // A symbol that Replacements.txt replaces has its choice made: it is not
  // suggested again, where a second replacement would contradict the first.
  // One it writes, and Symbols.txt lacks, is said to be its doing.
  std::unordered_map<std::string_view, const Replacements::Record*> written_by;
  for (const Replacements::Record& record : replacements.Records()) {
    for (const Replacements::Part& part : record.parts)
      if (!part.legal) written_by.emplace(part.text, &record);
  }
  std::size_t suggested = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Tally& tally = *order[i];
    Suggestion& suggestion = suggestions[i];
    if (tally.length > tally.kept.size()) continue;
    if (replacements.Find(std::string_view(tally.kept)) != Replacements::kNone)
      suggestion.replacement.clear();
    if (const auto writer = written_by.find(tally.kept); writer != written_by.end()) {
      suggestion.note = "Replacements.txt line " + std::to_string(writer->second->line) +
                        " writes it for " + Shown(writer->second->symbol) +
                        ", but Symbols.txt does not have it." +
                        (suggestion.note.empty() ? "" : " " + suggestion.note);
    }
    suggested += !suggestion.replacement.empty();
  }

  const std::vector<std::string> findings =
      Findings(any_used, suggestions, suggested, replacements);
  for (const std::string& finding : findings) Sentence(report, finding);
  if (!findings.empty()) report.Text("\r\n");
  report.Record({kHeader});
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Tally& tally = *order[i];
    report.Record({SafeField(Shown(tally.kept, tally.length)), "\t",
                   unicode::CodePoints(tally.kept), "\t", std::to_string(tally.times), "\t",
                   std::to_string(tally.lines), "\t", std::to_string(tally.first_line), "\t",
                   SafeField(suggestions[i].note), "\t",
                   SafeField(unicode::Visible(suggestions[i].replacement))});
  }
  report.Text("\r\n");
  for (const std::string& sentence : Sentences(replacements)) Sentence(report, sentence);
  for (const std::string& sentence : check_.Sentences(inventory)) Sentence(report, sentence);

  if (suggested == 0) return false;
  // The fields as the report's table writes them, so that a record of either reads the same.
  suggestions_file.Record({kSuggestionsHeader});
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (suggestions[i].replacement.empty()) continue;
    suggestions_file.Record({SafeField(Shown(order[i]->kept)), "\t",
                             SafeField(unicode::Visible(suggestions[i].replacement)), "\t",
                             SafeField(suggestions[i].note), "\t",
                             std::to_string(order[i]->times)});
  }
  for (const Replacements::Record& record : replacements.Records()) {
    suggestions_file.Record(
        {SafeField(unicode::Visible(record.symbol)), "\t",
         SafeField(unicode::Visible(record.replacement)), "\t",
         "Accepted before: line " + std::to_string(record.line) + " of Replacements.txt.", "\t",
         std::to_string(record.times)});
  }
  return true;
}

// What a user must see before the table: a file that is not what the
// program reads, and a run whose outputs are mostly loss.
std::vector<std::string> SymbolReport::Findings(bool any_used,
                                                const std::vector<Suggestion>& suggestions,
                                                std::size_t suggested,
                                                const Replacements& replacements) const {
  std::vector<std::string> findings;
  if (suggested != 0) {
    findings.push_back("SuggestedReplacements.txt has the " +
                       Counted(suggested, "replacement", "replacements") +
                       " suggested below (Replace with)" +
                       (replacements.Empty() ? "" : ", and the records of Replacements.txt") +
                       ". To accept them: delete the records you do not want, rename the file to "
                       "Replacements.txt, and run again.");
  }
  std::vector<std::string> writes_unknown;
  std::uint64_t unknown_records = 0;
  for (const Replacements::Record& record : replacements.Records()) {
    std::vector<std::string> unknown;
    for (const Replacements::Part& part : record.parts)
      if (!part.legal) unknown.push_back(Shown(part.text));
    if (unknown.empty()) continue;
    if (++unknown_records > kListedRecords) continue;
    writes_unknown.push_back("line " + std::to_string(record.line) + " writes " + Listed(unknown) +
                             " for " + Shown(record.symbol) +
                             (record.times == 0 ? "" : " (used " + Times(record.times) + ")"));
  }
  if (!writes_unknown.empty()) {
    findings.push_back(
        "Replacements.txt writes symbols that Symbols.txt does not have, and they "
        "are removed where it writes them: " +
        Listed(writes_unknown, unknown_records - writes_unknown.size()) +
        ". Add them to Symbols.txt, or mend those records.");
  }
  if (list_stray_line_ != 0) {
    findings.push_back("in.txt is not UTF-8: line " + std::to_string(list_stray_line_) +
                       " has the byte " + unicode::ByteText(list_stray_byte_) +
                       ", which UTF-8 does not allow there. It is likely Latin-1 or "
                       "Windows-1252; saved again as UTF-8, its symbols can match those of "
                       "Symbols.txt.");
  }
  // UTF-16 without its mark: every other byte of a Latin letter is NUL.
  std::uint64_t times = overflow_times_, with_nul = 0, tabbed_lines = 0;
  for (const Tally& tally : tallies_) {
    times += tally.times;
    if (tally.kept.find('\0') != std::string::npos) with_nul += tally.times;
    if (tally.kept.find('\t') != std::string::npos) tabbed_lines += tally.lines;
  }
  if (with_nul != 0 && 2 * with_nul >= times) {
    findings.push_back(
        "in.txt looks like UTF-16 without a byte-order mark: most symbols removed hold NUL "
        "bytes (<U+0000>) between their letters. Save it as UTF-8.");
  }
  if (std::string not_utf8 = check_.NotUtf8(); !not_utf8.empty())
    findings.push_back(std::move(not_utf8));
  if (list_lines_ != 0 && !any_used) {
    findings.push_back("FixedLines.txt is empty: no line of in.txt has a symbol of Symbols.txt.");
  } else if (list_lines_ != 0 && 2 * lines_ > list_lines_) {
    findings.push_back("Most lines of in.txt lost a symbol: " + std::to_string(lines_) + " of " +
                       std::to_string(list_lines_) + ".");
  }
  if (2 * tabbed_lines > static_cast<std::uint64_t>(lines_)) {
    findings.push_back(
        "Most lines that lost a symbol have a TAB in it: in.txt looks like columns (a word, "
        "then its transcription) rather than one transcription a line. The notes below say "
        "which column holds symbols of Symbols.txt.");
  }
  if (!suggestions.empty() && overflow_times_ == 0) {
    const auto all = [&](Suggestion::Kind kind) {
      return std::all_of(suggestions.begin(), suggestions.end(),
                         [&](const Suggestion& s) { return s.kind == kind; });
    };
    const bool cased = all(Suggestion::Kind::kCase), stressed = all(Suggestion::Kind::kStress);
    if (cased || stressed) {
      findings.push_back(std::string("Every symbol removed is one of Symbols.txt ") +
                         (cased ? "in another case." : "with or without a stress digit."));
    }
  }
  return findings;
}

std::vector<std::string> SymbolReport::Sentences(const Replacements& replacements) const {
  std::vector<std::string> sentences;
  std::uint64_t times = overflow_times_;
  for (const Tally& tally : tallies_) times += tally.times;
  if (times == 0) {
    sentences.push_back("No symbol was removed from in.txt.");
  } else {
    sentences.push_back((overflow_counted_exactly_ ? "" : "More than ") +
                        Counted(tallies_.size() + overflow_symbols_, "different symbol was",
                                "different symbols were") +
                        " removed, " + Counted(times, "time", "times") + " in all, from " +
                        Counted(static_cast<std::uint64_t>(lines_), "line", "lines") +
                        " of in.txt.");
  }
  if (overflow_times_ != 0) {
    sentences.push_back("Only the first " + std::to_string(kLargestTable) +
                        " different symbols removed have a record above: " +
                        (overflow_counted_exactly_ ? "" : "more than ") +
                        std::to_string(overflow_symbols_) + " more were removed " +
                        Counted(overflow_times_, "time", "times") + " in all.");
  }
  if (crlf_ends_ != 0 && lone_ends_ != 0) {
    sentences.push_back("in.txt mixes line ends: " +
                        Counted(static_cast<std::uint64_t>(crlf_ends_), "line ends", "lines end") +
                        " with CR LF and " + std::to_string(lone_ends_) +
                        " with a lone CR or LF. This program ends a line at each, but other tools "
                        "may not.");
  }
  std::uint64_t replaced = 0, applied = 0;
  std::vector<std::string> unmatched;
  std::uint64_t unmatched_count = 0;
  for (const Replacements::Record& record : replacements.Records()) {
    if (record.times == 0) {
      if (++unmatched_count <= kListedRecords)
        unmatched.push_back(Shown(record.symbol) + " (line " + std::to_string(record.line) + ")");
      continue;
    }
    replaced += record.times;
    if (++applied > kListedRecords) continue;
    sentences.push_back(
        "Replacements.txt line " + std::to_string(record.line) +
        (record.replacement.empty() ? " deleted " + Shown(record.symbol)
                                    : " replaced " + Shown(record.symbol) + " with " +
                                          unicode::Visible(record.replacement)) +
        " " + Times(record.times) + (record.times == 1 ? ", in line " : ", first in line ") +
        std::to_string(record.first_line) + " of in.txt.");
  }
  if (applied > kListedRecords) {
    sentences.push_back(Counted(applied - kListedRecords, "more record", "more records") +
                        " of Replacements.txt replaced symbols too: " +
                        Counted(replaced, "token was", "tokens were") + " replaced in all.");
  }
  if (!unmatched.empty()) {
    sentences.push_back("No symbol of in.txt is " +
                        Listed(unmatched, unmatched_count - unmatched.size()) +
                        ", so Replacements.txt replaced nothing there.");
  }
  if (emptied_lines_ != 0) {
    sentences.push_back(Counted(static_cast<std::uint64_t>(emptied_lines_), "line", "lines") +
                        " of in.txt lost every symbol to Replacements.txt (the first is line " +
                        std::to_string(first_emptied_line_) +
                        "): FixedLines.txt and BadLines.txt have no record of " +
                        (emptied_lines_ == 1 ? "it." : "them."));
  }
  return sentences;
}

}  // namespace engine
