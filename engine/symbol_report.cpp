#include "engine/symbol_report.h"

#include <algorithm>

#include "engine/output_buffer.h"
#include "engine/symbols.h"
#include "engine/unicode.h"

namespace engine {
namespace {

// The set of hashes of the symbols past the table's end: kept to three quarters full.
constexpr std::size_t kOverflowSlots = std::size_t{1} << 17;

std::size_t SlotOf(std::uint64_t hash, std::size_t slots) {
  return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> 32) & (slots - 1);
}

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The symbol's first kKeptBytes bytes, less a character that would be cut.
std::string_view KeptPart(std::string_view symbol) {
  if (symbol.size() <= SymbolReport::kKeptBytes) return symbol;
  std::size_t size = SymbolReport::kKeptBytes;
  for (int back = 0; back < 3 && (static_cast<unsigned char>(symbol[size]) & 0xC0) == 0x80; ++back)
    --size;
  return symbol.substr(0, size);
}

// The symbol as a record or a sentence shows it, marked where only its start is kept.
std::string Shown(std::string_view kept, std::size_t length) {
  std::string text = unicode::Visible(kept);
  if (length > kept.size()) text += "... (" + std::to_string(length) + " bytes in all)";
  return text;
}

}  // namespace

void SymbolReport::InventoryLine(long long line_number, std::string_view line,
                                 std::string_view symbol) {
  if (inventory_stray_line_ == 0) {
    if (const std::size_t stray = unicode::FirstStrayByte(line); stray != std::string_view::npos) {
      inventory_stray_line_ = line_number;
      inventory_stray_byte_ = static_cast<unsigned char>(line[stray]);
    }
  }
  if (symbol.empty()) return;
  const InventoryFlaw flaw{line_number, std::string(KeptPart(symbol)),
                           near_matches_.LineOf(symbol)};
  if (flaw.first_line != 0) repeated_.Add(flaw);
  if (symbol.find(' ') != std::string_view::npos) spaced_.Add(flaw);
  if (symbol.front() == '\t' || symbol.back() == '\t') tabbed_.Add(flaw);
  if (flaw.first_line != 0) return;
  if (std::string alike = near_matches_.Add(symbol, line_number); !alike.empty())
    alike_.Add(std::move(alike));
}

// A symbol with a TAB in it may be the first symbol of a line whose columns
// are separated by TABs: the column that holds a legal symbol looks like the
// transcription. Otherwise, what the symbol nearly matches.
std::string SymbolReport::NoteFor(const Tally& tally) const {
  if (tally.length > tally.kept.size()) return {};
  const std::string_view symbol = tally.kept;
  if (symbol.find('\t') == std::string_view::npos) return near_matches_.NoteFor(symbol);
  std::string note = "It holds a TAB: in.txt may be columns separated by TABs";
  int column = 1;
  for (std::size_t from = 0;; ++column) {
    const std::size_t end = std::min(symbol.find('\t', from), symbol.size());
    const std::string part(symbol.substr(from, end - from));
    if (column > 1 && near_matches_.LineOf(part) != 0) {
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
  const std::uint64_t numbers[] = {symbol.size(), SymbolIndex::Hash(symbol)};
  long_key_.assign(KeptPart(symbol)).push_back('\0');
  long_key_.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
  return long_key_;
}

// True when the symbol is new among those past the table's end.
bool SymbolReport::CountOverflow(std::string_view symbol) {
  if (!overflow_counted_exactly_) return false;
  if (overflow_hashes_.empty()) overflow_hashes_.assign(kOverflowSlots, 0);
  const std::uint64_t hash = SymbolIndex::Hash(symbol) | 1;  // 0 is a free slot
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

void SymbolReport::Write(OutputBuffer& report, const SymbolInventory& inventory) const {
  report.Record({"Symbol\tCode points\tTimes removed\tLines\tFirst line\tNote"});
  std::vector<const Tally*> order;
  order.reserve(tallies_.size());
  for (const Tally& tally : tallies_) order.push_back(&tally);
  // Tallies are in the order their symbols were first removed, which settles the rest.
  std::stable_sort(order.begin(), order.end(), [](const Tally* a, const Tally* b) {
    return a->times != b->times ? a->times > b->times : a->first_line < b->first_line;
  });
  for (const Tally* tally : order) {
    report.Record({Shown(tally->kept, tally->length), "\t", unicode::CodePoints(tally->kept), "\t",
                   std::to_string(tally->times), "\t", std::to_string(tally->lines), "\t",
                   std::to_string(tally->first_line), "\t", NoteFor(*tally)});
  }
  report.Text("\r\n");
  WriteSentences(report, inventory);
}

// The symbols of Symbols.txt that in.txt never has, the first few by line.
void SymbolReport::WriteUnused(OutputBuffer& report, const SymbolInventory& inventory) const {
  std::vector<std::pair<long long, std::string_view>> unused;
  near_matches_.ForEachSymbol([&](const std::string& symbol, long long line_number) {
    if (!inventory.Used(symbol)) unused.emplace_back(line_number, symbol);
  });
  if (unused.empty()) return;
  std::sort(unused.begin(), unused.end());
  std::string first;
  const std::size_t shown = std::min<std::size_t>(unused.size(), InventoryFlaws::kShown);
  for (std::size_t i = 0; i < shown; ++i) {
    first += i == 0 ? "" : i + 1 == shown && shown == unused.size() ? " and " : ", ";
    first += Shown(KeptPart(unused[i].second), unused[i].second.size()) + " (line " +
             std::to_string(unused[i].first) + ")";
  }
  if (shown < unused.size()) first += ", and " + std::to_string(unused.size() - shown) + " more";
  report.Record({"Symbols.txt has ", Counted(unused.size(), "symbol", "symbols"),
                 " that in.txt never uses: ", first, "."});
}

void SymbolReport::WriteSentences(OutputBuffer& report, const SymbolInventory& inventory) const {
  std::uint64_t times = overflow_times_;
  for (const Tally& tally : tallies_) times += tally.times;
  if (times == 0) {
    report.Record({"No symbol was removed from in.txt."});
  } else {
    report.Record({Counted(tallies_.size() + overflow_symbols_, "different symbol was",
                           "different symbols were"),
                   " removed, ", Counted(times, "time", "times"), " in all, from ",
                   Counted(static_cast<std::uint64_t>(lines_), "line", "lines"), " of in.txt."});
  }
  if (overflow_times_ != 0) {
    report.Record({"Only the first ", std::to_string(kLargestTable),
                   " different symbols removed have a record above: ",
                   overflow_counted_exactly_ ? "" : "more than ", std::to_string(overflow_symbols_),
                   " more were removed ", Counted(overflow_times_, "time", "times"), " in all."});
  }
  auto not_utf8 = [&](std::string_view file, long long line, unsigned char byte,
                      std::string_view other) {
    if (line == 0) return;
    report.Record({file, " is not UTF-8: line ", std::to_string(line), " has the byte ",
                   unicode::ByteText(byte),
                   ", which UTF-8 does not allow there. It is likely Latin-1 or "
                   "Windows-1252; saved again as UTF-8, its symbols can match those of ",
                   other, "."});
  };
  not_utf8("in.txt", list_stray_line_, list_stray_byte_, "Symbols.txt");
  if (crlf_ends_ != 0 && lone_ends_ != 0) {
    report.Record({"in.txt mixes line ends: ",
                   Counted(static_cast<std::uint64_t>(crlf_ends_), "line ends", "lines end"),
                   " with CR LF and ", std::to_string(lone_ends_),
                   " with a lone CR or LF. This program ends a line at each, but other tools may "
                   "not."});
  }
  not_utf8("Symbols.txt", inventory_stray_line_, inventory_stray_byte_, "in.txt");
  auto flaws = [&](const InventoryFlaws& found, auto&& sentence) {
    for (const InventoryFlaw& flaw : found.shown) {
      report.Record({"Symbols.txt line ", std::to_string(flaw.line_number), sentence(flaw)});
    }
    WriteMore(report, found, "more line", "more lines");
  };
  flaws(spaced_, [](const InventoryFlaw& flaw) {
    return " (" + Shown(flaw.symbol, flaw.symbol.size()) +
           ") has a space inside: no symbol of in.txt can match it, since spaces separate the "
           "symbols.";
  });
  flaws(tabbed_, [](const InventoryFlaw& flaw) {
    return " (" + Shown(flaw.symbol, flaw.symbol.size()) +
           ") begins or ends with a TAB: it matches only a symbol of in.txt with the same TAB.";
  });
  flaws(repeated_, [](const InventoryFlaw& flaw) {
    return " repeats line " + std::to_string(flaw.first_line) + " (" +
           Shown(flaw.symbol, flaw.symbol.size()) + ").";
  });
  for (const std::string& sentence : alike_.shown) report.Record({sentence});
  WriteMore(report, alike_, "more pair", "more pairs");
  WriteUnused(report, inventory);
}

template <class Item>
void SymbolReport::WriteMore(OutputBuffer& report, const FirstFew<Item>& found,
                             std::string_view one, std::string_view many) {
  const auto more = static_cast<std::uint64_t>(found.count) - found.shown.size();
  if (more != 0)
    report.Record({"Symbols.txt has ", Counted(more, one, many), " like the one before."});
}

}  // namespace engine
