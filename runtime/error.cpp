#include "runtime/error.h"

#include <new>

namespace rt {

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : std::runtime_error("Run-time error '" + std::to_string(static_cast<int>(number)) +
                         "': " + description),
      number_(number),
      description_(std::move(description)) {}

std::string RuntimeError::Message() const {
  return "Run-time error '" + std::to_string(Number()) + "':\n\n" + description_;
}

RuntimeError CaughtError() {
  try {
    throw;
  } catch (const RuntimeError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return RuntimeError(ErrorNumber::OutOfMemory, "Out of memory");
  } catch (const std::exception& error) {
    return RuntimeError(ErrorNumber::InternalError, std::string("Internal error: ") + error.what());
  }
}

void ThrowOverflow() {
  throw RuntimeError(ErrorNumber::Overflow, "Overflow");
}

}  // namespace rt
