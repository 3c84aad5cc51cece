#include "engine/run.h"

#include "engine/cleaner.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace engine {
namespace {

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
  while (!files.AtEnd(kInFile)) {
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
