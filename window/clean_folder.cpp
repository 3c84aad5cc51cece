#include "window/clean_folder.h"

#include "engine/run.h"
#include "runtime/input_file.h"
#include "runtime/outputs.h"

namespace {

engine::ByteSink SinkOf(rt::OutputFile& file) {
  return [&file](std::string_view bytes) { file.Write(bytes); };
}

}  // namespace

void CleanFolder(const FolderSource& program_folder, engine::SymbolInventory& inventory,
                 const engine::Progress& progress) {
  auto path = [&](std::string_view name) { return program_folder() + "/" + std::string(name); };
  rt::InputFile list(path(engine::kInName));
  rt::OutputSet outputs;
  rt::OutputFile& fixed = outputs.Create(path(engine::kFixedName));
  rt::OutputFile& bad = outputs.Create(path(engine::kBadName));
  rt::OutputFile& report = outputs.Create(path(engine::kReportName));
  rt::InputFile symbols(path(engine::kSymbolsName));
  engine::Run({SourceOf(list), SourceOf(symbols), SinkOf(fixed), SinkOf(bad), SinkOf(report)},
              inventory, progress);
  outputs.Commit();
  progress(engine::kClosingCaption);
}
