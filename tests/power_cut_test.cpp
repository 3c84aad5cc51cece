// Power cuts on real file systems. A run works in a folder on a loop-mounted
// ext4 or xfs image; before each file-layer call of the run, and once right
// after "Done.", the file system is shut down where it stands and the run is
// killed. The image is then mounted again, which replays the journal, and the
// folder must hold, for each output, its earlier bytes or the whole new ones;
// after "Done." every new one and no temporary file.
//
// A power cut loses the journal's transactions not yet on the disk: at most
// all since the last flush the run asked for, at least none. Each cut is made
// both ways: with the journal's pending transactions dropped, and written.
//
// Mounting needs root and a loop device: without them the test says why and
// exits 77 (skipped), or fails when CI=true, since CI's machine has both. All
// its mounts live in a mount namespace of its own, so that they go with the
// process however it ends; each loop device is detached when its last user goes.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/fault_injection.h"
#include "tests/fault_support.h"

#ifndef FS_IOC_SHUTDOWN
#define FS_IOC_SHUTDOWN _IOR('X', 125, __u32)
#endif

extern char** environ;

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// The shutdown's flags: the journal's pending transactions written first, or
// dropped (xfs's XFS_FSOP_GOING_FLAGS_LOGFLUSH and _NOLOGFLUSH; ext4 reads the
// same values).
constexpr __u32 kShutdownLogFlush = 1;
constexpr __u32 kShutdownNoLogFlush = 2;

// What this machine lacks for the test: the reason it is skipped.
struct Unavailable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string SystemReason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// A fresh folder under the system's temporary folder for the images and their
// mount points, removed with them.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "fixinput-powercut-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error(SystemReason("mkdtemp"));
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void MakeFileSystem(const std::string& type, const std::string& image) {
  // No lazy initialisation: nothing writes to the image in the background.
  std::vector<std::string> command =
      type == "xfs"
          ? std::vector<std::string>{"mkfs.xfs", "-q", "-f", image}
          : std::vector<std::string>{
                "mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", image};
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  int error = ::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error == ENOENT) {
    throw Unavailable(command[0] + " is not installed (Debian package " +
                      (type == "xfs" ? "xfsprogs" : "e2fsprogs") + ")");
  }
  if (error != 0) throw std::runtime_error(command[0] + ": " + std::strerror(error));
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(command[0] + " failed on " + image);
}

// An image file attached to a free loop device for as long as this lives;
// the kernel detaches it once the device is neither open nor mounted.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) throw Unavailable(SystemReason("no loop device (/dev/loop-control)"));
    int backing = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    // Another process may take the free device first: ask again.
    for (int attempt = 0; fd_ < 0 && backing >= 0; ++attempt) {
      int number = ::ioctl(control, LOOP_CTL_GET_FREE);
      if (number < 0) break;
      path_ = "/dev/loop" + std::to_string(number);
      fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
      if (fd_ < 0) break;
      if (::ioctl(fd_, LOOP_SET_FD, backing) == 0) break;
      ::close(fd_);
      fd_ = -1;
      if (errno != EBUSY || attempt == 50) break;
    }
    std::string reason = SystemReason("no loop device for " + image + " (" + path_ + ")");
    if (backing >= 0) ::close(backing);
    ::close(control);
    if (fd_ < 0) throw Unavailable(reason);
    loop_info64 info{};
    info.lo_flags = LO_FLAGS_AUTOCLEAR;
    ::ioctl(fd_, LOOP_SET_STATUS64, &info);
  }
  ~LoopDevice() {
    ::ioctl(fd_, LOOP_CLR_FD, 0);
    ::close(fd_);
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// A file system of `type` on an image in `scratch`, mounted while this lives.
class MountedImage {
 public:
  MountedImage(const Scratch& scratch, const std::string& type)
      : type_(type), mount_point_(scratch.Path() + "/" + type) {
    const std::string image = mount_point_ + ".img";
    {
      // Sparse; xfs takes no less than 300 MiB.
      int fd = ::open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0 || ::ftruncate(fd, type == "xfs" ? 300 << 20 : 32 << 20) != 0)
        throw std::runtime_error(SystemReason(image));
      ::close(fd);
    }
    MakeFileSystem(type, image);
    loop_ = std::make_unique<LoopDevice>(image);
    // The loop device holds the image from here on: its disk space comes back
    // when the device is detached, even when this process is killed.
    ::unlink(image.c_str());
    fs::create_directory(mount_point_);
    if (::mount(loop_->Path().c_str(), mount_point_.c_str(), type_.c_str(), 0, nullptr) != 0) {
      std::string reason = SystemReason("cannot mount " + type_ + " from " + loop_->Path());
      if (errno == EPERM || errno == EACCES || errno == ENODEV) throw Unavailable(reason);
      throw std::runtime_error(reason);
    }
    mounted_ = true;
  }
  ~MountedImage() {
    if (mounted_ && ::umount2(mount_point_.c_str(), 0) != 0)
      ::umount2(mount_point_.c_str(), MNT_DETACH);
  }
  MountedImage(const MountedImage&) = delete;
  MountedImage& operator=(const MountedImage&) = delete;

  const std::string& Type() const { return type_; }
  const std::string& MountPoint() const { return mount_point_; }

  // Unmounts and mounts again: the journal is replayed as after a power cut.
  void Remount() {
    if (::umount2(mount_point_.c_str(), 0) != 0)
      throw std::runtime_error(SystemReason("cannot unmount " + mount_point_));
    mounted_ = false;
    if (::mount(loop_->Path().c_str(), mount_point_.c_str(), type_.c_str(), 0, nullptr) != 0)
      throw std::runtime_error(SystemReason("cannot mount " + type_ + " again"));
    mounted_ = true;
  }

 private:
  std::string type_;
  std::string mount_point_;
  std::unique_ptr<LoopDevice> loop_;
  bool mounted_ = false;
};

// Mounts made from here on are this process's own, and go when it ends.
void MountNamespaceOfOurOwn() {
  if (::unshare(CLONE_NEWNS) != 0) throw Unavailable(SystemReason("no privilege to mount"));
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    throw std::runtime_error(SystemReason("cannot make the mounts private"));
}

std::vector<std::unique_ptr<MountedImage>>* images = nullptr;

// What a run tells the test from its child process, in shared memory.
struct RunReport {
  bool done_shown = false;
  long long calls = 0;     // the file-layer calls of the whole run, when it showed "Done."
  int shutdown_error = 0;  // errno of a refused shutdown
};

RunReport* report = nullptr;
int cut_root = -1;
__u32 cut_flags = kShutdownNoLogFlush;
long long cut_at_call = 0;

// The power cut: the file system stops where it is, and so does the run.
[[noreturn]] void CutPower() {
  if (::ioctl(cut_root, FS_IOC_SHUTDOWN, &cut_flags) != 0) report->shutdown_error = errno;
  ::kill(::getpid(), SIGKILL);
  ::_exit(4);
}

void CutAtCall(long long call) {
  if (call == cut_at_call) CutPower();
}

// In a child process: the run in `folder`, cut before its `cut_at`-th call, or
// right after "Done." when it makes fewer calls.
[[noreturn]] void RunAndCut(const TempFolder& folder, long long cut_at) {
  rt::sys::ClearInjection();
  cut_at_call = cut_at;
  rt::sys::SetCallHook(CutAtCall);
  RecordingWindow window;
  try {
    RunIn(folder, window);
  } catch (...) {
    ::_exit(2);
  }
  if (window.captions.empty() || window.captions.back() != engine::kClosingCaption) ::_exit(3);
  report->calls = rt::sys::CallsMade();
  report->done_shown = true;
  CutPower();
}

// How many cuts left the outputs in each state, over one sweep.
struct Tally {
  int all_as_before = 0;
  int all_new = 0;
  int some_new = 0;
  int temporaries_left = 0;  // cuts after which a temporary file remained
};

// Checks the folder as the journal's replay left it after a cut.
void CheckAfterCut(const TempFolder& folder, const Inputs& inputs, const Outputs& before,
                   const Outputs& expected, bool after_done, Tally& tally) {
  EXPECT_EQ(folder.Read("in.txt"), inputs.list);
  EXPECT_EQ(folder.Read("Symbols.txt"), inputs.symbols);
  // Each output that was there or is to be: new when it holds the whole new
  // bytes, or when withdrawn, once gone; anything else but what was there fails.
  const Outputs now = OutputsIn(folder);
  int outputs = 0, new_ones = 0;
  for (int i = 0; i < kOutputCount; ++i) {
    const std::optional<std::string> Outputs::*const bytes = kOutputBytes[i];
    if (!(before.*bytes) && !(expected.*bytes)) continue;
    ++outputs;
    if (now.*bytes == expected.*bytes) {
      ++new_ones;
    } else {
      EXPECT_EQ(now.*bytes, before.*bytes)
          << kOutputNames[i] << " is neither the earlier nor the whole new file";
    }
  }
  ++(new_ones == outputs ? tally.all_new : new_ones == 0 ? tally.all_as_before : tally.some_new);
  const std::vector<std::string> others = OtherNames(folder);
  for (const std::string& name : others) EXPECT_TRUE(IsTemporaryName(name)) << name;
  if (!others.empty()) ++tally.temporaries_left;
  if (after_done) {
    EXPECT_EQ(new_ones, outputs) << "after \"Done.\" every output is the new one";
    EXPECT_EQ(others, std::vector<std::string>{}) << "no temporary file remains after \"Done.\"";
  }
}

// A short list with each kind of line (legal, with illegal symbols, blank, the
// three line ends), so that a run makes few calls and each kind of call is cut.
// With `suggesting`, the inventory has the IPA's ɡ and a line has g, for
// which SuggestedReplacements.txt is written; else it is withdrawn.
Inputs SmallInputs(bool suggesting) {
  if (suggesting)
    return Inputs{"p a t\r\n\r\nb  a x t\ng ʃ a p\r Q t\r\n", "p\r\nb\r\na\r\nt\r\nʃ\r\nɡ\r\n"};
  return Inputs{"p a t\r\n\r\nb  a x t\nʃ a p\r Q t\r\n", "p\r\nb\r\na\r\nt\r\nʃ\r\n"};
}

// The root folder of a mounted image, open: what the shutdown is asked of.
struct MountRoot {
  explicit MountRoot(const MountedImage& image)
      : fd(::open(image.MountPoint().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd < 0) throw std::runtime_error(SystemReason(image.MountPoint()));
  }
  ~MountRoot() { ::close(fd); }
  MountRoot(const MountRoot&) = delete;
  MountRoot& operator=(const MountRoot&) = delete;
  const int fd;
};

// What the folder holds before the run.
enum class Start {
  Inputs,          // in.txt and Symbols.txt only
  EarlierOutputs,  // and the outputs of an earlier run
  // and what a run killed while it put the outputs in place left: its lock,
  // a temporary output, and the earlier BadLines.txt moved aside, its name free
  KilledRunsLeftovers,
};

constexpr const char* kStartNames[] = {"NoEarlierOutputs", "EarlierOutputs", "KilledRunsLeftovers"};

void PrepareStart(const TempFolder& folder, const Inputs& inputs, Start start) {
  Prepare(folder, inputs, start != Start::Inputs);
  if (start != Start::KilledRunsLeftovers) return;
  fs::rename(folder.File("BadLines.txt"), folder.File("~FixInputFiles-BadLines.txt.old"));
  folder.Write("~FixInputFiles-FixedLines.txt.tmp", "p a");
  folder.Write("~FixInputFiles.lock", "");
}

// Cuts the runs on `image` before each call in turn, then after "Done.". A
// cut while the run clears a killed run's leftovers, or before, leaves them
// for the next run, which must find the earlier outputs whole. So does a cut
// while a withdrawn SuggestedReplacements.txt's earlier file waits under the aside name.
void SweepCuts(MountedImage& image, Start start, bool suggesting, bool journal_written) {
  cut_flags = journal_written ? kShutdownLogFlush : kShutdownNoLogFlush;
  const bool earlier_outputs = start != Start::Inputs;
  const std::string sweep = image.Type() + ", " + kStartNames[static_cast<int>(start)] +
                            (suggesting ? ", suggestions written" : ", suggestions withdrawn") +
                            (journal_written ? ", journal written" : ", journal dropped");
  const Inputs inputs = SmallInputs(suggesting);
  const Outputs expected = CleanRunOutputs(inputs);
  Tally tally;
  long long cut_at = 1;
  for (;; ++cut_at) {
    SCOPED_TRACE(sweep + ", cut before call " + std::to_string(cut_at) + " (or after \"Done.\")");
    ASSERT_LT(cut_at, 1000) << "the run never showed \"Done.\"";
    TempFolder folder(image.MountPoint());
    Prepare(folder, inputs, earlier_outputs);
    const Outputs before = OutputsIn(folder);
    PrepareStart(folder, inputs, start);
    int status = 0;
    {
      // Open only while the run goes on: the image cannot be unmounted while it is.
      MountRoot root(image);
      // The inputs and earlier outputs are on the disk before the run starts.
      ASSERT_EQ(::syncfs(root.fd), 0) << SystemReason("syncfs");
      *report = RunReport{};
      cut_root = root.fd;
      pid_t child = ::fork();
      if (child == 0) RunAndCut(folder, cut_at);
      EXPECT_EQ(::waitpid(child, &status, 0), child);
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the run ended by itself, status " << status;
    EXPECT_EQ(report->shutdown_error, 0)
        << "shutdown refused: " << std::strerror(report->shutdown_error);
    ASSERT_NO_THROW(image.Remount());
    const bool next_run = start == Start::KilledRunsLeftovers || (earlier_outputs && !suggesting);
    if (next_run && !report->done_shown) ClaimAsTheNextRun(folder);
    CheckAfterCut(folder, inputs, before, expected, report->done_shown, tally);
    if (report->done_shown) break;
  }
  const long long cuts_at_calls = cut_at - 1;
  EXPECT_EQ(cuts_at_calls, report->calls) << "a cut before every call of the run";
  std::printf(
      "[ figures  ] %s: %lld cuts before calls and 1 after \"Done.\"; every output as before "
      "after %d, every one new after %d, some new after %d; temporaries left after %d\n",
      sweep.c_str(), cuts_at_calls, tally.all_as_before, tally.all_new, tally.some_new,
      tally.temporaries_left);
}

// File system, what the folder holds, suggestions written or withdrawn, journal
// written at the cut or dropped.
class PowerCuts : public testing::TestWithParam<std::tuple<std::string, Start, bool, bool>> {};

TEST_P(PowerCuts, LeaveEachOutputEarlierOrWholeNewAndNothingBehindAfterDone) {
  auto [type, start, suggesting, journal_written] = GetParam();
  for (const auto& image : *images) {
    if (image->Type() == type) SweepCuts(*image, start, suggesting, journal_written);
  }
}

// The test's name from its parameters (a function, since the preprocessor
// would split a lambda's structured binding at its commas).
std::string SweepName(const testing::TestParamInfo<PowerCuts::ParamType>& info) {
  auto [type, start, suggesting, journal_written] = info.param;
  return type + "_" + kStartNames[static_cast<int>(start)] +
         (suggesting ? "_SuggestionsWritten" : "_SuggestionsWithdrawn") +
         (journal_written ? "_JournalWritten" : "_JournalDropped");
}

INSTANTIATE_TEST_SUITE_P(Ext4AndXfs, PowerCuts,
                         testing::Combine(testing::Values("ext4", "xfs"),
                                          testing::Values(Start::Inputs, Start::EarlierOutputs,
                                                          Start::KilledRunsLeftovers),
                                          testing::Bool(), testing::Bool()),
                         SweepName);

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const auto start = std::chrono::steady_clock::now();
  void* shared =
      ::mmap(nullptr, sizeof(RunReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) {
    std::perror("mmap");
    return 1;
  }
  report = new (shared) RunReport;
  int result = 0;
  try {
    if (::geteuid() != 0) throw Unavailable("not root: mounting a file system image needs root");
    MountNamespaceOfOurOwn();
    Scratch scratch;
    std::vector<std::unique_ptr<MountedImage>> mounted;
    for (const char* type : {"ext4", "xfs"})
      mounted.push_back(std::make_unique<MountedImage>(scratch, type));
    images = &mounted;
    result = RUN_ALL_TESTS();
  } catch (const Unavailable& missing) {
    const char* ci = std::getenv("CI");
    if (ci && std::string_view(ci) == "true") {
      std::printf("FAILED: %s; CI's machine runs as root with loop devices, so this is a fault.\n",
                  missing.what());
      return 1;
    }
    std::printf("SKIPPED: %s\n", missing.what());
    return 77;
  } catch (const std::exception& failure) {
    std::printf("FAILED: %s\n", failure.what());
    return 1;
  }
  std::printf("[ figures  ] power cuts on ext4 and xfs took %.1f s in all\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return result;
}
