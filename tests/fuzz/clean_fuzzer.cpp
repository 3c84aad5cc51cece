// The cleaning run against the model of its rules, on inputs libFuzzer makes
// up: the first byte says how many of the bytes after it are Symbols.txt, the
// rest is in.txt. Any difference stops the fuzzer with the two files shown.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tests/model_check.h"

namespace {

std::unique_ptr<testing_support::TempFolder> folder;

void RemoveFolder() {
  folder.reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!folder) {
    folder = std::make_unique<testing_support::TempFolder>(testing_support::FastScratchBase());
    std::atexit(RemoveFolder);
  }
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t symbols_size = std::min<std::size_t>(data[0], bytes.size());
  std::string_view symbols = bytes.substr(0, symbols_size);
  std::string_view list = bytes.substr(symbols_size);
  std::string difference = testing_support::DifferenceFromModel(*folder, list, symbols);
  if (!difference.empty()) {
    std::fprintf(stderr, "engine and rules disagree: %s\nSymbols.txt: %s\nin.txt: %s\n",
                 difference.c_str(), testing_support::Escaped(symbols).c_str(),
                 testing_support::Escaped(list).c_str());
    std::abort();
  }
  return 0;
}
