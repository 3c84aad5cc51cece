// The window services: one window with one push button, as the platform draws it.
// One backend per platform (ui_fltk.cpp, ui_win32.cpp, ui_web.cpp) implements RunForm and
// the message box; nothing above this header knows which.
#pragma once

#include <string>
#include <string_view>

namespace rt {
class RuntimeError;
}

namespace rt::ui {

// Sizes in pixels at 96 dots per inch; a backend scales them for the screen.
struct Rect {
  int left, top, width, height;
};

struct FormDesign {
  std::string title;
  int client_width, client_height;
  Rect button;
  std::string caption;  // the button's first caption, word-wrapped inside it
};

// What the platform window does for the form.
class FormHost {
 public:
  virtual ~FormHost() = default;
  // Shows the new caption at once, even while a click is still being handled.
  virtual void SetButtonCaption(std::string_view caption) = 0;
  // Handles the window's input for about `milliseconds`, while a click waits
  // for something: a click on the button then is handled as any other, and
  // closing the window ends the program.
  virtual void HandleInputFor(int milliseconds) = 0;
};

// The form's own code, called by the platform window.
class FormClient {
 public:
  virtual ~FormClient() = default;
  // Called once, after the window exists and before it takes any input.
  virtual void Attach(FormHost& host) = 0;
  virtual void Click() = 0;
};

// Creates and shows the window, then handles its events until the program ends.
// Returns the exit status when the user closes the window.
int RunForm(const FormDesign& design, FormClient& client);

// Every click goes through here: the one place where a run-time error is shown
// and ends the program.
void DispatchClick(FormClient& client) noexcept;

// Shows the run-time error's message in a modal box and on stderr; returns when dismissed.
void ShowRunTimeError(const RuntimeError& error);

// Stops the program at once with this exit status.
[[noreturn]] void EndProgram(int status);

}  // namespace rt::ui
