#include "engine/cleaner.h"

#include "engine/list_scan.h"

namespace engine {

void LineCleaner::Clean(std::string_view line, const SymbolInventory& symbols) {
  // The scan hands out the one line either as it stands or cleaned.
  class Keeper final : public LineSink {
   public:
    explicit Keeper(LineCleaner& cleaner) : cleaner_(cleaner) {}
    void CleanLines(const CleanRun& run) override {
      cleaner_.CurrentLine_ = cleaner_.cleaned_ = run.lines;
    }
    void CleanedPart(std::string_view part) override { cleaner_.cleaned_ += part; }
    void WorkedLine(const engine::WorkedLine& line) override {
      cleaner_.CurrentLine_ = line.CurrentLine;
      cleaner_.cleaned_ += line.CleanedLine;
      cleaner_.BadSymbol_ = line.BadSymbol;
    }

   private:
    LineCleaner& cleaner_;
  };
  CurrentLine_.clear();
  cleaned_.clear();
  BadSymbol_.clear();
  line_.assign(line);
  line_.append(kScanReadAhead, ' ');
  ListScan scan(symbols);
  Keeper keeper(*this);
  scan.Scan(std::span<char>(line_.data(), line.size()), true, keeper);
}

}  // namespace engine
