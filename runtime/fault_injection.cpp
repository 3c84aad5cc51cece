#include "runtime/fault_injection.h"

#include <algorithm>
#include <vector>

namespace rt::sys {
namespace {

struct Injection {
  long long calls = 0;
  std::vector<long long> fail_at;  // empty: nothing injected
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
    case os::Failure::NotAFile:
      return "Not a regular file";
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

void InjectFailure(long long nth, os::Failure failure, bool repeating) {
  State() = Injection{0, {nth}, repeating, failure};
}

void InjectFailures(std::initializer_list<long long> calls, os::Failure failure) {
  State() = Injection{0, calls, false, failure};
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
  if (state.fail_at.empty()) return true;
  const bool fails = state.repeating ? state.calls >= state.fail_at.front()
                                     : std::find(state.fail_at.begin(), state.fail_at.end(),
                                                 state.calls) != state.fail_at.end();
  if (!fails) return true;
  error.failure = state.failure;
  error.reason = ReasonFor(state.failure);
  return false;
}

}  // namespace rt::sys
