// Replacements.txt: symbols the user has chosen to write otherwise, one
// record a symbol, SYMBOL TAB REPLACEMENT (further fields are the user's
// notes). Each token of in.txt that is a SYMBOL becomes its REPLACEMENT's
// symbols, which are then judged against Symbols.txt like any token: by
// whole token, never inside one, and never again (a replacement is not
// replaced). <U+XXXX> and <0xNN> stand for that character or byte, as the
// report writes the characters one cannot see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/symbol_index.h"

namespace engine {

class SymbolInventory;
class TextReader;

// A token replaced by a record whose symbols are all legal, on a line that
// is otherwise clean: noted in one word, the token's place in its low bits,
// so that the scan's hot loop notes one with a store and no branch.
class TokenEdit {
 public:
  static constexpr int kRecordShift = 40;
  // Records past this are never noted.
  static constexpr std::uint32_t kMostRecords = std::uint32_t{1} << (63 - kRecordShift);
  // Places count in the text in hand, which holds the line in hand: never a terabyte.
  static constexpr std::uint64_t kMostPlace = std::uint64_t{1} << kRecordShift;
  // The word that, ORed with a token's place, notes it replaced by `record`;
  // its top bit set, which no place has.
  static constexpr std::uint64_t Mark(std::uint32_t record) {
    return std::uint64_t{1} << 63 | std::uint64_t{record} << kRecordShift;
  }

  TokenEdit() = default;
  TokenEdit(std::size_t at, std::uint32_t record) : word_(at | Mark(record)) {}
  explicit TokenEdit(std::uint64_t word) : word_(word) {}

  // Where the token starts.
  std::size_t at() const { return static_cast<std::size_t>(word_ & (kMostPlace - 1)); }
  std::uint32_t record() const {
    return static_cast<std::uint32_t>(word_ >> kRecordShift) & (kMostRecords - 1);
  }
  // The text the place counts from loses its first `bytes`.
  void MoveBack(std::size_t bytes) { word_ -= bytes; }

 private:
  std::uint64_t word_ = 0;
};

class Replacements {
 public:
  static constexpr std::uint32_t kNone = SymbolIndex::kAbsent;
  static constexpr std::size_t kReadable = 32;
  static constexpr std::size_t kIndexedRecords = 64;

  // One symbol of a replacement, judged before the run.
  struct Part {
    std::string_view text;
    std::uint64_t packed = 0;  // as SymbolIndex::Pack packs it; 0 when longer
    bool legal = false;        // Symbols.txt has it
  };
  struct Record {
    std::string symbol;
    std::string replacement;  // its symbols joined by single spaces; empty deletes
    long long line = 0;       // of Replacements.txt
    // Filled by Judge.
    std::vector<Part> parts;
    // It writes one or more symbols, all legal: a line that is clean but
    // for it stays clean, written with the replacement in the token's place
    // (but for a record past TokenEdit::kMostRecords).
    bool all_legal = false;
    // The replacement, with kReadable bytes after it that may be read.
    std::string_view readable;
    // Tokens of in.txt replaced, and the line of the first.
    std::uint64_t times = 0;
    long long first_line = 0;
  };

  // Reads the records of the file to its end. A record without a TAB, with
  // an empty SYMBOL or one that no token can be, or a SYMBOL given twice
  // with different replacements, is the bad-file-mode error naming the file
  // and the line.
  void Load(TextReader& file, const std::string& name);

  bool Empty() const { return records_.empty(); }
  // Some SYMBOL is longer than a packed token.
  bool HasLong() const { return has_long_; }
  const std::vector<Record>& Records() const { return records_; }
  // The most bytes a replacement has.
  std::size_t Longest() const { return longest_; }

  // Judges every replacement's symbols against `inventory`, and makes the
  // index of short tokens that the scan looks up.
  void Judge(SymbolInventory& inventory);

  // What the scan asks of a short token, packed: is it legal, and which
  // record replaces it. One lookup settles a legal token, and a token of a
  // record that writes legal symbols only, as most records do, once it has
  // replaced a token: the scan's index holds the inventory's short symbols
  // but those replaced, and the short SYMBOLs of such records, each with its
  // record, added as the scan first meets them (Index). A table whose
  // records match nothing thus costs no more than its one lookup of each
  // illegal token, and however many match, the index holds at most
  // kIndexedRecords of them or as many as the inventory has short symbols.
  // A token the index lacks is looked for among every SYMBOL. A lookup marks
  // what it finds.
  struct TokenProbe {
    TokenProbe(SymbolIndex::PackedProbe symbols, SymbolIndex::PackedProbe replaced)
        : symbols(symbols), replaced(replaced) {}
    SymbolIndex::PackedProbe symbols;
    SymbolIndex::PackedProbe replaced;  // SYMBOLs, by record
    // By number in `symbols`: 0 for a legal symbol, else TokenEdit::Mark(its record).
    const std::uint64_t* marks = nullptr;
    bool noting = false;  // `symbols` has records

    // Whether the token is legal; if not, `record` is the one that replaces it, or kNone.
    bool Judge(std::uint64_t packed, std::uint32_t& record) const {
      const std::uint32_t number = symbols.Find(packed);
      if (number != SymbolIndex::kAbsent) {
        if (marks[number] == 0) return true;
        record = TokenEdit(marks[number]).record();
        return false;
      }
      record = replaced.Find<false>(packed);
      return false;
    }
  };
  TokenProbe Tokens() {
    TokenProbe tokens(tokens_.Probe(), index_.Probe());
    tokens.marks = token_marks_.data();
    tokens.noting = indexed_records_ != 0;
    return tokens;
  }
  // The record replaced a short token: true when it joins the scan's index,
  // whose probes are then to be taken again from Tokens().
  bool Index(std::uint32_t record) { return !settled_[record] && Settle(record); }
  // After the scan: the legal symbols it found count as used in `inventory`.
  void MarkFoundUsed(SymbolInventory& inventory) const;

  // The record whose SYMBOL the token is, or kNone.
  std::uint32_t Find(std::string_view token) const { return index_.Peek(token); }
  const Record& operator[](std::uint32_t number) const { return records_[number]; }

  // The record replaced a token of the line that `line_number()` gives, the
  // number of a line of in.txt, asked only the first time; then the symbols
  // it writes count as used.
  template <class LineNumber>
  void Applied(std::uint32_t number, LineNumber&& line_number) {
    if (records_[number].times++ == 0) FirstApplied(records_[number], line_number());
  }

 private:
  void FirstApplied(Record& record, long long line_number);
  bool Settle(std::uint32_t record);

  std::vector<Record> records_;
  std::string replacements_text_;  // every replacement, then kReadable bytes
  SymbolIndex index_;              // SYMBOL to record
  SymbolIndex tokens_;
  std::vector<std::uint64_t> token_marks_;  // by number in tokens_
  std::vector<char> settled_;               // by record: in tokens_, or never to be
  std::size_t indexed_records_ = 0;
  std::size_t most_indexed_records_ = 0;
  bool has_long_ = false;
  std::size_t longest_ = 0;
  SymbolInventory* inventory_ = nullptr;
};

}  // namespace engine
