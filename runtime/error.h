// Run-time errors: every failing operation of the program throws one of these,
// and one place at the top shows its message and ends the program.
#pragma once

#include <limits>
#include <stdexcept>
#include <string>

namespace rt {

// The classic run-time error numbers, so a user who reports "error 53" is understood.
enum class ErrorNumber : int {
  Overflow = 6,
  OutOfMemory = 7,
  InternalError = 51,
  FileNotFound = 53,
  BadFileMode = 54,
  DeviceIoError = 57,
  DiskFull = 61,
  PermissionDenied = 70,
  PathFileAccessError = 75,
  PathNotFound = 76,
};

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(ErrorNumber number, std::string description);

  int Number() const { return static_cast<int>(number_); }
  ErrorNumber Kind() const { return number_; }
  const std::string& Description() const { return description_; }

  // The text the user sees: the number on one line, the description below it.
  std::string Message() const;

 private:
  ErrorNumber number_;
  std::string description_;
};

[[noreturn]] void ThrowOverflow();

// The exception being handled, as the run-time error the user is shown: the
// program's own as it is, a lack of memory as "Out of memory", anything else
// as an internal error. Called only inside a catch block.
RuntimeError CaughtError();

// Adds one to a 32-bit counter; going past its largest value is the overflow error.
inline void CheckedIncrement(int& counter) {
  static_assert(sizeof(int) == 4, "counters are 32-bit");
  if (counter == std::numeric_limits<int>::max()) ThrowOverflow();
  ++counter;
}

}  // namespace rt
