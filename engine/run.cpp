#include "engine/run.h"

#include <algorithm>
#include <climits>

#include "engine/cleaner.h"
#include "engine/verbatim_lines.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace engine {
namespace {

static_assert(rt::FileTable::kReadAhead >= kVerbatimReadAhead);

// How many lines may be counted before the next one whose number shows
// progress, or the one that would overflow the count.
int LinesBeforeNextCaption(int line_count) {
  long long next_caption = (line_count / kProgressEvery + 1LL) * kProgressEvery;
  return static_cast<int>(std::min<long long>(next_caption - 1, INT_MAX) - line_count);
}

// Writes whole lines as records, each ended by CR LF whatever ended it.
void WriteEachLine(rt::FileTable& files, std::string_view lines) {
  while (!lines.empty()) {
    std::size_t end = 0;
    while (lines[end] != '\r' && lines[end] != '\n') ++end;
    files.WriteRecord(kFixedFile, {lines.substr(0, end)});
    bool crlf = lines[end] == '\r' && end + 1 < lines.size() && lines[end + 1] == '\n';
    lines.remove_prefix(end + (crlf ? 2 : 1));
  }
}

std::string PathOf(const FolderSource& program_folder, std::string_view name) {
  std::string path = program_folder();
  path += name;
  return path;
}

void CleanAll(RunWindow& window, rt::FileTable& files, const FolderSource& program_folder) {
  files.Open(kInFile, rt::OpenMode::Input, PathOf(program_folder, kInName));
  files.Open(kFixedFile, rt::OpenMode::Output, PathOf(program_folder, kFixedName));
  files.Open(kBadFile, rt::OpenMode::Output, PathOf(program_folder, kBadName));
  files.Open(kSymbolsFile, rt::OpenMode::Input, PathOf(program_folder, kSymbolsName));
  const SymbolInventory& symbols = window.Symbols();
  LoadInventory(window.Symbols(), files, kSymbolsFile);

  int LineCount = 0;
  LineCleaner cleaner;
  const SymbolIndex::PackedProbe legal_symbols = symbols.LegalPackedSymbols();
  while (!files.AtEnd(kInFile)) {
    // Lines that cleaning leaves as they are go to FixedLines.txt a run at a
    // time, up to the next line that shows progress, which is read as below.
    std::string_view in_hand = files.InHand(kInFile);
    VerbatimLines verbatim =
        FindVerbatimLines(in_hand, LinesBeforeNextCaption(LineCount), legal_symbols);
    if (verbatim.length > 0) {
      std::string_view lines = in_hand.substr(0, verbatim.length);
      if (verbatim.crlf_only) {
        files.WriteRecords(kFixedFile, lines);
      } else {
        WriteEachLine(files, lines);
      }
      files.Skip(kInFile, verbatim.length);
      LineCount += verbatim.count;
    }
    if (files.AtEnd(kInFile)) break;

    std::string_view line = files.ReadLine(kInFile);
    rt::CheckedIncrement(LineCount);
    if (LineCount % kProgressEvery == 0) window.SetCaption(ProgressCaption(LineCount));
    cleaner.Clean(line, symbols);

    if (cleaner.Blank()) {
      files.WriteRecord(kBadFile, {rt::NumberText(LineCount).View(), "\t", kBlankLineText});
    }
    std::string_view cleaned = cleaner.CleanedLine();
    if (!cleaned.empty()) files.WriteRecord(kFixedFile, {cleaned});
    if (!cleaner.BadSymbol().empty()) {
      files.WriteRecord(kBadFile, {rt::NumberText(LineCount).View(), "\t", cleaner.CurrentLine(),
                                   "\t", kBadSymbolText, "\t", cleaner.BadSymbol()});
    }
  }
  files.CloseAll();
  window.SetCaption(kClosingCaption);
}

}  // namespace

std::string ProgressCaption(int line_count) {
  return "Done with " + std::to_string(line_count) + " lines...";
}

void Run(RunWindow& window, rt::FileTable& files, const FolderSource& program_folder) {
  try {
    CleanAll(window, files, program_folder);
  } catch (...) {
    files.Discard();
    throw;
  }
}

}  // namespace engine
