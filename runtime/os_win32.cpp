// The file system through the wide-character Windows API: paths arrive as
// UTF-8 and are handed to Windows as UTF-16, so a folder such as
// C:\Users\Zoë\Données ñ works. Files are raw handles: no text-mode
// translation, so every byte read or written is the byte on the disk.
#include <windows.h>
// <windows.h> names ReplaceFileW so; this file defines the program's own.
#undef ReplaceFile

#include <climits>
#include <string>
#include <vector>

#include "runtime/os.h"

namespace rt::os {
namespace {

// ReadFile and WriteFile take 32-bit sizes; larger requests are done in parts.
constexpr std::size_t kLargestTransfer = 1u << 30;

Failure Classify(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return Failure::NotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
      return Failure::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return Failure::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Failure::NoSpace;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
      return Failure::IoError;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Failure::Exists;
    default:
      return Failure::Other;
  }
}

std::string Utf8(const wchar_t* text, int length, DWORD flags = 0) {
  if (length == 0) return {};
  int size = ::WideCharToMultiByte(CP_UTF8, flags, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, flags, text, length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// The system's own words for an error code, without the line end and the
// full stop that FormatMessage puts after them.
std::string ReasonFor(DWORD code) {
  wchar_t text[512];
  DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, static_cast<DWORD>(std::size(text)), nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L' ' || text[length - 1] == L'.')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(code);
  return Utf8(text, static_cast<int>(length));
}

bool Fail(SysError& error, DWORD code) {
  error.failure = Classify(code);
  error.reason = ReasonFor(code);
  return false;
}

bool Fail(SysError& error) {
  return Fail(error, ::GetLastError());
}

bool Fail(SysError& error, Failure failure, DWORD code) {
  Fail(error, code);
  error.failure = failure;
  return false;
}

// The path as Windows takes it. The program joins its names to the folder
// with "/"; those become "\", which every form of Windows path accepts,
// including the long "\\?\" form that the executable's own path may have.
bool ToWide(const std::string& path, std::wstring& wide, SysError& error) {
  wide.clear();
  if (path.empty()) return Fail(error, ERROR_PATH_NOT_FOUND);
  if (path.size() > static_cast<std::size_t>(INT_MAX))
    return Fail(error, ERROR_FILENAME_EXCED_RANGE);
  int length = static_cast<int>(path.size());
  int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
  if (size <= 0) return Fail(error, ERROR_INVALID_NAME);
  wide.resize(static_cast<std::size_t>(size));
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, wide.data(), size);
  for (wchar_t& unit : wide) {
    if (unit == L'/') unit = L'\\';
  }
  return true;
}

HANDLE Native(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    // Windows refuses to open a folder as a file with "access denied"; say what it is.
    if (code == ERROR_ACCESS_DENIED && IsFolder(wide)) return Fail(error, Failure::IsFolder, code);
    return Fail(error, code);
  }
  // A device or a pipe could be read for ever.
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return Fail(error, Failure::NotAFile, ERROR_BAD_FILE_TYPE);
  }
  handle = reinterpret_cast<Handle>(file);
  return true;
}

// A name in a folder holds a file or a folder on Windows: devices and pipes
// have names of their own, which OpenForReading refuses.
bool CheckNotSpecial(const std::string&, SysError&) {
  return true;
}

bool CreateNew(const std::string& path, const std::string& like, Handle& handle, SysError& error) {
  std::wstring wide, wide_like;
  if (!ToWide(path, wide, error) || (!like.empty() && !ToWide(like, wide_like, error)))
    return false;
  // The attributes the user may have given the earlier file; read-only ones
  // were refused before (ResolveOutput).
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD earlier = like.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide_like.c_str());
  DWORD attributes = earlier == INVALID_FILE_ATTRIBUTES ? 0 : earlier & kKept;
  // Shared for deletion only, so that the file can be moved into place while
  // the run still holds it open, to check that it is the file it wrote.
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error);
  handle = reinterpret_cast<Handle>(file);
  return true;
}

bool ResolveOutput(const std::string& path, std::string& target, SysError& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  target = path;
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // A symbolic link: the output is the file it leads to.
    HANDLE link =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) return Fail(error);
    wchar_t final_path[32768];
    DWORD length = ::GetFinalPathNameByHandleW(link, final_path, std::size(final_path),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    DWORD code = ::GetLastError();
    ::CloseHandle(link);
    if (length == 0 || length >= std::size(final_path)) return Fail(error, code);
    target = Utf8(final_path, static_cast<int>(length));
    if (!ToWide(target, wide, error)) return false;
    attributes = ::GetFileAttributesW(wide.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || Fail(error, code);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return Fail(error, Failure::IsFolder, ERROR_ACCESS_DENIED);
  // Moving a file over a read-only one fails; find out before the run writes anything.
  if (attributes & FILE_ATTRIBUTE_READONLY) return Fail(error, ERROR_ACCESS_DENIED);
  return true;
}

bool SameFile(Handle handle, const std::string& path, bool& same, SysError& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  BY_HANDLE_FILE_INFORMATION opened, named;
  if (!::GetFileInformationByHandle(Native(handle), &opened)) return Fail(error);
  // Asking for no access opens it whatever sharing the run's own handle allows.
  HANDLE file = ::CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    same = false;
    return code == ERROR_FILE_NOT_FOUND || Fail(error, code);
  }
  bool got = ::GetFileInformationByHandle(file, &named);
  DWORD code = ::GetLastError();
  ::CloseHandle(file);
  if (!got) return Fail(error, code);
  same = opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh &&
         opened.nFileIndexLow == named.nFileIndexLow;
  return true;
}

bool Read(Handle handle, char* buffer, std::size_t size, std::size_t& got, SysError& error) {
  DWORD count = 0;
  DWORD asked = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
  if (!::ReadFile(Native(handle), buffer, asked, &count, nullptr)) {
    DWORD code = ::GetLastError();
    if (code != ERROR_HANDLE_EOF && code != ERROR_BROKEN_PIPE) return Fail(error, code);
    count = 0;
  }
  got = count;
  return true;
}

bool Write(Handle handle, const char* data, std::size_t size, std::size_t& written,
           SysError& error) {
  DWORD count = 0;
  DWORD asked = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
  if (!::WriteFile(Native(handle), data, asked, &count, nullptr)) return Fail(error);
  if (count == 0 && size > 0) return Fail(error, ERROR_DISK_FULL);
  written = count;
  return true;
}

bool FlushToDisk(Handle handle, SysError& error) {
  return ::FlushFileBuffers(Native(handle)) || Fail(error);
}

// Windows' lazy writer already writes dirty data out within seconds; there is
// no call to hurry it that does not also wait.
bool StartWriteBack(Handle, SysError&) {
  return true;
}

bool Close(Handle handle, SysError& error) {
  return ::CloseHandle(Native(handle)) || Fail(error);
}

bool ReplaceFile(const std::string& from, const std::string& to, SysError& error) {
  std::wstring wide_from, wide_to;
  if (!ToWide(from, wide_from, error) || !ToWide(to, wide_to, error)) return false;
  return ::MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Fail(error);
}

bool MoveToFreeName(const std::string& from, const std::string& to, SysError& error) {
  std::wstring wide_from, wide_to;
  if (!ToWide(from, wide_from, error) || !ToWide(to, wide_to, error)) return false;
  return ::MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_WRITE_THROUGH) || Fail(error);
}

// Windows has no call that swaps two names in one step; the caller keeps the
// earlier file by a second name instead.
bool ExchangeFiles(const std::string&, const std::string&, SysError& error) {
  return Fail(error, Failure::Unsupported, ERROR_NOT_SUPPORTED);
}

bool LinkFile(const std::string& existing, const std::string& link, SysError& error) {
  std::wstring wide_existing, wide_link;
  if (!ToWide(existing, wide_existing, error) || !ToWide(link, wide_link, error)) return false;
  if (::CreateHardLinkW(wide_link.c_str(), wide_existing.c_str(), nullptr)) return true;
  DWORD code = ::GetLastError();
  // FAT and exFAT have no hard links; some network shares refuse them.
  if (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
      code == ERROR_INVALID_PARAMETER || code == ERROR_TOO_MANY_LINKS ||
      code == ERROR_NOT_SAME_DEVICE || code == ERROR_CALL_NOT_IMPLEMENTED) {
    return Fail(error, Failure::Unsupported, code);
  }
  return Fail(error, code);
}

bool RemoveFile(const std::string& path, SysError& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  return ::DeleteFileW(wide.c_str()) || Fail(error);
}

// A folder opened for writing can be flushed on NTFS. Where Windows refuses
// (access denied, or a file system or share that cannot flush a folder), the
// moves themselves carry MOVEFILE_WRITE_THROUGH, which returns only once the
// rename is on the disk, and NTFS journals every change of a folder.
bool FlushFolder(const std::string& folder, SysError& error) {
  std::wstring wide;
  if (!ToWide(folder, wide, error)) return false;
  HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  auto refused = [](DWORD code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION ||
           code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_PARAMETER ||
           code == ERROR_INVALID_HANDLE;
  };
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    return refused(code) || Fail(error, code);
  }
  bool flushed = ::FlushFileBuffers(handle);
  DWORD code = ::GetLastError();
  ::CloseHandle(handle);
  return flushed || refused(code) || Fail(error, code);
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, SysError& error) {
  names.clear();
  std::wstring wide;
  if (!ToWide(folder + "/*", wide, error)) return false;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(wide.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || Fail(error, code);
  }
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(Utf8(name.data(), static_cast<int>(name.size())));
  } while (::FindNextFileW(search, &found));
  DWORD code = ::GetLastError();
  ::FindClose(search);
  return code == ERROR_NO_MORE_FILES || Fail(error, code);
}

// The lock is the open file itself: shared with no one, so another run can
// neither open nor remove it while this run lives, and deleted by Windows
// when the handle closes, however the run ends. A run that finds it taken
// tries again until the run that holds it is done.
bool LockFolder(const std::string& path, Handle& handle, bool& taken, SysError& error) {
  std::wstring wide;
  if (!ToWide(path, wide, error)) return false;
  // A link is never followed, nor deleted with the handle.
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(error, Failure::IsFolder, ERROR_ACCESS_DENIED);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return Fail(error, Failure::NotAFile, ERROR_CANT_ACCESS_FILE);
  HANDLE file = ::CreateFileW(
      wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    handle = reinterpret_cast<Handle>(file);
    taken = true;
    return true;
  }
  const DWORD code = ::GetLastError();
  if (code == ERROR_ACCESS_DENIED && IsFolder(wide)) return Fail(error, Failure::IsFolder, code);
  // In use, or being deleted by the run that just let it go.
  if (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) return Fail(error, code);
  taken = false;
  return true;
}

bool UnlockFolder(const std::string&, Handle handle, SysError& error) {
  return ::CloseHandle(Native(handle)) || Fail(error);
}

void PauseBriefly() {
  ::Sleep(100);
}

bool ExecutablePath(std::string& path, SysError& error) {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length;
  for (;;) {
    length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return Fail(error);
    // A path that fills the buffer was cut short (older systems do not say so).
    if (length < buffer.size()) break;
    if (buffer.size() >= 64 * 1024) return Fail(error, ERROR_FILENAME_EXCED_RANGE);
    buffer.resize(buffer.size() * 2);
  }
  path = Utf8(buffer.data(), static_cast<int>(length), WC_ERR_INVALID_CHARS);
  if (path.empty()) return Fail(error, ERROR_INVALID_NAME);
  return true;
}

}  // namespace rt::os
