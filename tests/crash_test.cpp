// A run killed at any point leaves, for each output, either the earlier file
// untouched or the complete new one, never a partial file; a temporary file a
// kill leaves behind is never named like an output.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "runtime/syscall.h"
#include "tests/fault_support.h"

namespace {

using namespace testing_support;

long long kill_at_call = 0;

void KillAtCall(long long call) {
  if (call == kill_at_call) ::kill(::getpid(), SIGKILL);
}

// Starts a run in a child process, stopped at its `kill_at`-th system call (0: never).
pid_t StartRun(const TempFolder& folder, long long kill_at) {
  pid_t child = ::fork();
  if (child != 0) return child;
  rt::sys::ClearInjection();
  kill_at_call = kill_at;
  rt::sys::SetCallHook(KillAtCall);
  RecordingWindow window;
  try {
    RunIn(folder, window);
  } catch (...) {
    ::_exit(2);
  }
  bool done =
      !window.captions.empty() && window.captions.back() == std::string(engine::kClosingCaption);
  ::_exit(done ? 0 : 3);
}

// True when the child was killed; fails the test if it ended any other way than by finishing.
bool WaitKilled(pid_t child) {
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    return true;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  return false;
}

struct Survey {
  bool fixed_new = false;
  bool bad_new = false;
};

// Checks what a run killed in `folder` left there, and says which outputs are new.
Survey CheckLeftovers(const TempFolder& folder, const Inputs& inputs, const Outputs& before,
                      bool earlier_outputs, const Outputs& expected, pid_t child) {
  EXPECT_EQ(folder.Read("in.txt"), inputs.list);
  EXPECT_EQ(folder.Read("Symbols.txt"), inputs.symbols);
  Survey survey;
  auto check = [&](const char* name, const std::string& old_bytes, const std::string& new_bytes,
                   bool& is_new) {
    if (!folder.Has(name)) {
      EXPECT_FALSE(earlier_outputs) << name << " is gone";
      return;
    }
    std::string bytes = folder.Read(name);
    is_new = bytes == new_bytes;
    EXPECT_TRUE(is_new || (earlier_outputs && bytes == old_bytes))
        << name << " is neither the earlier nor the new file: " << bytes.size() << " bytes";
  };
  check("FixedLines.txt", before.fixed, expected.fixed, survey.fixed_new);
  check("BadLines.txt", before.bad, expected.bad, survey.bad_new);
  const std::string own_prefix = "~FixInputFiles-" + std::to_string(child) + "-";
  for (const std::string& name : OtherNames(folder)) {
    EXPECT_TRUE(IsTemporaryName(name) && name.starts_with(own_prefix)) << name;
  }
  return survey;
}

TEST(Crashes, AKillAtAnySystemCallLeavesEarlierOrCompleteNewOutputs) {
  const Inputs inputs = LargeInputs(7000, 11);
  const Outputs expected = CleanRunOutputs(inputs);
  for (bool earlier_outputs : {true, false}) {
    SCOPED_TRACE(earlier_outputs ? "earlier outputs present" : "no earlier outputs");
    const long long calls = CallsOfACleanRun(inputs, earlier_outputs);
    int kills = 0;
    std::vector<long long> one_new_one_old;
    for (long long call = 1;; ++call) {
      SCOPED_TRACE("killed at call " + std::to_string(call));
      TempFolder folder;
      Prepare(folder, inputs, earlier_outputs);
      const Outputs before = OutputsIn(folder);
      pid_t child = StartRun(folder, call);
      if (!WaitKilled(child)) {
        EXPECT_EQ(OutputsIn(folder), expected);
        EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
        break;
      }
      ++kills;
      Survey survey = CheckLeftovers(folder, inputs, before, earlier_outputs, expected, child);
      if (survey.fixed_new != survey.bad_new) {
        EXPECT_TRUE(survey.fixed_new) << "FixedLines.txt is moved into place first";
        one_new_one_old.push_back(call);
      }
    }
    EXPECT_EQ(kills, calls) << "a kill before every call of the run";
    // The two outputs are moved into place by two calls, one after the other:
    // only a kill between them finds FixedLines.txt new and BadLines.txt not
    // yet (each file complete). Without earlier files each move takes two calls.
    const std::vector<long long> between_moves = earlier_outputs
                                                     ? std::vector<long long>{calls - 1}
                                                     : std::vector<long long>{calls - 2, calls - 1};
    EXPECT_EQ(one_new_one_old, between_moves);
    std::printf(
        "[ figures  ] %s: %d kills survived, each file earlier or complete new; one new "
        "and one earlier file after %zu of them, between the two moves\n",
        earlier_outputs ? "earlier outputs" : "no earlier outputs", kills, one_new_one_old.size());
  }
}

// The same, with the kill coming from outside at moments spread over a run,
// so that it can also land inside a system call.
TEST(Crashes, AKillAtAnyMomentLeavesEarlierOrCompleteNewOutputs) {
  const Inputs inputs = LargeInputs(200000 / kSanitizerDivisor, 13);
  const Outputs expected = CleanRunOutputs(inputs);
  using Clock = std::chrono::steady_clock;
  Clock::duration whole_run{};
  {
    TempFolder folder;
    Prepare(folder, inputs, true);
    Clock::time_point start = Clock::now();
    ASSERT_FALSE(WaitKilled(StartRun(folder, 0)));
    whole_run = Clock::now() - start;
  }
  constexpr int kMoments = 24;
  int kills = 0;
  for (int moment = 0; moment < kMoments; ++moment) {
    TempFolder folder;
    Prepare(folder, inputs, true);
    const Outputs before = OutputsIn(folder);
    pid_t child = StartRun(folder, 0);
    std::this_thread::sleep_for(whole_run * moment / kMoments);
    ::kill(child, SIGKILL);
    if (WaitKilled(child)) ++kills;
    CheckLeftovers(folder, inputs, before, true, expected, child);
  }
  EXPECT_GE(kills, kMoments / 2) << "most kills land before the run ends";
  std::printf("[ figures  ] %d of %d timed kills landed in a %lld ms run, nothing lost\n", kills,
              kMoments,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(whole_run).count()));
}

}  // namespace
