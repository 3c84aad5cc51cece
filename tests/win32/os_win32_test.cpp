// The Windows file system under the run: folder names outside ASCII, the
// program's own folder, and files Windows will not let the program touch.
#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> names ReplaceFileW so; the program's own is meant here.
#undef ReplaceFile

#include <string>

#include "engine/run.h"
#include "runtime/error.h"
#include "runtime/os.h"
#include "runtime/paths.h"
#include "tests/test_support.h"
#include "window/clean_folder.h"

#ifndef FIX_GOLDEN_DIR
#error "FIX_GOLDEN_DIR names the folder of the golden files"
#endif

namespace {

using testing_support::ReadBytes;
using testing_support::RecordingWindow;
using testing_support::TempFolder;

std::wstring Wide(const std::string& utf8) {
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// Whole-file access by UTF-8 path, through the wide API the program itself uses.
void WriteUtf8Path(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

std::string ReadUtf8Path(const std::string& path) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  ::CloseHandle(file);
  return bytes;
}

int RunErrorNumber(const std::string& folder) {
  engine::SymbolInventory symbols;
  try {
    CleanFolder([&] { return folder; }, symbols, [](std::string_view) {});
  } catch (const rt::RuntimeError& error) {
    EXPECT_EQ(error.Description().find('\r'), std::string::npos) << error.Description();
    EXPECT_EQ(error.Description().find(".)"), std::string::npos) << error.Description();
    return error.Number();
  }
  return 0;
}

TEST(WindowsFiles, AFolderNamedOutsideAsciiWorksLikeAnyOther) {
  TempFolder scratch;
  const std::string folder = scratch.Path() +
                             "\\Donn\xC3\xA9"
                             "es \xC3\xB1 Zo\xC3\xAB";
  ASSERT_TRUE(::CreateDirectoryW(Wide(folder).c_str(), nullptr));
  const std::string golden = FIX_GOLDEN_DIR;
  WriteUtf8Path(folder + "\\in.txt", ReadBytes(golden + "/in.txt"));
  WriteUtf8Path(folder + "\\Symbols.txt", ReadBytes(golden + "/Symbols.txt"));
  EXPECT_EQ(RunErrorNumber(folder), 0);
  EXPECT_EQ(ReadUtf8Path(folder + "\\FixedLines.txt"), ReadBytes(golden + "/FixedLines.txt"));
  EXPECT_EQ(ReadUtf8Path(folder + "\\BadLines.txt"), ReadBytes(golden + "/BadLines.txt"));
}

TEST(WindowsFiles, ProgramFolderIsTheExecutablesWithoutSeparator) {
  wchar_t path[MAX_PATH * 4];
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  ASSERT_GT(length, 0u);
  std::wstring expected(path, length);
  expected.resize(expected.find_last_of(L"\\/"));
  std::string folder = rt::ProgramFolder();
  EXPECT_EQ(Wide(folder), expected);
  EXPECT_NE(folder.back(), '\\');
}

TEST(WindowsFiles, AReadOnlyResultIsRefusedBeforeAnythingChanges) {
  TempFolder folder;
  folder.Write("in.txt", "p\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  folder.Write("BadLines.txt", "earlier report\r\n");
  ASSERT_TRUE(
      ::SetFileAttributesW(Wide(folder.File("BadLines.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(RunErrorNumber(folder.Path()), 70);
  ::SetFileAttributesW(Wide(folder.File("BadLines.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(folder.Read("BadLines.txt"), "earlier report\r\n");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"BadLines.txt", "Symbols.txt", "in.txt"}))
      << "no FixedLines.txt and no temporary file";
}

TEST(WindowsFiles, AListLockedByAnotherProgramIsPermissionDenied) {
  TempFolder folder;
  folder.Write("in.txt", "p\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  // As a spreadsheet program holds a file it has open: nobody else may read it.
  HANDLE locked = ::CreateFileW(Wide(folder.File("in.txt")).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunErrorNumber(folder.Path()), 70);
  ::CloseHandle(locked);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Symbols.txt", "in.txt"}));
}

// Windows cannot swap two names; the earlier output keeps a second name
// instead, and a move to a free name never replaces a file.
TEST(WindowsFiles, EarlierFilesAreKeptByASecondNameNotSwapped) {
  TempFolder folder;
  std::string a = folder.File("~new.tmp"), b = folder.File("FixedLines.txt");
  WriteUtf8Path(a, "new");
  WriteUtf8Path(b, "earlier");
  rt::os::SysError error;
  EXPECT_FALSE(rt::os::ExchangeFiles(a, b, error));
  EXPECT_EQ(error.failure, rt::os::Failure::Unsupported);
  const std::string aside = folder.File("~aside.old");
  ASSERT_TRUE(rt::os::LinkFile(b, aside, error)) << error.reason;
  ASSERT_TRUE(rt::os::ReplaceFile(a, b, error)) << error.reason;
  EXPECT_EQ(ReadUtf8Path(b), "new");
  EXPECT_EQ(ReadUtf8Path(aside), "earlier");
  EXPECT_FALSE(rt::os::MoveToFreeName(aside, b, error));
  EXPECT_EQ(error.failure, rt::os::Failure::Exists);
  EXPECT_EQ(ReadUtf8Path(b), "new");
  ASSERT_TRUE(rt::os::FlushFolder(folder.Path(), error)) << error.reason;
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"FixedLines.txt", "~aside.old"}));
}

// A run's lock on its folder can be neither removed nor opened by another
// run, and goes with the run.
TEST(WindowsFiles, AFoldersLockIsHeldAloneAndGoesWithItsRun) {
  TempFolder folder;
  const std::string lock = folder.File("~FixInputFiles.lock");
  rt::os::Handle held = 0;
  rt::os::SysError error;
  bool taken = false;
  ASSERT_TRUE(rt::os::LockFolder(lock, held, taken, error) && taken) << error.reason;
  rt::os::Handle second = 0;
  EXPECT_TRUE(rt::os::LockFolder(lock, second, taken, error) && !taken) << "another run waits";
  EXPECT_FALSE(rt::os::RemoveFile(lock, error));
  rt::os::Handle opened = 0;
  EXPECT_FALSE(rt::os::OpenForReading(lock, opened, error));
  ASSERT_TRUE(rt::os::UnlockFolder(lock, held, error)) << error.reason;
  EXPECT_FALSE(folder.Has("~FixInputFiles.lock")) << "deleted as it is let go";
}

TEST(WindowsFiles, ARunReplacesEarlierOutputsAndLeavesNoTemporaryFile) {
  TempFolder folder;
  folder.Write("in.txt", ReadBytes(std::string(FIX_GOLDEN_DIR) + "/in.txt"));
  folder.Write("Symbols.txt", ReadBytes(std::string(FIX_GOLDEN_DIR) + "/Symbols.txt"));
  folder.Write("FixedLines.txt", "earlier");
  folder.Write("BadLines.txt", "earlier");
  EXPECT_EQ(RunErrorNumber(folder.Path()), 0);
  EXPECT_EQ(folder.Read("FixedLines.txt"),
            ReadBytes(std::string(FIX_GOLDEN_DIR) + "/FixedLines.txt"));
  EXPECT_EQ(folder.Read("BadLines.txt"), ReadBytes(std::string(FIX_GOLDEN_DIR) + "/BadLines.txt"));
  EXPECT_EQ(folder.Read("SymbolReport.txt"),
            ReadBytes(std::string(FIX_GOLDEN_DIR) + "/SymbolReport.txt"));
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"BadLines.txt", "FixedLines.txt", "SymbolReport.txt",
                                      "Symbols.txt", "in.txt"}));
}

TEST(WindowsFiles, AMissingFolderIsPathNotFound) {
  TempFolder folder;
  EXPECT_EQ(RunErrorNumber(folder.File("gone")), 76);
}

}  // namespace
