// The run on the files of one folder: what the first click does, and what
// the tests and the benchmarks run without a window.
#pragma once

#include <functional>
#include <string>

#include "engine/io.h"
#include "engine/symbols.h"
#include "runtime/folder_claim.h"
#include "runtime/input_file.h"

using FolderSource = std::function<std::string()>;

// An input file as the run reads it.
inline engine::ByteSource SourceOf(rt::InputFile& file) {
  return {file.Path(), [&file](char* to, std::size_t size) { return file.Read(to, size); }};
}

// Opens in.txt, the four outputs, Symbols.txt and any Replacements.txt, in
// that order, in the folder that `program_folder` names (asked anew for
// each), runs the cleaning, puts the outputs in place (SuggestedReplacements.txt
// only where there are suggestions; else an earlier one goes) and shows the
// closing caption. Throws rt::RuntimeError on any failure, leaving the
// earlier outputs as they were.
// While another run holds the folder, `waiting` is called between tries
// (none: the run only pauses).
void CleanFolder(const FolderSource& program_folder, engine::SymbolInventory& inventory,
                 const engine::Progress& progress, const rt::Waiting& waiting = {});
