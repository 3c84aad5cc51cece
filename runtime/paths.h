// The program's folder, and paths split into folder and name.
#pragma once

#include <string>
#include <string_view>

namespace rt {

// The folder of the running executable, as the program's file names are built
// on it (runtime/program_folder.cpp: the desktop programs only).
std::string ProgramFolder();

// The folder part of a path ("." when it has none) and its last name; both
// "/" and "\" separate.
std::string FolderOf(std::string_view path);
std::string FileNameOf(std::string_view path);

}  // namespace rt
