// The window services of the web page. The program runs in a worker that the
// page starts for each click on its button: the click that started it is the
// only one the program sees, and the page draws the button. Captions and the
// run-time error's message are posted to the page, which shows them.
#include <emscripten/emscripten.h>

#include <exception>
#include <string>
#include <string_view>

#include "runtime/error.h"
#include "runtime/ui.h"

// `Module.page` is what the worker's script gives the program: `post` sends a
// message to the page, `caption` hands it a caption (it gathers them).
// A run sets a caption every 1000 lines. They are short and plain ASCII,
// which a loop turns into text in less time than the UTF-8 decoder takes to start.
EM_JS(void, PostCaption, (const char* caption, std::size_t length), {
  let text = "";
  for (let at = caption; at < caption + length; at++) {
    if (HEAPU8[at] >= 0x80) {
      text = UTF8ToString(caption, length);
      break;
    }
    text += String.fromCharCode(HEAPU8[at]);
  }
  Module.page.caption(text);
});

EM_JS(void, PostRunTimeError, (int number, const char* message),
      { Module.page.post({type : "error", number : number, message : UTF8ToString(message)}); });

namespace rt::ui {
namespace {

class PageButton : public FormHost {
 public:
  void SetButtonCaption(std::string_view caption) override {
    PostCaption(caption.data(), caption.size());
  }
  // The page's button is the page's: its program never waits for another run
  // (the page keeps runs in a folder apart with names of their own).
  void HandleInputFor(int) override {}
};

}  // namespace

// The page shows the window itself; its click started the program.
int RunForm(const FormDesign&, FormClient& client) {
  // A crash ends the program at once with a trap, which no handler catches;
  // the worker reports it. The default handler calls abort(), whose JavaScript
  // error the handler's own catch-all takes for a new failure and terminates
  // again, until the stack runs out.
  std::set_terminate([] { __builtin_trap(); });
  PageButton button;
  client.Attach(button);
  DispatchClick(client);
  return 0;
}

void ShowRunTimeError(const RuntimeError& error) {
  PostRunTimeError(error.Number(), error.Message().c_str());
}

}  // namespace rt::ui
