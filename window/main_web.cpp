// The web page's program: the page starts it in a worker for each click on its
// button, and it performs that one click.
#include "engine/run.h"
#include "runtime/ui.h"
#include "window/form1.h"

namespace {

// On the page the outputs are in place only once the page has saved them,
// after the run: the page shows the closing caption itself then, in words true
// for the way the user gave the files.
class PageForm1 : public Form1 {
 public:
  void SetCaption(std::string_view caption) override {
    if (caption != engine::kClosingCaption) Form1::SetCaption(caption);
  }
};

}  // namespace

int main() {
  PageForm1 form;
  return rt::ui::RunForm(Form1::Design(), form);
}
