#include "runtime/ui.h"

#include <cstdlib>
#include <exception>

#include "runtime/error.h"

namespace rt::ui {

void DispatchClick(FormClient& client) noexcept {
  try {
    client.Click();
    return;
  } catch (const std::exception&) {
    ShowRunTimeError(CaughtError());
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
