#include "engine/cleaner.h"

#include "engine/list_scan.h"

namespace engine {
namespace {

std::string Joined(const std::vector<std::string_view>& stretches) {
  std::string text;
  for (std::string_view stretch : stretches) text += stretch;
  return text;
}

}  // namespace

void LineCleaner::Clean(std::string_view line, const SymbolInventory& symbols) {
  line_.assign(line);
  line_.append(kScanReadAhead, ' ');
  ListScan scan(symbols);
  const ListScan::Step step = scan.Next(std::string_view(line_.data(), line.size()), true, 1);
  if (step.worked) {
    CurrentLine_ = Joined(step.worked->CurrentLine);
    cleaned_ = Joined(step.worked->CleanedLine);
    BadSymbol_ = step.worked->BadSymbol;
  } else {
    CurrentLine_ = cleaned_ = step.records;
    BadSymbol_.clear();
  }
}

}  // namespace engine
