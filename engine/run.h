// The cleaning run: the program's whole job, done once, inside the first click.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/symbols.h"

namespace rt {
class FileTable;
}

namespace engine {

// What the run needs of the window it works for.
class RunWindow {
 public:
  virtual ~RunWindow() = default;
  // Replaces the text of the window's button.
  virtual void SetCaption(std::string_view caption) = 0;
  // The inventory the window holds for the life of the program.
  virtual SymbolInventory& Symbols() = 0;
};

// File numbers and names of the run.
inline constexpr int kInFile = 1;
inline constexpr int kFixedFile = 2;
inline constexpr int kBadFile = 3;
inline constexpr int kSymbolsFile = 4;
inline constexpr std::string_view kInName = "/in.txt";
inline constexpr std::string_view kFixedName = "/FixedLines.txt";
inline constexpr std::string_view kBadName = "/BadLines.txt";
inline constexpr std::string_view kSymbolsName = "/Symbols.txt";

inline constexpr int kProgressEvery = 1000;
inline constexpr std::string_view kBlankLineText = "blank line (removed in FixedLines.txt)";
inline constexpr std::string_view kBadSymbolText = "Bad symbol removed";
inline constexpr std::string_view kClosingCaption =
    "Done.  Fixed file is in this folder, called FixedLines.txt.  List of lines repaired is also "
    "in "
    "this folder, with the file name BadLines.txt.  Click again to exit.";

std::string ProgressCaption(int line_count);

using FolderSource = std::function<std::string()>;

// Cleans in.txt against Symbols.txt into FixedLines.txt and BadLines.txt, all in
// the folder that `program_folder` names (asked anew for each file). Throws
// rt::RuntimeError on any failure, after dropping the outputs' new contents.
void Run(RunWindow& window, rt::FileTable& files, const FolderSource& program_folder);

}  // namespace engine
