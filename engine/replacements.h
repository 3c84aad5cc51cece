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

class Replacements {
 public:
  static constexpr std::uint32_t kNone = SymbolIndex::kAbsent;
  static constexpr std::size_t kReadable = 32;

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
    // for it stays clean, written with the replacement in the token's place.
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
  // record replaces it. A legal token costs one lookup, as without
  // Replacements.txt: the scan's index holds the inventory's short symbols
  // but those replaced, so that however many records the table has, it
  // stays as small as the inventory; a token it lacks is looked for among
  // the SYMBOLs. A lookup marks a legal symbol found.
  struct TokenProbe {
    TokenProbe(SymbolIndex::PackedProbe symbols, SymbolIndex::PackedProbe replaced)
        : symbols(symbols), replaced(replaced) {}
    SymbolIndex::PackedProbe symbols;
    SymbolIndex::PackedProbe replaced;  // SYMBOLs, by record
    const char* all_legal = nullptr;    // by record: Record::all_legal

    // The record that replaces a token that is not legal, or kNone.
    std::uint32_t Replacing(std::uint64_t packed) const { return replaced.Find<false>(packed); }
  };
  TokenProbe Tokens() {
    TokenProbe tokens(tokens_.Probe(), index_.Probe());
    tokens.all_legal = all_legal_.data();
    return tokens;
  }
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

  std::vector<Record> records_;
  std::string replacements_text_;  // every replacement, then kReadable bytes
  SymbolIndex index_;              // SYMBOL to record
  SymbolIndex tokens_;
  std::vector<char> all_legal_;
  bool has_long_ = false;
  std::size_t longest_ = 0;
  SymbolInventory* inventory_ = nullptr;
};

}  // namespace engine
