// The cost of the progress captions painted in a real window: the same cleaning
// run over the folder's files, once with every caption handed to the window's
// button and once with the captions dropped, in turns. Started with the folder
// and the number of rounds; the first click on its button measures, prints one
// line per round and the ratio of the best times, and ends the program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui.h"
#include "window/clean_folder.h"
#include "window/form1.h"

namespace {

class CaptionBench : public rt::ui::FormClient {
 public:
  CaptionBench(std::string folder, int rounds) : folder_(std::move(folder)), rounds_(rounds) {}

  void Attach(rt::ui::FormHost& host) override { host_ = &host; }

  void Click() override {
    std::vector<double> painted, dropped;
    for (int round = 1; round <= rounds_; ++round) {
      dropped.push_back(TimeRun(nullptr));
      painted.push_back(TimeRun(host_));
      std::printf("round %d: captions dropped %.3f s, painted %.3f s\n", round, dropped.back(),
                  painted.back());
    }
    std::printf(
        "caption paint: painted/dropped = %.3f best, %.3f median (%d rounds; at most "
        "1.050 wanted)\n",
        Best(painted) / Best(dropped), Median(painted) / Median(dropped), rounds_);
    std::fflush(stdout);
    rt::ui::EndProgram(0);
  }

 private:
  double TimeRun(rt::ui::FormHost* button) {
    engine::SymbolInventory symbols;
    auto start = std::chrono::steady_clock::now();
    CleanFolder([this] { return folder_; }, symbols,
                [button](std::string_view caption) {
                  if (button) button->SetButtonCaption(caption);
                });
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
  }

  static double Best(std::vector<double> times) {
    return *std::min_element(times.begin(), times.end());
  }
  static double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

  std::string folder_;
  int rounds_;
  rt::ui::FormHost* host_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: caption_bench FOLDER ROUNDS\n");
    return 2;
  }
  int rounds = std::atoi(argv[2]);
  if (rounds < 1) {
    std::fprintf(stderr, "caption_bench: ROUNDS must be at least 1\n");
    return 2;
  }
  CaptionBench bench(argv[1], rounds);
  return rt::ui::RunForm(Form1::Design(), bench);
}
