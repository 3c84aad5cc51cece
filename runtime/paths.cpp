#include "runtime/paths.h"

namespace rt {
namespace {

std::size_t LastSeparator(std::string_view path) {
  return path.find_last_of("/\\");
}

}  // namespace

std::string FolderOf(std::string_view path) {
  const std::size_t separator = LastSeparator(path);
  return separator == std::string_view::npos ? std::string(".")
                                             : std::string(path.substr(0, separator));
}

std::string FileNameOf(std::string_view path) {
  const std::size_t separator = LastSeparator(path);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

}  // namespace rt
