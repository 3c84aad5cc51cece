// Helpers the tests share: a scratch folder, whole-file reads and writes, and a
// window that records what the run shows on it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run.h"
#include "engine/symbols.h"

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder();
  // A folder under `base` instead of the system's temporary folder.
  explicit TempFolder(const std::filesystem::path& base);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  void Write(std::string_view name, std::string_view bytes) const;
  std::string Read(std::string_view name) const;
  bool Has(std::string_view name) const;
  void Remove(std::string_view name) const;
  // Every entry's name, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

// A folder in memory (/dev/shm) where there is one, else the system's temporary
// folder: for tests that make thousands of runs, each of which flushes its
// outputs to disk.
std::filesystem::path FastScratchBase();

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);

// What a run shows on the window, and the inventory the window hands it.
struct RecordingWindow {
  engine::SymbolInventory symbols;
  std::vector<std::string> captions;
};

// Runs the cleaning of `folder` as the first click does, with a recording window.
void RunIn(const TempFolder& folder, RecordingWindow& window);

// An inventory holding these symbols, in order.
engine::SymbolInventory InventoryOf(std::initializer_list<std::string_view> symbols);

// A file's bytes handed out in reads of at most `read_size` bytes: the first
// read of at most `first_read`.
engine::ByteSource SourceOf(std::string bytes, std::size_t first_read = SIZE_MAX,
                            std::size_t read_size = SIZE_MAX);

}  // namespace testing_support
