#include "runtime/error.h"

#include <limits>

namespace rt {

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : std::runtime_error("Run-time error '" + std::to_string(static_cast<int>(number)) +
                         "': " + description),
      number_(number),
      description_(std::move(description)) {}

std::string RuntimeError::Message() const {
  return "Run-time error '" + std::to_string(Number()) + "':\n\n" + description_;
}

void CheckedIncrement(int& counter) {
  static_assert(sizeof(int) == 4, "counters are 32-bit");
  if (counter == std::numeric_limits<int>::max()) {
    throw RuntimeError(ErrorNumber::Overflow, "Overflow");
  }
  ++counter;
}

}  // namespace rt
