// The fault seam's controls, in the test build only (FIX_FAULT_INJECTION): a
// test makes the N-th system call of the file layer fail, stops the process
// just before a call, or makes the file system seem to lack an ability. The
// shipped programs have none of this; each of their calls is made as it is.
#pragma once

#include <initializer_list>

#include "runtime/syscall.h"

#ifndef FIX_FAULT_INJECTION
#error "the fault seam's controls are in the test build only"
#endif

namespace rt::sys {

// From the `nth` call on (counting from 1 after this call), fail once, or every
// time when `repeating`.
void InjectFailure(long long nth, os::Failure failure, bool repeating);
// Fails each of these calls once: two faults in a row, or more.
void InjectFailures(std::initializer_list<long long> calls, os::Failure failure);
void ClearInjection();
// Calls made since the last InjectFailure or ClearInjection.
long long CallsMade();

// Called with the call's number just before each call is made; nullptr for none.
// A test uses it to stop the process at an exact point of a run.
using CallHook = void (*)(long long call);
void SetCallHook(CallHook hook);

// Makes every call that needs `ability` answer Failure::Unsupported, as such a
// file system answers.
void SimulateLacking(Ability ability, bool lacking);

}  // namespace rt::sys
