// The window services on X11, through FLTK: the form's window, its one push
// button, caption changes painted while a click is still being handled, and
// the run-time error's message box.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/error.h"
#include "runtime/ui.h"

namespace rt::ui {
namespace {

constexpr std::string_view kProgramName = "FixInputFiles";
// Captions set faster than this are painted together: the eye sees no more,
// and a long run does not wait on the X server for each one.
constexpr auto kPaintInterval = std::chrono::milliseconds(33);
constexpr int kLargestCaptionSize = 14;  // FLTK's usual size for labels
constexpr int kSmallestCaptionSize = 8;
// Room between the caption and the button's edge, where the focus frame is drawn.
constexpr int kCaptionMargin = 6;

// The desktop's scale, from the X resource Xft.dpi that GNOME, KDE and Xfce set
// (96 is the size the form is designed at). Never below 1, where the caption
// would be too small to read; never above 4, past any screen made.
double DesktopScale() {
  const char* dpi_text = XGetDefault(fl_display, "Xft", "dpi");
  if (!dpi_text) return 1;
  // Read as Xft reads it: the number at the start, whatever follows.
  double dpi = 0;
  auto parsed = std::from_chars(dpi_text, dpi_text + std::strlen(dpi_text), dpi);
  if (parsed.ec != std::errc() || !(dpi > 0)) return 1;
  return std::clamp(dpi / 96, 1.0, 4.0);
}

int Scaled(int pixels, double scale) {
  return static_cast<int>(std::lround(pixels * scale));
}

Rect Scaled(const Rect& place, double scale) {
  return {Scaled(place.left, scale), Scaled(place.top, scale), Scaled(place.width, scale),
          Scaled(place.height, scale)};
}

// FLTK reads '@' in a label as the start of a symbol's name; doubled, it is drawn as itself.
std::string LabelText(std::string_view text) {
  std::string label;
  label.reserve(text.size());
  for (char c : text) {
    label += c;
    if (c == '@') label += '@';
  }
  return label;
}

// A push button as users know it: Space and Enter click it when it has the
// focus, and '&' in its caption is an ordinary character.
class PushButton : public Fl_Button {
 public:
  PushButton(const Rect& place, double scale)
      : Fl_Button(place.left, place.top, place.width, place.height),
        largest_caption_size_(Scaled(kLargestCaptionSize, scale)),
        smallest_caption_size_(Scaled(kSmallestCaptionSize, scale)),
        caption_margin_(Scaled(kCaptionMargin, scale)) {
    clear_flag(SHORTCUT_LABEL);
    align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  }

  int handle(int event) override {
    bool plain_key = !(Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT | FL_META));
    if (event == FL_KEYBOARD && Fl::focus() == this && plain_key &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      simulate_key_action();
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }

  // The largest font size, up to the usual one, at which the whole caption fits
  // inside the button's face.
  void FitCaption() {
    int face_width = w() - 2 * caption_margin_;
    int face_height = h() - 2 * caption_margin_;
    int size = largest_caption_size_;
    for (; size > smallest_caption_size_; --size) {
      fl_font(labelfont(), size);
      int width = face_width;
      int height = 0;
      fl_measure(label(), width, height);
      if (width <= face_width && height <= face_height) break;
    }
    labelsize(size);
  }

 protected:
  // As Fl_Button draws itself, with the caption kept clear of the edge and the focus frame.
  void draw() override {
    draw_box(value() ? fl_down(box()) : box(), value() ? selection_color() : color());
    draw_label(x() + caption_margin_, y() + caption_margin_, w() - 2 * caption_margin_,
               h() - 2 * caption_margin_);
    if (Fl::focus() == this) draw_focus();
  }

 private:
  int largest_caption_size_;
  int smallest_caption_size_;
  int caption_margin_;
};

class FltkForm : public FormHost {
 public:
  FltkForm(const FormDesign& design, FormClient& client, double scale)
      : window_(Scaled(design.client_width, scale), Scaled(design.client_height, scale)),
        button_(Scaled(design.button, scale), scale),
        client_(client) {
    window_.copy_label(design.title.c_str());
    window_.xclass(kProgramName.data());
    window_.callback(&FltkForm::OnClose, this);
    button_.callback(&FltkForm::OnClick, this);
    window_.end();
    button_.copy_label(LabelText(design.caption).c_str());
    button_.FitCaption();
  }

  void Show() {
    window_.show();
    button_.take_focus();
  }

  void HandleInputFor(int milliseconds) override {
    if (caption_unpainted_) Paint();
    Fl::wait(milliseconds / 1000.0);
    if (!window_.shown()) EndProgram(0);
  }

  void SetButtonCaption(std::string_view caption) override {
    button_.copy_label(LabelText(caption).c_str());
    if (Clock::now() - last_paint_ >= kPaintInterval) {
      Paint();
    } else {
      caption_unpainted_ = true;
    }
  }

 private:
  using Clock = std::chrono::steady_clock;

  // Draws the button now, without taking any input event from the queue.
  void Paint() {
    button_.FitCaption();
    button_.redraw();
    Fl::flush();
    last_paint_ = Clock::now();
    caption_unpainted_ = false;
  }

  static void OnClick(Fl_Widget*, void* form_pointer) {
    auto& form = *static_cast<FltkForm*>(form_pointer);
    DispatchClick(form.client_);
    // The caption the click set last is the one the user sees when it returns.
    if (form.caption_unpainted_) form.Paint();
  }

  // The window's close box, or Escape: only the close box ends the program.
  static void OnClose(Fl_Widget* window, void*) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    window->hide();
  }

  Fl_Window window_;
  PushButton button_;
  FormClient& client_;
  Clock::time_point last_paint_{};
  bool caption_unpainted_ = false;
};

bool OpenDisplay() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = XDisplayName(nullptr);
    if (name && *name) {
      std::fprintf(stderr, "%s: cannot open the display \"%s\"; it needs a graphical desktop\n",
                   kProgramName.data(), name);
    } else {
      std::fprintf(stderr, "%s: no display (DISPLAY is not set); it needs a graphical desktop\n",
                   kProgramName.data());
    }
    return false;
  }
  fl_open_display(display);
  return true;
}

}  // namespace

int RunForm(const FormDesign& design, FormClient& client) {
  if (!OpenDisplay()) return 1;
  double scale = DesktopScale();
  // The run-time error's message, at the size the caption starts at.
  fl_message_font(FL_HELVETICA, Scaled(kLargestCaptionSize, scale));
  FltkForm form(design, client, scale);
  client.Attach(form);
  form.Show();
  // Returns once the window is closed; a click that ends the program never comes back here.
  return Fl::run();
}

void ShowRunTimeError(const RuntimeError& error) {
  std::fprintf(stderr, "%s\n", error.Message().c_str());
  std::fflush(stderr);
  if (!fl_display) return;
  fl_message_title(kProgramName.data());
  fl_alert("%s", LabelText(error.Message()).c_str());
}

}  // namespace rt::ui
