#include "runtime/ui.h"

#include <cstdlib>
#include <new>

#include "runtime/error.h"

namespace rt::ui {

void DispatchClick(FormClient& client) noexcept {
  try {
    client.Click();
    return;
  } catch (const RuntimeError& error) {
    ShowRunTimeError(error);
  } catch (const std::bad_alloc&) {
    ShowRunTimeError(RuntimeError(ErrorNumber::OutOfMemory, "Out of memory"));
  } catch (const std::exception& error) {
    ShowRunTimeError(
        RuntimeError(ErrorNumber::InternalError, std::string("Internal error: ") + error.what()));
  }
  EndProgram(1);
}

void EndProgram(int status) {
  std::exit(status);
}

}  // namespace rt::ui
