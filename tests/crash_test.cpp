// A run killed at any point leaves, for each output, either the earlier file
// untouched or the complete new one, never a partial file; a temporary file a
// kill leaves behind is never named like an output, and the next run clears it
// while leaving those of a run still going on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "runtime/fault_injection.h"
#include "tests/fault_support.h"

namespace {

using namespace testing_support;

long long kill_at_call = 0;

void KillAtCall(long long call) {
  if (call == kill_at_call) ::kill(::getpid(), SIGKILL);
}

long long stop_at_call = 0;

void StopAtCall(long long call) {
  if (call == stop_at_call) ::raise(SIGSTOP);
}

// Starts a run in a child process, killed at its `kill_at`-th system call (0:
// never), or stopped there until continued; its `fail_at`-th call fails (0: none).
pid_t StartRun(const TempFolder& folder, long long kill_at, bool stop = false,
               long long fail_at = 0) {
  pid_t child = ::fork();
  if (child != 0) return child;
  rt::sys::ClearInjection();
  if (fail_at != 0) rt::sys::InjectFailure(fail_at, rt::os::Failure::IoError, false);
  kill_at_call = stop ? 0 : kill_at;
  stop_at_call = stop ? kill_at : 0;
  rt::sys::SetCallHook(stop ? StopAtCall : KillAtCall);
  RecordingWindow window;
  try {
    RunIn(folder, window);
  } catch (...) {
    ::_exit(fail_at != 0 ? 0 : 2);
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

// Which outputs are the new files, in the order of kOutputNames; a withdrawn
// one only where it had an earlier file.
using Survey = std::vector<bool>;

// Checks what a run killed in `folder` left there, and says which outputs are new.
Survey CheckLeftovers(const TempFolder& folder, const Inputs& inputs, const Outputs& before,
                      const Outputs& expected) {
  EXPECT_EQ(folder.Read("in.txt"), inputs.list);
  EXPECT_EQ(folder.Read("Symbols.txt"), inputs.symbols);
  Survey survey;
  for (int i = 0; i < kOutputCount; ++i) {
    const std::string name(kOutputNames[i]);
    const std::string aside = "~FixInputFiles-" + name + ".old";
    const std::optional<std::string>& old_bytes = before.*kOutputBytes[i];
    const std::optional<std::string>& new_bytes = expected.*kOutputBytes[i];
    if (!new_bytes) {
      // Withdrawn, it is new once its earlier file has left both its name and
      // the aside name, from which the next run would put it back.
      for (const std::string& held : {name, aside}) {
        if (folder.Has(held)) {
          EXPECT_EQ(folder.Read(held), old_bytes) << held;
        }
      }
      EXPECT_FALSE(folder.Has(name) && folder.Has(aside));
      if (old_bytes) survey.push_back(!folder.Has(name) && !folder.Has(aside));
      continue;
    }
    if (!folder.Has(name)) {
      // Only where the file system can neither swap names nor link, and the
      // run was cut between moving the earlier file aside and moving the new
      // one in: the aside file holds it, for the next run to put back.
      EXPECT_TRUE(!old_bytes || (folder.Has(aside) && folder.Read(aside) == old_bytes))
          << name << " is gone";
      survey.push_back(false);
      continue;
    }
    std::string bytes = folder.Read(name);
    survey.push_back(bytes == new_bytes);
    EXPECT_TRUE(survey.back() || bytes == old_bytes)
        << name << " is neither the earlier nor the new file: " << bytes.size() << " bytes";
  }
  for (const std::string& name : OtherNames(folder)) {
    EXPECT_TRUE(IsTemporaryName(name)) << name;
  }
  return survey;
}

// Whether each output the run writes is under its name.
bool AllOutputsNamed(const TempFolder& folder, const Outputs& expected) {
  for (int i = 0; i < kOutputCount; ++i) {
    if (expected.*kOutputBytes[i] && !folder.Has(kOutputNames[i])) return false;
  }
  return true;
}

TEST(Crashes, AKillAtAnySystemCallLeavesEarlierOrCompleteNewOutputs) {
  ForEachFileSystem([&](const auto& abilities, bool earlier_outputs, bool suggesting) {
    const Inputs inputs = LargeInputs(7000, 11, suggesting);
    const Outputs expected = CleanRunOutputs(inputs);
    const long long calls = CallsOfACleanRun(inputs, earlier_outputs);
    int kills = 0, put_back = 0;
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
      const Survey survey = CheckLeftovers(folder, inputs, before, expected);
      const auto new_ones = std::count(survey.begin(), survey.end(), true);
      if (new_ones != 0 && new_ones != std::ssize(survey)) {
        EXPECT_TRUE(std::is_sorted(survey.begin(), survey.end(), std::greater<bool>()))
            << "the outputs are moved into place in order";
        one_new_one_old.push_back(call);
      }
      // The next run removes everything the killed one left, and puts an
      // earlier output it had moved aside back under its name.
      const bool name_missing = earlier_outputs && !AllOutputsNamed(folder, expected);
      ClaimAsTheNextRun(folder);
      EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
      EXPECT_EQ(CheckLeftovers(folder, inputs, before, expected), survey);
      if (name_missing) {
        EXPECT_TRUE(AllOutputsNamed(folder, expected));
        ++put_back;
      }
    }
    EXPECT_EQ(kills, calls) << "a kill before every call of the run";
    // The outputs are moved into place one after the other: only a kill
    // between the first move and the last finds some new and the others not
    // yet (each file complete), and it lasts from the first one's close to
    // the last one's move. A withdrawn earlier file waits under the aside
    // name until the run has succeeded, and leaves it first after that.
    std::vector<long long> between_moves;
    const long long flush = calls - CallsAfterSuccess(earlier_outputs, suggesting);
    const long long last = suggesting        ? flush - 2
                           : earlier_outputs ? flush + 1
                                             : flush - kWithdrawingCalls - 2;
    for (long long call = flush - PlacingCallsOfARun(abilities, earlier_outputs, suggesting) +
                          PlacingCalls(abilities, earlier_outputs) - 1;
         call <= last; ++call)
      between_moves.push_back(call);
    EXPECT_EQ(one_new_one_old, between_moves);
    // Moved aside with nothing yet in its place: once for each output written.
    EXPECT_EQ(put_back,
              earlier_outputs && !abilities.link ? kOutputCount - (suggesting ? 0 : 1) : 0);
    std::printf(
        "[ figures  ] %s, %s, %s: %d kills survived, each file earlier or complete new; some "
        "new and some earlier after %zu of them, between the moves; %d earlier outputs "
        "put back by the next run\n",
        abilities.name, earlier_outputs ? "earlier outputs" : "no earlier outputs",
        suggesting ? "suggestions written" : "suggestions withdrawn", kills, one_new_one_old.size(),
        put_back);
  });
}

// Runs killed in a folder leave their temporary files; a later run removes
// them. Runs started while another goes on in the folder wait for it and
// spare its files, and all of them finish whole.
TEST(Crashes, TheNextRunClearsKilledRunsLeftoversAndWaitsForALiveOne) {
  const Inputs inputs = LargeInputs(7000, 17);
  const Outputs expected = CleanRunOutputs(inputs);
  const long long calls = CallsOfACleanRun(inputs, true);
  TempFolder folder;
  Prepare(folder, inputs, true);
  for (long long call : {calls / 2, calls / 3, calls - 1})
    ASSERT_TRUE(WaitKilled(StartRun(folder, call)));
  const std::vector<std::string> killed_runs = OtherNames(folder);
  EXPECT_EQ(killed_runs.size(), 1u + kOutputCount)
      << "each run clears the killed one before it: only the last one's lock and temporary "
         "outputs are left";

  pid_t stopped = StartRun(folder, calls / 2, true);
  int status = 0;
  ASSERT_EQ(::waitpid(stopped, &status, WUNTRACED), stopped);
  ASSERT_TRUE(WIFSTOPPED(status));
  const std::vector<std::string> live_files = OtherNames(folder);
  EXPECT_GE(live_files.size(), 3u) << "the stopped run's lock and temporary files";
  const Outputs before = OutputsIn(folder);
  pid_t first = StartRun(folder, 0), second = StartRun(folder, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(::waitpid(first, &status, WNOHANG), 0) << "a run waits while another holds the folder";
  EXPECT_EQ(OtherNames(folder), live_files) << "the live run's files stay";
  EXPECT_EQ(OutputsIn(folder), before);

  ::kill(stopped, SIGCONT);
  EXPECT_FALSE(WaitKilled(stopped)) << "the stopped run finishes whole";
  EXPECT_FALSE(WaitKilled(first));
  EXPECT_FALSE(WaitKilled(second));
  EXPECT_EQ(OutputsIn(folder), expected);
  EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
  std::printf("[ figures  ] %zu files of 3 killed runs removed, %zu of a live run spared\n",
              killed_runs.size(), live_files.size());
}

// A run whose lock is removed while it writes lets a second run in, which
// clears the first one's files as a dead run's and writes its own under the
// same names: the first then fails, touching none of them, and the second
// finishes whole.
TEST(Crashes, ARunThatLostItsLockPutsNothingInPlace) {
  const Inputs inputs = LargeInputs(7000, 29);
  const Outputs expected = CleanRunOutputs(inputs);
  const long long calls = CallsOfACleanRun(inputs, true);
  TempFolder folder;
  Prepare(folder, inputs, true);
  int status = 0;
  pid_t first = StartRun(folder, calls / 2, true);
  ASSERT_TRUE(::waitpid(first, &status, WUNTRACED) == first && WIFSTOPPED(status));
  std::filesystem::remove(folder.File("~FixInputFiles.lock"));
  pid_t second = StartRun(folder, calls / 2, true);
  ASSERT_TRUE(::waitpid(second, &status, WUNTRACED) == second && WIFSTOPPED(status));
  ::kill(first, SIGCONT);
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "the first run fails: " << status;
  ::kill(second, SIGCONT);
  EXPECT_FALSE(WaitKilled(second)) << "the second run finishes whole";
  EXPECT_EQ(OutputsIn(folder), expected);
  EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
}

// A run whose last flush of the folder fails puts every earlier output back;
// killed at any call of that, it still leaves each output earlier or whole
// new, and the next run clears the rest.
TEST(Crashes, AKillWhileAFailedRunPutsBackItsOutputsLosesNothing) {
  ForEachFileSystem([&](const auto& abilities, bool earlier_outputs, bool suggesting) {
    const Inputs inputs = LargeInputs(2000, 19, suggesting);
    const Outputs expected = CleanRunOutputs(inputs);
    const long long flush =
        CallsOfACleanRun(inputs, earlier_outputs) - CallsAfterSuccess(earlier_outputs, suggesting);
    int kills = 0;
    for (long long call = flush + 1;; ++call) {
      SCOPED_TRACE("failed at call " + std::to_string(flush) + ", killed at call " +
                   std::to_string(call));
      TempFolder folder;
      Prepare(folder, inputs, earlier_outputs);
      const Outputs before = OutputsIn(folder);
      if (!WaitKilled(StartRun(folder, call, false, flush))) {
        EXPECT_EQ(OutputsIn(folder), before) << "the failed run put everything back";
        EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
        break;
      }
      ++kills;
      CheckLeftovers(folder, inputs, before, expected);
      ClaimAsTheNextRun(folder);
      EXPECT_EQ(OtherNames(folder), std::vector<std::string>{});
      CheckLeftovers(folder, inputs, before, expected);
    }
    EXPECT_GT(kills, 0);
    std::printf("[ figures  ] %s, %s, %s: %d kills while putting back survived\n", abilities.name,
                earlier_outputs ? "earlier outputs" : "no earlier outputs",
                suggesting ? "suggestions written" : "suggestions withdrawn", kills);
  });
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
    CheckLeftovers(folder, inputs, before, expected);
  }
  EXPECT_GE(kills, kMoments / 2) << "most kills land before the run ends";
  std::printf("[ figures  ] %d of %d timed kills landed in a %lld ms run, nothing lost\n", kills,
              kMoments,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(whole_run).count()));
}

}  // namespace
