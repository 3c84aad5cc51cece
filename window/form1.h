// Form1, the program's only window, and its one button, Command1.
#pragma once

#include <string_view>

#include "engine/symbols.h"
#include "runtime/paths.h"
#include "runtime/ui.h"
#include "window/clean_folder.h"

// The window holds the symbol inventory (SymbolCount, LegalSymbol) for the
// life of the program, and whether the run was started; it hands the
// inventory to the run.
class Form1 : public engine::SymbolInventory, public rt::ui::FormClient {
 public:
  // Geometry in twips, 15 to the pixel at 96 dots per inch.
  static constexpr int kTwipsPerPixel = 15;
  static constexpr int kClientWidth = 5835;
  static constexpr int kClientHeight = 4515;
  static constexpr int kCommand1Left = 1080;
  static constexpr int kCommand1Top = 720;
  static constexpr int kCommand1Width = 3615;
  static constexpr int kCommand1Height = 2535;

  static constexpr std::string_view kTitle = "Fix input files for the Quorlen";
  static constexpr std::string_view kInitialCaption =
      "The file you want to clean up should be called in.txt, and be located in the same folder as "
      "this program.  Also include a file called Symbols.txt with all of your phonetic symbols, "
      "one per line.  Then click this button to run the program.";

  // While another run of the program holds the folder.
  static constexpr std::string_view kWaitingCaption =
      "Waiting for another run of this program in this folder to finish.  Click again to exit.";
  // How long the window handles its input before the folder is tried again.
  static constexpr int kWaitingSliceMs = 100;

  static rt::ui::FormDesign Design();

  // The folder the run's files are in; the program's own folder unless a test says otherwise.
  explicit Form1(FolderSource program_folder = rt::ProgramFolder);

  bool RunStarted = false;

  // First click: performs the run. Any later click ends the program, also
  // while the run waits for another in its folder.
  void Command1_Click();

  // rt::ui::FormClient
  void Attach(rt::ui::FormHost& host) override { Command1_ = &host; }
  void Click() override { Command1_Click(); }

 protected:
  virtual void SetCaption(std::string_view caption);

 private:
  FolderSource program_folder_;
  rt::ui::FormHost* Command1_ = nullptr;
};
