// The window services on Windows: Form1 as a top-level window of its own class
// with Command1 as a push button child, sized for the monitor's DPI.
#include <windows.h>

#include <cstdio>
#include <string>

#include "runtime/error.h"
#include "runtime/ui.h"

namespace rt::ui {
namespace {

constexpr wchar_t kFormClass[] = L"FixInputFiles.Form1";
constexpr wchar_t kMessageTitle[] = L"FixInputFiles";
constexpr int kCommand1Id = 1;
constexpr UINT kDesignDpi = 96;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = 0;

// Invalid UTF-8 shows as U+FFFD rather than losing the text around it.
std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string LastErrorText() {
  DWORD code = ::GetLastError();
  return "system error " + std::to_string(code);
}

// The per-monitor DPI calls exist from Windows 10 1607 on; older systems (and
// some Wine versions) lack them, so they are looked up at run time.
struct DpiFunctions {
  UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* AdjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
  BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
};

template <class Function>
void Find(HMODULE module, const char* name, Function& function) {
  // Through void(*)() so the compiler accepts the cast between function types.
  function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

const DpiFunctions& Dpi() {
  static const DpiFunctions functions = [] {
    DpiFunctions found;
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (user32) {
      Find(user32, "GetDpiForWindow", found.GetDpiForWindow);
      Find(user32, "AdjustWindowRectExForDpi", found.AdjustWindowRectExForDpi);
      Find(user32, "SystemParametersInfoForDpi", found.SystemParametersInfoForDpi);
    }
    return found;
  }();
  return functions;
}

UINT SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

UINT DpiOf(HWND window) {
  UINT dpi = Dpi().GetDpiForWindow ? Dpi().GetDpiForWindow(window) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

// The outer size of a window whose client area is `width` x `height` at `dpi`.
SIZE FrameSize(int width, int height, UINT dpi) {
  RECT rect{0, 0, width, height};
  if (!Dpi().AdjustWindowRectExForDpi ||
      !Dpi().AdjustWindowRectExForDpi(&rect, kFormStyle, FALSE, kFormExStyle, dpi)) {
    ::AdjustWindowRectEx(&rect, kFormStyle, FALSE, kFormExStyle);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The system's message font at `dpi`.
HFONT MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  bool scaled =
      Dpi().SystemParametersInfoForDpi &&
      Dpi().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  if (!scaled) {
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return nullptr;
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                              static_cast<int>(SystemDpi()));
  }
  return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

class FormWindow final : public FormHost {
 public:
  FormWindow(const FormDesign& design, FormClient& client) : design_(design), client_(client) {}
  ~FormWindow() override {
    if (font_) ::DeleteObject(font_);
  }
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Creates and shows the window; false (with the reason) when Windows refuses.
  bool Create(std::string& failure);
  HWND Window() const { return window_; }

  void SetButtonCaption(std::string_view caption) override {
    // Painted now: the run holds the thread, so no message would paint it before the run ends.
    ::SetWindowTextW(button_, Wide(caption).c_str());
    ::UpdateWindow(button_);
  }

  void HandleInputFor(int milliseconds) override {
    const DWORD start = ::GetTickCount();
    for (;;) {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // The window was closed.
        if (message.message == WM_QUIT) EndProgram(static_cast<int>(message.wParam));
        if (::IsDialogMessageW(window_, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      const DWORD waited = ::GetTickCount() - start;
      if (waited >= static_cast<DWORD>(milliseconds)) return;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds) - waited,
                                  QS_ALLINPUT);
    }
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  bool OnCreate();
  void OnCommand(WPARAM wparam);
  void OnSetFocus();
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDestroy();

  int Scale(int pixels) const { return ::MulDiv(pixels, static_cast<int>(dpi_), kDesignDpi); }
  // Places the button and gives it the message font for the current DPI.
  void LayOutButton();

  const FormDesign& design_;
  FormClient& client_;
  HWND window_ = nullptr;
  HWND button_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = kDesignDpi;
};

bool FormWindow::Create(std::string& failure) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = Procedure;
  form_class.hInstance = instance;
  form_class.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  form_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kFormClass;
  if (!::RegisterClassExW(&form_class) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    failure = "the window class was refused (" + LastErrorText() + ")";
    return false;
  }
  // The size for the system's DPI; WM_CREATE corrects it for the monitor's.
  UINT dpi = SystemDpi();
  SIZE size = FrameSize(::MulDiv(design_.client_width, static_cast<int>(dpi), kDesignDpi),
                        ::MulDiv(design_.client_height, static_cast<int>(dpi), kDesignDpi), dpi);
  HWND window = ::CreateWindowExW(kFormExStyle, kFormClass, Wide(design_.title).c_str(), kFormStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                                  instance, this);
  if (!window) {
    failure = "the window was refused (" + LastErrorText() + ")";
    return false;
  }
  ::ShowWindow(window, SW_SHOWDEFAULT);
  ::UpdateWindow(window);
  return true;
}

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return ::DefWindowProcW(window, message, wparam, lparam);
  return form->Handle(message, wparam, lparam);
}

LRESULT FormWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(wparam);
      return 0;
    case WM_SETFOCUS:
      OnSetFocus();
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wparam, lparam);
  }
}

bool FormWindow::OnCreate() {
  button_ =
      ::CreateWindowExW(0, L"BUTTON", Wide(design_.caption).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 0, 0, 0,
                        0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCommand1Id)),
                        ::GetModuleHandleW(nullptr), nullptr);
  if (!button_) return false;
  dpi_ = DpiOf(window_);
  SIZE size = FrameSize(Scale(design_.client_width), Scale(design_.client_height), dpi_);
  ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  LayOutButton();
  client_.Attach(*this);
  ::SetFocus(button_);
  return true;
}

void FormWindow::OnCommand(WPARAM wparam) {
  if (LOWORD(wparam) == kCommand1Id && HIWORD(wparam) == BN_CLICKED) DispatchClick(client_);
}

// The form itself takes no keys: focus always belongs to its one button.
void FormWindow::OnSetFocus() {
  if (button_) ::SetFocus(button_);
}

void FormWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOutButton();
}

void FormWindow::OnDestroy() {
  ::PostQuitMessage(0);
}

void FormWindow::LayOutButton() {
  ::SetWindowPos(button_, nullptr, Scale(design_.button.left), Scale(design_.button.top),
                 Scale(design_.button.width), Scale(design_.button.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  HFONT font = MessageFont(dpi_);
  // Without the message font the button keeps the system font: still readable.
  if (!font) return;
  ::SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (font_) ::DeleteObject(font_);
  font_ = font;
}

}  // namespace

int RunForm(const FormDesign& design, FormClient& client) {
  FormWindow form(design, client);
  std::string failure;
  if (!form.Create(failure)) {
    ShowRunTimeError(RuntimeError(ErrorNumber::InternalError,
                                  "Internal error: the program's window cannot open: " + failure));
    return 1;
  }
  MSG message{};
  for (;;) {
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) break;
    if (got == -1) {
      ShowRunTimeError(
          RuntimeError(ErrorNumber::InternalError,
                       "Internal error: the window's messages stopped (" + LastErrorText() + ")"));
      return 1;
    }
    // Lets Space and Enter click the focused button, as in a dialog box.
    if (::IsDialogMessageW(form.Window(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void ShowRunTimeError(const RuntimeError& error) {
  std::string message = error.Message();
  // Also on stderr for a console that started the program; a program started
  // from Explorer has none, and the box below is what the user sees.
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  ::MessageBoxW(::GetActiveWindow(), Wide(message).c_str(), kMessageTitle,
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace rt::ui
