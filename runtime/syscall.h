// The one seam every system call of the file layer passes through, so a test
// can make the N-th call fail with a chosen error and check that nothing is lost.
#pragma once

#include "runtime/os.h"

namespace rt::sys {

// From the `nth` call on (counting from 1 after this call), fail once, or every
// time when `repeating`.
void InjectFailure(long long nth, os::Failure failure, bool repeating);
void ClearInjection();
// Calls made since the last InjectFailure or ClearInjection.
long long CallsMade();

// Counts the call and returns false with the injected error when this one is to fail.
bool Permit(os::SysError& error);

// Runs one system call through the seam.
template <class Call>
bool Checked(os::SysError& error, Call&& call) {
  return Permit(error) && call();
}

}  // namespace rt::sys
