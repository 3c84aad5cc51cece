#include "runtime/error.h"

namespace rt {

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : std::runtime_error("Run-time error '" + std::to_string(static_cast<int>(number)) +
                         "': " + description),
      number_(number),
      description_(std::move(description)) {}

std::string RuntimeError::Message() const {
  return "Run-time error '" + std::to_string(Number()) + "':\n\n" + description_;
}

void ThrowOverflow() {
  throw RuntimeError(ErrorNumber::Overflow, "Overflow");
}

}  // namespace rt
