// The one seam every system call of the file layer passes through, the
// cleanup after a failure and the clearing of dead runs' leftovers included,
// so a test can make the N-th call fail with a chosen error, or stop the
// process there, and check that nothing is lost.
#pragma once

#include <string>

#include "runtime/os.h"

namespace rt::sys {

// From the `nth` call on (counting from 1 after this call), fail once, or every
// time when `repeating`.
void InjectFailure(long long nth, os::Failure failure, bool repeating);
void ClearInjection();
// Calls made since the last InjectFailure or ClearInjection.
long long CallsMade();

// Called with the call's number just before each call is made; nullptr for none.
// A test uses it to stop the process at an exact point of a run.
using CallHook = void (*)(long long call);
void SetCallHook(CallHook hook);

// Counts the call and returns false with the injected error when this one is to fail.
bool Permit(os::SysError& error);

// What a file system may lack: FAT, exFAT and network folders cannot swap two
// names, and FAT and exFAT have no hard links. A test makes the file system
// seem to lack one, so that every call needing it is answered
// Failure::Unsupported, as such a file system answers.
enum class Ability { Exchange, Link };
void SimulateLacking(Ability ability, bool lacking);
bool Lacks(Ability ability, os::SysError& error);

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
