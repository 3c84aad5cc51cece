// The one seam every system call of the file layer passes through, the
// cleanup after a failure and the clearing of dead runs' leftovers included:
// one error builder for every failure, and in the test build the place where
// a test makes the N-th call fail with a chosen error, or stops the process
// there, and checks that nothing is lost.
#pragma once

#include <string>

#include "runtime/os.h"

namespace rt::sys {

// What a file system may lack: FAT, exFAT and network folders cannot swap two
// names, and FAT and exFAT have no hard links. A call that needs one is
// answered Failure::Unsupported there.
enum class Ability { Exchange, Link };

#ifdef FIX_FAULT_INJECTION
// The test build counts each call, and may fail it, stop the process there or
// answer as a file system lacking an ability would (runtime/fault_injection.h).
bool Permit(os::SysError& error);
bool Lacks(Ability ability, os::SysError& error);
#else
// The shipped program makes each call as it is.
constexpr bool Permit(os::SysError&) {
  return true;
}
constexpr bool Lacks(Ability, os::SysError&) {
  return false;
}
#endif

// The run-time error that a failed call on `path` is reported as.
[[noreturn]] void Raise(const os::SysError& error, const std::string& path);

// Runs one system call, `call(error)`, through the seam.
template <class Call>
bool Checked(os::SysError& error, Call&& call) {
  return Permit(error) && call(error);
}

// For a call that only some file systems can make.
template <class Call>
bool CheckedNeeding(Ability ability, os::SysError& error, Call&& call) {
  return Permit(error) && !Lacks(ability, error) && call(error);
}

// For a call whose effect happens even when it reports a failure: closing
// releases the handle either way. The call is always made, and an injected
// failure is reported after it, as the system would.
template <class Call>
bool CheckedAlwaysMade(os::SysError& error, Call&& call) {
  os::SysError injected;
  const bool permitted = Permit(injected);
  const bool made = call(error);
  if (!permitted) error = injected;
  return permitted && made;
}

// A call of the run's work: its failure is the run-time error naming `path`.
template <class Call>
void Do(const std::string& path, Call&& call) {
  os::SysError error;
  if (!Checked(error, call)) Raise(error, path);
}

// Closes a file, whose handle is gone afterwards whatever the call reports;
// a failure is the run-time error naming `path`.
void Close(os::Handle handle, const std::string& path);
// The same in cleanup after a failure, which is the one reported.
void CloseQuietly(os::Handle handle) noexcept;

// A call of cleanup, whose failure leaves something for a later run to
// clear: the failure already being reported, or the success already won, is
// the one that counts.
template <class Call>
bool Try(Call&& call) {
  os::SysError ignored;
  return Checked(ignored, call);
}

}  // namespace rt::sys
