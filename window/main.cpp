#include "runtime/ui.h"
#include "window/form1.h"

int main() {
  Form1 form;
  return rt::ui::RunForm(Form1::Design(), form);
}
