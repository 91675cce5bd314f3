// The Win32 back end, the message box: MessageBoxW, kept on the screen, with Ctrl+C copying its text.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <vector>

namespace vw {

using namespace win32;

namespace {

// The message boxes open on this thread, innermost last: the text each shows, and its window once the box
// is activated. The hooks below find them here.
struct OpenBox {
  const Text* text = nullptr;
  HWND window = nullptr;
};

thread_local std::vector<OpenBox> open_boxes;

OpenBox* BoxOf(HWND window) {
  for (OpenBox& box : open_boxes) {
    if (box.window != nullptr && (window == box.window || IsChild(box.window, window))) return &box;
  }
  return nullptr;
}

// Moves a box that reaches past its screen's work area back onto it, and makes one larger than the work area
// as large as it (its text cut at the right or bottom; the title, the start of the text and the centred OK
// button in view). MessageBoxW centres the box on the screen whatever its size: under Wine a row wider than
// the screen put the title and text off its left edge. The rows given are short enough for any screen (they
// are laid out above the platform interface), so this is a guard.
void FitOnScreen(HWND box) {
  RECT outer{};
  if (!GetWindowRect(box, &outer)) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& work = monitor.rcWork;
  LONG width = std::min(outer.right - outer.left, work.right - work.left);
  LONG height = std::min(outer.bottom - outer.top, work.bottom - work.top);
  LONG x = std::max(work.left, std::min(outer.left, work.right - width));
  LONG y = std::max(work.top, std::min(outer.top, work.bottom - height));
  if (x != outer.left || y != outer.top || width != outer.right - outer.left ||
      height != outer.bottom - outer.top) {
    SetWindowPos(box, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// The box is laid out and placed before it is first activated: that is when it is put on the screen.
LRESULT CALLBACK BoxCbtHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && !open_boxes.empty() && open_boxes.back().window == nullptr) {
    auto window = reinterpret_cast<HWND>(wparam);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (lstrcmpW(name, L"#32770") == 0) {
      open_boxes.back().window = window;
      FitOnScreen(window);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Ctrl+C and Ctrl+Insert in a box copy the text it shows. The box's loop hands each message to this filter
// before the dialog handles it (Wine's MessageBoxW copies nothing on its own, and Windows' copies a form of
// its own with title and buttons; this one is the same on both).
LRESULT CALLBACK BoxKeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  auto* msg = reinterpret_cast<MSG*>(lparam);
  if (code == MSGF_DIALOGBOX && msg != nullptr && msg->message == WM_KEYDOWN &&
      (msg->wParam == 'C' || msg->wParam == VK_INSERT) && GetKeyState(VK_CONTROL) < 0 &&
      GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0) {
    if (OpenBox* box = BoxOf(msg->hwnd)) {
      PutOnClipboard(box->window, *box->text);
      return TRUE;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

// MessageBoxW shows the text it is given, one row per line (the rows are laid out above the platform
// interface, short enough for the screen and few enough to appear at once).
int Win32Platform::MessageBox(Handle owner, const Text& title, const Text& text) {
  ShowAppended();
  open_boxes.push_back({&text, nullptr});
  HHOOK cbt = SetWindowsHookExW(WH_CBT, &BoxCbtHook, nullptr, GetCurrentThreadId());
  HHOOK filter = SetWindowsHookExW(WH_MSGFILTER, &BoxKeyFilter, nullptr, GetCurrentThreadId());
  int result = MessageBoxW(OwnWindow(owner), Wide(text), Wide(title), MB_OK);
  if (filter != nullptr) UnhookWindowsHookEx(filter);
  if (cbt != nullptr) UnhookWindowsHookEx(cbt);
  open_boxes.pop_back();
  return result;
}

}  // namespace vw
