// The cleaning run against the model of its rules, on inputs libFuzzer makes
// up: the first byte says how many of the bytes after the first two are
// Symbols.txt; the second, where its top bit is set, that the next as many
// bytes as its other bits say are Replacements.txt; the rest is in.txt. Any
// difference stops the fuzzer with the files shown.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

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
  if (size < 2) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string_view symbols = bytes.substr(0, data[0]);
  bytes.remove_prefix(symbols.size());
  std::optional<std::string_view> replacements;
  if (data[1] & 0x80) {
    replacements = bytes.substr(0, data[1] & 0x7F);
    bytes.remove_prefix(replacements->size());
  }
  const std::string_view list = bytes;
  std::string difference =
      testing_support::DifferenceFromModel(*folder, list, symbols, replacements);
  if (!difference.empty()) {
    std::fprintf(stderr,
                 "engine and rules disagree: %s\nSymbols.txt: %s\nReplacements.txt: %s\n"
                 "in.txt: %s\n",
                 difference.c_str(), testing_support::Escaped(symbols).c_str(),
                 replacements ? testing_support::Escaped(*replacements).c_str() : "(none)",
                 testing_support::Escaped(list).c_str());
    std::abort();
  }
  return 0;
}
