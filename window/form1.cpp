#include "window/form1.h"

#include <string>

rt::ui::FormDesign Form1::Design() {
  auto pixels = [](int twips) { return twips / kTwipsPerPixel; };
  return rt::ui::FormDesign{
      std::string(kTitle),
      pixels(kClientWidth),
      pixels(kClientHeight),
      {pixels(kCommand1Left), pixels(kCommand1Top), pixels(kCommand1Width),
       pixels(kCommand1Height)},
      std::string(kInitialCaption),
  };
}

Form1::Form1(FolderSource program_folder) : program_folder_(std::move(program_folder)) {}

void Form1::Command1_Click() {
  if (RunStarted) rt::ui::EndProgram(0);
  RunStarted = true;
  bool told = false;
  auto waiting = [this, &told] {
    if (!told) SetCaption(kWaitingCaption);
    told = true;
    if (Command1_) {
      Command1_->HandleInputFor(kWaitingSliceMs);
    } else {
      rt::os::PauseBriefly();
    }
  };
  CleanFolder(
      program_folder_, *this, [this](std::string_view caption) { SetCaption(caption); }, waiting);
}

void Form1::SetCaption(std::string_view caption) {
  if (Command1_) Command1_->SetButtonCaption(caption);
}
