// Runs the cleaning in the folder given on the command line, with no window:
// what the benchmarks time. Prints the peak memory (KiB) on stderr.
#include "window/clean_folder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/error.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  engine::SymbolInventory symbols;
  bool told = false;
  auto waiting = [&] {
    if (!told) std::fprintf(stderr, "Waiting for another run of the program in %s\n", argv[1]);
    told = true;
    rt::os::PauseBriefly();
  };
  try {
    CleanFolder([&] { return folder; }, symbols, [](std::string_view) {}, waiting);
  } catch (const std::exception&) {
    // Out of memory too ends as the window ends it, the temporary files dropped.
    std::fprintf(stderr, "%s\n", rt::CaughtError().Message().c_str());
    return 1;
  }
  // VmHWM, not getrusage: the latter keeps the peak of the process that started this one.
  std::FILE* status = std::fopen("/proc/self/status", "r");
  char line[256];
  while (status && std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "VmHWM:", 6) == 0)
      std::fprintf(stderr, "peak_kib %ld\n", std::atol(line + 6));
  }
  if (status) std::fclose(status);
  return 0;
}
