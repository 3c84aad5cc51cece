#include "window/clean_folder.h"

#include <optional>

#include "engine/run.h"
#include "runtime/outputs.h"

namespace {

engine::ByteSink SinkOf(rt::OutputFile& file) {
  return [&file](std::string_view bytes) { file.Write(bytes); };
}

}  // namespace

void CleanFolder(const FolderSource& program_folder, engine::SymbolInventory& inventory,
                 const engine::Progress& progress, const rt::Waiting& waiting) {
  auto path = [&](std::string_view name) { return program_folder() + "/" + std::string(name); };
  rt::InputFile list(path(engine::kInName));
  // Symbols.txt is opened after the outputs; one that could never be read
  // whole is refused before the folder is claimed.
  rt::CheckNotSpecial(path(engine::kSymbolsName));
  rt::OutputSet outputs(waiting ? waiting : rt::Waiting(rt::os::PauseBriefly));
  rt::OutputFile& fixed = outputs.Create(path(engine::kFixedName));
  rt::OutputFile& bad = outputs.Create(path(engine::kBadName));
  rt::OutputFile& report = outputs.Create(path(engine::kReportName));
  rt::OutputFile& suggestions = outputs.Create(path(engine::kSuggestionsName));
  rt::InputFile symbols(path(engine::kSymbolsName));
  std::optional<rt::InputFile> replacements =
      rt::InputFile::IfPresent(path(engine::kReplacementsName));
  const engine::RunOutcome outcome =
      engine::Run({SourceOf(list), SourceOf(symbols),
                   replacements ? std::optional(SourceOf(*replacements)) : std::nullopt,
                   SinkOf(fixed), SinkOf(bad), SinkOf(report), SinkOf(suggestions)},
                  inventory, progress);
  if (!outcome.suggested) suggestions.Withdraw();
  outputs.Commit();
  progress(engine::kClosingCaption);
}
