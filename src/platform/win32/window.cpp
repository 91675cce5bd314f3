// The Win32 back end, windows: set-up and release, the main window and its panels, fonts, the window
// procedures that turn a close request or a posted code into a call on the sink, and the main loop's
// messages (Tab between controls, the wait for one message).
#include "platform/win32/win32_internal.h"

#include <commctrl.h>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace vw {

using namespace win32;

namespace win32 {

Win32Platform* PlatformOf(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace win32

namespace {

// PostToSelf's message to the hidden window: the code's low 32 bits in wParam, the high 32 bits in lParam.
constexpr UINT kPostedMessage = WM_APP + 1;

// The non-client metrics without iPaddedBorderWidth, the form every version of Windows accepts.
constexpr UINT kNonClientMetricsSize = 500;

static_assert(offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth) == kNonClientMetricsSize);

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure, HINSTANCE instance, UINT style, bool with_icon,
                       bool face_background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, name, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  if (face_background) wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  if (with_icon) {
    // The program's icon is resource 1 of the executable; a test program without it gets the default.
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  }
  RegisterClassExW(&wc);
}

}  // namespace

std::unique_ptr<Platform> MakeWin32Platform() {
  return std::make_unique<Win32Platform>();
}

Win32Platform::Win32Platform() : instance_(GetModuleHandleW(nullptr)) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);

  // The editors: RICHEDIT50W from Msftedit.dll, else the older rich-edit classes.
  if ((rich_edit_library_ = LoadLibraryW(L"Msftedit.dll")) != nullptr) {
    editor_class_ = L"RICHEDIT50W";
  } else if ((rich_edit_library_ = LoadLibraryW(L"riched20.dll")) != nullptr) {
    editor_class_ = L"RichEdit20W";
  } else {
    rich_edit_library_ = LoadLibraryW(L"riched32.dll");
    editor_class_ = L"RICHEDIT";
    rich_edit_1_ = true;
  }

  RegisterClassOnce(kMainWindowClass, &MainWindowProc, instance_, 0, true, true);
  RegisterClassOnce(kPanelClass, &PanelProc, instance_, 0, false, true);
  RegisterClassOnce(kPostWindowClass, &PostWindowProc, instance_, 0, false, false);
  RegisterClassOnce(kPromptClass, &PromptProc, instance_, CS_HREDRAW | CS_VREDRAW, true, true);

  // Posted events go to a message-only window, so whichever loop runs (the main one, MessageBoxW's, the
  // prompt's) dispatches them, and the window never shows up among the top-level windows.
  post_window_ =
      CreateWindowExW(0, kPostWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, this);
}

Win32Platform::~Win32Platform() {
  sink_ = nullptr;
  std::vector<HWND> windows;
  for (auto& [window, prompt] : prompts_) {
    if (prompt.accelerators != nullptr) DestroyAcceleratorTable(prompt.accelerators);
    windows.push_back(window);
  }
  prompts_.clear();
  for (auto& [window, unused] : main_windows_) windows.push_back(window);
  for (HWND window : windows) {
    if (IsWindow(window)) DestroyWindow(window);
  }
  main_windows_.clear();
  controls_.clear();
  if (post_window_ != nullptr) DestroyWindow(post_window_);
  // The editors are gone with their windows, so the library can go too.
  if (rich_edit_library_ != nullptr) FreeLibrary(rich_edit_library_);
}

Win32Platform::Control* Win32Platform::FindControl(Handle control) {
  auto it = controls_.find(ToWindow(control));
  if (it == controls_.end() || !IsWindow(Live(control))) return nullptr;
  return &it->second;
}

const Win32Platform::Control* Win32Platform::FindControl(Handle control) const {
  auto it = controls_.find(ToWindow(control));
  if (it == controls_.end() || !IsWindow(Live(control))) return nullptr;
  return &it->second;
}

HWND Win32Platform::Live(Handle control) const {
  auto it = live_.find(ToWindow(control));
  return it == live_.end() ? ToWindow(control) : it->second;
}

Handle Win32Platform::HandleOf(HWND window) const {
  auto it = handle_of_.find(window);
  return ToHandle(it == handle_of_.end() ? window : it->second);
}

HWND Win32Platform::OwnWindow(Handle window) const {
  HWND hwnd = ToWindow(window);
  if (hwnd == nullptr || !IsWindow(hwnd)) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  return process == GetCurrentProcessId() ? hwnd : nullptr;
}

Handle Win32Platform::AppliedFont(Handle control) const {
  const Control* c = FindControl(control);
  if (c != nullptr) return c->font;
  for (const auto& [window, prompt] : prompts_) {
    HWND hwnd = Live(control);
    if (hwnd != nullptr && (hwnd == prompt.label || hwnd == prompt.field || hwnd == prompt.ok)) {
      return ToHandle(reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    }
  }
  return 0;
}

Handle Win32Platform::MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0)) return 0;
  return ToHandle(CreateFontIndirectW(&metrics.lfMessageFont));
}

Handle Win32Platform::DefaultGuiFont() {
  return ToHandle(GetStockObject(DEFAULT_GUI_FONT));
}

Handle Win32Platform::CreateMainWindow(const Text& title, Rect client) {
  constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, client.width, client.height};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  HWND window =
      CreateWindowExW(0, kMainWindowClass, Wide(title), kStyle, client.x, client.y, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, instance_, this);
  if (window == nullptr) return 0;
  main_windows_[window];
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  return ToHandle(window);
}

void Win32Platform::Forget(HWND root) {
  main_windows_.erase(root);
  for (auto it = controls_.begin(); it != controls_.end();) {
    if (it->second.root != root) {
      ++it;
      continue;
    }
    if (auto live = live_.find(it->first); live != live_.end()) {
      handle_of_.erase(live->second);
      live_.erase(live);
    }
    it = controls_.erase(it);
  }
}

LRESULT CALLBACK Win32Platform::MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Platform* platform = PlatformOf(window, message, lparam);
  if (platform == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return platform->OnMainWindowMessage(window, message, wparam, lparam);
}

LRESULT Win32Platform::OnMainWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(wparam, lparam);
      return 0;
    case WM_CLOSE:
      // A close request only tells the program; the window stays until the program ends.
      if (sink_ != nullptr) sink_->CloseRequested(ToHandle(window));
      WakeIfWaiting();
      return 0;
    case WM_ACTIVATE: {
      auto it = main_windows_.find(window);
      if (it == main_windows_.end()) break;
      if (LOWORD(wparam) == WA_INACTIVE) {
        // Remember the focused control, to give it the focus back when the window is active again.
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus))
          it->second.remembered_focus = ToWindow(HandleOf(focus));
        return 0;
      }
      HWND remembered = Live(ToHandle(it->second.remembered_focus));
      if (HIWORD(wparam) == 0 && remembered != nullptr && IsWindow(remembered) &&
          IsChild(window, remembered)) {
        SetFocus(remembered);
        return 0;
      }
      break;
    }
    case WM_NCDESTROY:
      Forget(window);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK Win32Platform::PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Platform* platform = PlatformOf(window, message, lparam);
  if (platform != nullptr && message == WM_COMMAND) {
    platform->OnCommand(wparam, lparam);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK Win32Platform::PostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Platform* platform = PlatformOf(window, message, lparam);
  if (platform != nullptr && message == kPostedMessage) {
    std::uint64_t bits = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(lparam)) << 32) |
                         static_cast<std::uint32_t>(wparam);
    if (platform->sink_ != nullptr) platform->sink_->PostedArrived(static_cast<std::int64_t>(bits));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Platform::MoveFocus(HWND root, bool forward) {
  auto it = main_windows_.find(root);
  if (it == main_windows_.end()) return;
  std::vector<HWND> order;
  for (HWND handle : it->second.tab_order) {
    HWND control = Live(ToHandle(handle));
    if (IsWindow(control) && IsWindowVisible(control) && IsWindowEnabled(control)) order.push_back(control);
  }
  if (order.empty()) return;
  HWND focus = GetFocus();
  std::size_t n = order.size();
  std::size_t next = forward ? 0 : n - 1;
  for (std::size_t i = 0; i < n; ++i) {
    if (order[i] == focus) {
      next = forward ? (i + 1) % n : (i + n - 1) % n;
      break;
    }
  }
  SetFocus(order[next]);
}

bool Win32Platform::HandleMainWindowKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.hwnd == nullptr) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  if (main_windows_.count(root) == 0) return false;
  bool shift = GetKeyState(VK_SHIFT) < 0;
  bool control = GetKeyState(VK_CONTROL) < 0;
  bool alt = GetKeyState(VK_MENU) < 0;
  auto it = controls_.find(ToWindow(HandleOf(msg.hwnd)));
  ControlKind kind = it == controls_.end() ? ControlKind::kPanel : it->second.kind;
  if (msg.wParam == VK_TAB) {
    // A plain Tab is typed into an editor; every other Tab moves the focus in creation order.
    if (kind == ControlKind::kEditor && !shift && !control && !alt) return false;
    MoveFocus(root, !shift);
    return true;
  }
  if (msg.wParam == 'A' && control && !alt && !shift && kind == ControlKind::kField) {
    SendMessageW(msg.hwnd, EM_SETSEL, 0, -1);  // Ctrl+A selects the field's whole text
    return true;
  }
  // Undo is Ctrl+Z, redo Ctrl+Y or Ctrl+Shift+Z, in the editors and the field alike. In the editors they go
  // through EM_UNDO and EM_REDO, where a large paste's own step is found (EditorProc); the edit control knows
  // only Ctrl+Z, with one step that a second undo takes back.
  const bool undo = msg.wParam == 'Z' && control && !alt && !shift;
  const bool redo = ((msg.wParam == 'Y' && !shift) || (msg.wParam == 'Z' && shift)) && control && !alt;
  if (kind == ControlKind::kEditor && (undo || redo)) {
    SendMessageW(msg.hwnd, undo ? EM_UNDO : EM_REDO, 0, 0);
    return true;
  }
  if (kind == ControlKind::kField && (undo || redo)) {
    Control& field = it->second;
    if (undo || (field.undone_at != 0 && field.undone_at == field.revision)) {
      SendMessageW(msg.hwnd, EM_UNDO, 0, 0);
      if (Control* after = FindControl(HandleOf(msg.hwnd))) after->undone_at = undo ? after->revision : 0;
    }
    return true;
  }
  return false;
}

void Win32Platform::HandleMainMessage(MSG& msg) {
  if (HandleMainWindowKey(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

// GetMessageW returns only for a posted message; a message sent from another thread or process (a BM_CLICK,
// a WM_CLOSE from outside) is handled inside the call, which then goes on waiting. A reaction to one of those
// posts a message, so that the loop waiting there gets to see what the reaction queued or closed.
BOOL Win32Platform::NextMessage(MSG& msg) {
  bool outer = std::exchange(in_get_message_, true);
  BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  in_get_message_ = outer;
  return got;
}

void Win32Platform::WakeIfWaiting() {
  if (in_get_message_ && post_window_ != nullptr) PostMessageW(post_window_, WM_NULL, 0, 0);
}

void Win32Platform::WaitAndHandleMessage() {
  ShowAppended();
  MSG msg;
  BOOL got = NextMessage(msg);
  if (got == 0 || got == -1) return;  // a quit message has nothing to do here
  HandleMainMessage(msg);
}

bool Win32Platform::PostToSelf(std::int64_t code) {
  if (post_window_ == nullptr) return false;
  auto bits = static_cast<std::uint64_t>(code);
  return PostMessageW(post_window_, kPostedMessage, static_cast<WPARAM>(bits & 0xFFFFFFFFu),
                      static_cast<LPARAM>(bits >> 32)) != FALSE;
}

void Win32Platform::HandleInInnermostLoop(MSG& msg) {
  if (!pumping_.empty()) {
    HandlePromptMessage(pumping_.back(), msg);
  } else {
    HandleMainMessage(msg);
  }
}

}  // namespace vw
