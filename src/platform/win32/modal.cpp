// The Win32 back end, modal primitives: this thread's top-level windows, the foreground, enabled and
// always-on-top states, activation.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <vector>

namespace vw {

using namespace win32;

namespace {

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lparam) {
  auto* windows = reinterpret_cast<std::vector<TopLevelWindow>*>(lparam);
  DWORD process = 0;
  DWORD thread = GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId()) {
    windows->push_back(
        {ToHandle(window), static_cast<std::uint32_t>(thread), IsWindowVisible(window) != FALSE});
  }
  return TRUE;
}

}  // namespace

std::uint32_t Win32Platform::CurrentThreadId() {
  return static_cast<std::uint32_t>(GetCurrentThreadId());
}

std::vector<TopLevelWindow> Win32Platform::TopLevelWindows() {
  std::vector<TopLevelWindow> windows;
  EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

Handle Win32Platform::ForegroundWindow() {
  // Another program's window counts as none: this program can neither own nor restore it.
  return ToHandle(OwnWindow(ToHandle(GetForegroundWindow())));
}

bool Win32Platform::BelongsToThisProcess(Handle window) {
  return OwnWindow(window) != nullptr;
}

bool Win32Platform::IsEnabled(Handle window) {
  HWND hwnd = OwnWindow(window);
  return hwnd != nullptr && IsWindowEnabled(hwnd) != FALSE;
}

void Win32Platform::SetEnabled(Handle window, bool enabled) {
  if (HWND hwnd = OwnWindow(window)) EnableWindow(hwnd, enabled ? TRUE : FALSE);
}

bool Win32Platform::IsTopmost(Handle window) {
  HWND hwnd = OwnWindow(window);
  return hwnd != nullptr && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void Win32Platform::SetTopmost(Handle window, bool topmost) {
  HWND hwnd = OwnWindow(window);
  if (hwnd == nullptr) return;
  std::erase(topmost_pending_, hwnd);
  SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // Wine places a window that still owns an open window (the prompt, when the always-on-top state is given
  // back just before it is destroyed) behind that window instead of making it topmost. Windows makes both
  // topmost. Asked again once the prompt is gone.
  if (topmost && !IsTopmost(window)) topmost_pending_.push_back(hwnd);
}

void Win32Platform::ActivateWindow(Handle window) {
  if (HWND hwnd = OwnWindow(window)) {
    SetActiveWindow(hwnd);
    SetForegroundWindow(hwnd);
  }
}

}  // namespace vw
