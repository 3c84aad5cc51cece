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
#ifdef __EMSCRIPTEN__
  // In WebAssembly, exit() unwinds the program as an exception, which runs
  // cleanup and turns into an abort at every noexcept frame; a trap stops the
  // program at once, as exit() does elsewhere. The page's worker reports the end.
  (void)status;
  __builtin_trap();
#else
  std::exit(status);
#endif
}

}  // namespace rt::ui
