#include "engine/run.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "engine/list_scan.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace engine {
namespace {

static_assert(rt::FileTable::kReadAhead >= kScanReadAhead);

// How many lines the scan may pass before handing them over: up to the next
// one whose number shows progress, or the one that would overflow the count,
// whose caption or error comes before anything is written for it.
int LinesUpToNextCaption(int line_count) {
  long long next_caption = (line_count / kProgressEvery + 1LL) * kProgressEvery;
  return std::max(1, static_cast<int>(std::min<long long>(next_caption, INT_MAX) - line_count));
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
  ListScan scan(symbols);
  std::string_view text = files.InHand(kInFile);
  bool at_end = text.empty();
  std::vector<std::string_view> record;
  const std::string bad_symbol_text = "\t" + std::string(kBadSymbolText) + "\t";
  for (;;) {
    const ListScan::Step step = scan.Next(text, at_end, LinesUpToNextCaption(LineCount));
    if (step.lines > INT_MAX - LineCount) rt::ThrowOverflow();
    LineCount += step.lines;
    if (step.lines > 0 && LineCount % kProgressEvery == 0) {
      window.SetCaption(ProgressCaption(LineCount));
    }

    if (step.end_record) {
      files.WriteRecord(kFixedFile, {step.records});
    } else if (!step.records.empty()) {
      files.WriteRecords(kFixedFile, step.records);
    }
    if (const WorkedLine* line = step.worked) {
      // The worked line is the step's last, so LineCount is its number.
      const rt::NumberText number(LineCount);
      if (line->Blank()) files.WriteRecord(kBadFile, {number.View(), "\t", kBlankLineText});
      if (!line->CleanedLine.empty()) files.WriteRecord(kFixedFile, line->CleanedLine);
      if (!line->BadSymbol.empty()) {
        record.assign({number.View(), "\t"});
        record.insert(record.end(), line->CurrentLine.begin(), line->CurrentLine.end());
        record.push_back(bad_symbol_text);
        record.push_back(line->BadSymbol);
        files.WriteRecord(kBadFile, record);
      }
    }

    if (step.finished) break;
    if (step.need_more) {
      files.Skip(kInFile, scan.Passed());
      const std::size_t kept = text.size() - scan.Passed();
      scan.DropPassed();
      text = files.ReadMore(kInFile);
      at_end = text.size() == kept;
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
