// The window's logic without a display: the design it asks for and the two clicks.
#include "window/form1.h"

#include <gtest/gtest.h>

#include "engine/run.h"
#include "tests/test_support.h"

namespace {

using testing_support::TempFolder;

class RecordingHost : public rt::ui::FormHost {
 public:
  void SetButtonCaption(std::string_view caption) override { captions.emplace_back(caption); }
  void HandleInputFor(int) override {}
  std::vector<std::string> captions;
};

TEST(Form1Design, IsTheWindowTheUserExpects) {
  rt::ui::FormDesign design = Form1::Design();
  EXPECT_EQ(design.title, "Fix input files for the Quorlen");
  EXPECT_EQ(design.client_width, 389);
  EXPECT_EQ(design.client_height, 301);
  EXPECT_EQ(design.button.left, 72);
  EXPECT_EQ(design.button.top, 48);
  EXPECT_EQ(design.button.width, 241);
  EXPECT_EQ(design.button.height, 169);
  EXPECT_EQ(design.caption.substr(0, 44), "The file you want to clean up should be call");
}

TEST(Form1Clicks, FirstRunsTheJobAndSecondEndsTheProgram) {
  TempFolder folder;
  folder.Write("in.txt", "p x\r\n");
  folder.Write("Symbols.txt", "p\r\n");
  Form1 form([&] { return folder.Path(); });
  RecordingHost host;
  form.Attach(host);
  EXPECT_FALSE(form.RunStarted);
  form.Click();
  EXPECT_TRUE(form.RunStarted);
  EXPECT_TRUE(form.LegalSymbol("p"));
  EXPECT_EQ(form.SymbolCount, 1);
  EXPECT_EQ(host.captions, std::vector<std::string>{std::string(engine::kClosingCaption)});
  EXPECT_EQ(folder.Read("FixedLines.txt"), "p\r\n");
  EXPECT_EXIT(form.Click(), testing::ExitedWithCode(0), "");
}

TEST(Form1Clicks, ARunTimeErrorEndsTheProgramWithItsMessage) {
  TempFolder folder;
  Form1 form([&] { return folder.Path(); });
  RecordingHost host;
  form.Attach(host);
  EXPECT_EXIT(rt::ui::DispatchClick(form), testing::ExitedWithCode(1),
              "File not found: .*in\\.txt");
}

}  // namespace
