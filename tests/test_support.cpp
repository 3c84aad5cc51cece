#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "window/clean_folder.h"

namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder() : TempFolder(fs::temp_directory_path()) {}

TempFolder::TempFolder(const fs::path& base) {
  // A name no other test process has taken: under node every process has the
  // same number, so a random part keeps concurrent runs apart.
  static std::atomic<int> serial{0};
  static const unsigned salt = std::random_device{}();
  fs::create_directories(base);
  fs::path path;
  do {
    path = base / ("fixinput-test-" + std::to_string(salt) + "-" + std::to_string(serial++));
  } while (!fs::create_directory(path));
  path_ = path.string();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempFolder::Write(std::string_view name, std::string_view bytes) const {
  WriteBytes(File(name), bytes);
}

std::string TempFolder::Read(std::string_view name) const {
  return ReadBytes(File(name));
}

bool TempFolder::Has(std::string_view name) const {
  return fs::exists(File(name));
}

void TempFolder::Remove(std::string_view name) const {
  fs::remove(File(name));
}

std::vector<std::string> TempFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path FastScratchBase() {
  const fs::path probe =
      fs::path("/dev/shm") / ("fixinput-probe-" + std::to_string(std::random_device{}()));
  std::error_code error;
  if (fs::create_directory(probe, error)) {
    fs::remove(probe, error);
    return probe.parent_path();
  }
  return fs::temp_directory_path();
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void RunIn(const TempFolder& folder, RecordingWindow& window) {
  CleanFolder([&] { return folder.Path(); }, window.symbols,
              [&](std::string_view caption) { window.captions.emplace_back(caption); });
}

engine::ByteSource SourceOf(std::string bytes, std::size_t first_read, std::size_t read_size) {
  auto read = [bytes = std::move(bytes), at = std::size_t{0}, first_read, read_size](
                  char* to, std::size_t size) mutable {
    const std::size_t most = std::max<std::size_t>(at == 0 ? first_read : read_size, 1);
    const std::size_t count = std::min({size, most, bytes.size() - at});
    std::copy_n(bytes.data() + at, count, to);
    at += count;
    return count;
  };
  return {"in.txt", std::move(read)};
}

engine::SymbolInventory InventoryOf(std::initializer_list<std::string_view> symbols) {
  engine::SymbolInventory inventory;
  for (std::string_view symbol : symbols) inventory.AddSymbol(symbol);
  return inventory;
}

}  // namespace testing_support
