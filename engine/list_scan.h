// The one pass over the list: it finds where every token and every line ends
// (engine/line_model.h), looks each token up once, and from that alone tells
// which lines cleaning leaves as they stand and what it makes of the others.
//
// A run of spaces, however long, separates two tokens as one space does, and
// spaces at either end of a line separate nothing.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/growing_bytes.h"
#include "engine/line_model.h"
#include "engine/replacements.h"
#include "engine/symbol_index.h"
#include "engine/symbols.h"

namespace engine {

class TextReader;

// What cleaning makes of a line that it changes: texts that lie in the list,
// which the scan rewrites in place, or in the scan; valid while the sink that
// is handed it has it.
struct RepairedLine {
  // The line has no tokens.
  bool Blank() const { return CurrentLine.empty(); }
  // The line's tokens joined by single spaces: what the report shows.
  std::string_view CurrentLine;
  // The same for the legal tokens only: empty when there are none. When it
  // is long, only its last bytes: the sink had the others in CleanedPart calls.
  std::string_view CleanedLine;
  bool CleanedInParts = false;  // CleanedPart had the start of the cleaned form
  // The line keeps a legal token, so FixedLines.txt has a record for it.
  bool Kept() const { return CleanedInParts || !CleanedLine.empty(); }
  // The last illegal token; empty when every token is legal.
  std::string_view BadSymbol;
  // The line's illegal tokens that RemovedSymbols has not had, packed as
  // LineSink::RemovedSymbols has them.
  std::span<const std::uint64_t> removed;
  // How the line ended in the list: 2 for CR LF, 1 for a lone CR or LF, 0
  // for the end of the list.
  int end_length = 0;
};

// Lines that cleaning leaves as they stand, as they lie in the list, but for
// the tokens edited: to be written as records ended by CR LF.
struct CleanStretch {
  // Whole lines with their ends, but that the last has none when end_record is set.
  std::string_view lines;
  int count = 0;
  // The lines' ends other than CR LF, a lone CR or LF each, written as CR LF:
  // a bit for each byte from `marked`, the first byte's lowest.
  const char* marked = nullptr;
  std::uint64_t lone_ends = 0;
  // The last line ends with the list, and its CR LF is still to be written.
  bool end_record = false;
  // The tokens replaced, in order; their places count from `text`.
  const char* text = nullptr;
  std::span<const TokenEdit> edits;
  const Replacements* replacements = nullptr;  // where there are edits

  // The lines of the stretch that end before the edit: 0 for an edit of its first line.
  int LinesBefore(const TokenEdit& edit) const {
    const char* const token = text + edit.at();
    int count = 0;
    for (const char* at = lines.data(); at < token; ++at) {
      if (*at == '\n' || (*at == '\r' && (at + 1 == token || at[1] != '\n'))) ++count;
    }
    return count;
  }

  // Calls write(text, end) for stretches that, written one after another,
  // each followed by CR LF when `end` is set, are the records. Past the end
  // of each, at least Replacements::kReadable bytes may be read.
  template <class Write>
  void Records(Write&& write) const {
    const char* from = lines.data();
    const TokenEdit* edit = edits.data();
    const TokenEdit* const last_edit = edit + edits.size();
    // The edits before `end`.
    auto write_edits = [&](const char* end) {
      for (; edit != last_edit && text + edit->at() < end; ++edit) {
        const char* const token = text + edit->at();
        const Replacements::Record& record = (*replacements)[edit->record()];
        write(std::string_view(from, static_cast<std::size_t>(token - from)), false);
        write(record.readable, false);
        from = token + record.symbol.size();
      }
    };
    for (std::uint64_t ends = lone_ends; ends != 0; ends &= ends - 1) {
      const char* end = marked + std::countr_zero(ends);
      write_edits(end);
      write(std::string_view(from, static_cast<std::size_t>(end - from)), true);
      from = end + 1;
    }
    const char* const stop = lines.data() + lines.size();
    write_edits(stop);
    if (from != stop || end_record)
      write(std::string_view(from, static_cast<std::size_t>(stop - from)), end_record);
  }
};

// What the scan hands out, line by line, in the order of the lines.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void CleanLines(const CleanStretch& stretch) = 0;
  // The next bytes of the cleaned form of a long line that needs cleaning,
  // handed out as they are made so that the form is never held whole; its
  // RepairedLine follows with the rest. Valid until the call returns.
  virtual void CleanedPart(std::string_view part) = 0;
  // One line that cleaning changes; valid until the call returns.
  virtual void RepairedLine(const engine::RepairedLine& line) = 0;
  // The illegal tokens of a line, in their order: those of at most
  // SymbolIndex::kMaxPackedLength bytes as it packs them, several a call,
  // each longer one in a call of its own, and the last short ones in the
  // line's RepairedLine. Valid until the call returns.
  virtual void RemovedSymbols(std::span<const std::uint64_t> packed) = 0;
  virtual void RemovedSymbol(std::string_view symbol) = 0;
  // A token of the line is replaced by record `record` of Replacements.txt.
  virtual void Replaced(std::uint32_t record) { (void)record; }
};

// The most of a line's cleaned form that the scan holds before handing it out.
inline constexpr std::size_t kCleanedPartSize = 64 * 1024;

class ListScan {
 public:
  // With `replacements`, judged against `symbols`, every token that is a
  // SYMBOL of them is judged as its replacement's symbols.
  explicit ListScan(SymbolInventory& symbols, Replacements* replacements = nullptr,
                    std::size_t cleaned_part_size = kCleanedPartSize);

  // Hands every line of the list to `sink`, in order. A line that needs
  // cleaning is rewritten where it lies in the reader's buffer, as its tokens
  // joined by single spaces, and its cleaned form is handed out in parts as
  // it is made: so a line costs no more than its own bytes.
  void Clean(TextReader& list, LineSink& sink);

 private:
  // Hands the lines of `text` to `sink`, from where the call before stopped.
  // True at the end of the list; false when the text ends inside a line:
  // then the lines passed are dropped, and the text extended with what
  // follows. `at_end` says that nothing follows the text.
  template <bool kReplacing>
  bool Scan(std::span<char> text, bool at_end, LineSink& sink);
  // The bytes at the start of the text that hold only lines already handed out.
  std::size_t Passed() const { return line_start_; }
  // The reader is about to drop Passed() bytes from the start of the text.
  void DropPassed();

  // Where, in the block in hand, tokens and lines end; the separators
  // already passed are cleared.
  using Block = BlockMarks;
  bool LegalLong(const char* bytes, std::size_t token, std::size_t length) const;
  // The line in hand, at `line`, turns out to need cleaning at the token
  // that starts at `token`: what was passed of it before is legal tokens
  // between single spaces, and the tokens edited since it started.
  void StartRepair(char* bytes, std::size_t line, std::size_t token, LineSink& sink);
  [[gnu::noinline]] void ReplayEdits(char* bytes, std::size_t token, LineSink& sink);
  // Hands out the edits of the lines before `end` with their stretch, and
  // keeps those after it, on the line in hand.
  std::span<const TokenEdit> EditsBefore(std::size_t end);
  void DropEditsHandedOut(std::size_t handed);
  // `packed`: the token as SymbolIndex::Pack packs it, or 0 when it is too long.
  void RepairToken(char* bytes, std::size_t token, std::size_t length, std::uint64_t packed,
                   bool legal, LineSink& sink);
  // The token is the SYMBOL of `record`: the line keeps it, and the cleaned
  // form gets its replacement's legal symbols.
  void ReplaceToken(char* bytes, std::size_t token, std::size_t length, std::uint32_t record,
                    LineSink& sink);
  // Legal tokens from `start` to `end`, one space apart and after the token
  // replaced last, lengthen the line and its cleaned form.
  void PassLegalAfterReplaced(std::size_t start, std::size_t end);
  void RemoveSymbol(const char* bytes, std::size_t length, std::uint64_t packed, LineSink& sink);
  engine::RepairedLine FinishRepair(char* bytes, std::size_t end_length, LineSink& sink);
  // Puts the stretch of the line's tokens that ends with the last one found
  // in its place behind the tokens before it, a single space apart.
  void PlaceStretch(char* bytes);
  // The line has its first illegal token: its cleaned form parts from it.
  void Split(const char* bytes, LineSink& sink);
  void AddLegalStretch(const char* bytes, LineSink& sink);
  void AddCleaned(const char* text, std::size_t size, LineSink& sink);
  void HandOutRemoved(LineSink& sink);

  SymbolInventory& symbols_;
  const SymbolIndex::PackedProbe legal_symbols_;
  Replacements* const replacements_;  // none when empty
  Replacements::TokenProbe tokens_;   // where there are replacements

  // The block of the text being read, and what is left of its separators.
  Block block_;
  std::size_t block_start_ = 0;
  std::size_t next_block_ = 0;

  std::size_t line_start_ = 0;  // the line in hand
  std::size_t token_ = 0;       // where the token being looked for starts

  // Tokens one space apart, as they lie in the text, from `start` to `end`.
  struct Stretch {
    std::size_t start = 0;
    std::size_t end = 0;
    bool open = false;
  };

  // The line in hand, once it needs cleaning. Positions count from the
  // start of the text, as token_ does.
  bool repairing_ = false;
  bool joined_ = false;        // the next token follows the last one after a single space
  bool legal_joined_ = false;  // ... and so does it the last legal one
  // The tokens joined by single spaces, written from the line's first token
  // on, over bytes already read: from `current_`, `current_size_` bytes of
  // them are in place, and `stretch_` is still where it lies.
  std::size_t current_ = 0;
  std::size_t current_size_ = 0;
  Stretch stretch_;
  // Until the first illegal token the cleaned form is the same text; from
  // then on it is built apart, the legal tokens taken from where they lie,
  // and handed out whenever it would outgrow cleaned_part_size_.
  bool split_ = false;
  const std::size_t cleaned_part_size_;
  GrowingBytes cleaned_;
  std::size_t cleaned_size_ = 0;
  bool cleaned_in_parts_ = false;
  Stretch legal_stretch_;
  std::size_t bad_ = 0;  // in place once its stretch is
  std::size_t bad_length_ = 0;
  const char* bad_replacement_ = nullptr;  // the bad symbol, where a replacement wrote it
  // The tokens of clean lines replaced, not yet handed out.
  std::array<TokenEdit, 2 * kBlock> edits_;
  std::size_t edit_count_ = 0;
  // The line's short illegal tokens not yet handed out: a call to the sink
  // for each costs a list whose every line loses a token 5% more.
  std::array<std::uint64_t, 64> removed_;
  std::size_t removed_count_ = 0;
};

}  // namespace engine
