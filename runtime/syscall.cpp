#include "runtime/syscall.h"

#include "runtime/error.h"

namespace rt::sys {
namespace {

struct Injection {
  long long calls = 0;
  long long fail_at = 0;  // 0: nothing injected
  bool repeating = false;
  os::Failure failure = os::Failure::IoError;
};

CallHook hook = nullptr;
bool lacking[2] = {false, false};  // by Ability

Injection& State() {
  static Injection state;
  return state;
}

const char* ReasonFor(os::Failure failure) {
  switch (failure) {
    case os::Failure::NotFound:
      return "No such file or directory";
    case os::Failure::PathNotFound:
      return "No such file or directory";
    case os::Failure::AccessDenied:
      return "Permission denied";
    case os::Failure::NoSpace:
      return "No space left on device";
    case os::Failure::IoError:
      return "Input/output error";
    case os::Failure::IsFolder:
      return "Is a directory";
    case os::Failure::Exists:
      return "File exists";
    case os::Failure::Unsupported:
      return "Operation not supported";
    case os::Failure::Other:
      break;
  }
  return "Operation failed";
}

}  // namespace

void Raise(const os::SysError& error, const std::string& path) {
  auto with_reason = [&](std::string_view kind) {
    return std::string(kind) + ": " + path + " (" + error.reason + ")";
  };
  switch (error.failure) {
    case os::Failure::NotFound:
      throw RuntimeError(ErrorNumber::FileNotFound, "File not found: " + path);
    case os::Failure::PathNotFound:
      throw RuntimeError(ErrorNumber::PathNotFound, with_reason("Path not found"));
    case os::Failure::AccessDenied:
      throw RuntimeError(ErrorNumber::PermissionDenied, with_reason("Permission denied"));
    case os::Failure::NoSpace:
      throw RuntimeError(ErrorNumber::DiskFull, with_reason("Disk full"));
    case os::Failure::IoError:
      throw RuntimeError(ErrorNumber::DeviceIoError, with_reason("Device I/O error"));
    case os::Failure::IsFolder:
      throw RuntimeError(ErrorNumber::PathFileAccessError,
                         "Path/File access error: " + path + " is a folder, not a file");
    case os::Failure::Exists:
    case os::Failure::Unsupported:
    case os::Failure::Other:
      break;
  }
  throw RuntimeError(ErrorNumber::PathFileAccessError, with_reason("Path/File access error"));
}

void Close(os::Handle handle, const std::string& path) {
  os::SysError error;
  if (!CheckedAlwaysMade(error, [&](os::SysError& e) { return os::Close(handle, e); }))
    Raise(error, path);
}

void CloseQuietly(os::Handle handle) noexcept {
  os::SysError ignored;
  CheckedAlwaysMade(ignored, [&](os::SysError& e) { return os::Close(handle, e); });
}

void InjectFailure(long long nth, os::Failure failure, bool repeating) {
  State() = Injection{0, nth, repeating, failure};
}

void ClearInjection() {
  State() = Injection{};
}

long long CallsMade() {
  return State().calls;
}

void SetCallHook(CallHook call_hook) {
  hook = call_hook;
}

void SimulateLacking(Ability ability, bool lacks) {
  lacking[static_cast<int>(ability)] = lacks;
}

bool Lacks(Ability ability, os::SysError& error) {
  if (!lacking[static_cast<int>(ability)]) return false;
  error.failure = os::Failure::Unsupported;
  error.reason = ReasonFor(os::Failure::Unsupported);
  return true;
}

bool Permit(os::SysError& error) {
  Injection& state = State();
  ++state.calls;
  if (hook) hook(state.calls);
  if (state.fail_at == 0) return true;
  bool fails = state.repeating ? state.calls >= state.fail_at : state.calls == state.fail_at;
  if (!fails) return true;
  error.failure = state.failure;
  error.reason = ReasonFor(state.failure);
  return false;
}

}  // namespace rt::sys
