// The window services for tests that run without a display: the message goes to stderr.
#include <cstdio>

#include "runtime/error.h"
#include "runtime/ui.h"

namespace rt::ui {

int RunForm(const FormDesign&, FormClient&) {
  std::fputs("no window in the tests\n", stderr);
  return 1;
}

void ShowRunTimeError(const RuntimeError& error) {
  std::fprintf(stderr, "%s\n", error.Message().c_str());
}

}  // namespace rt::ui
