// The contract suite's driver for the Win32 back end: a user at real windows.
//
// Input goes through the thread's message queue and whichever loop is running, exactly as typed keys do: keys
// are posted as WM_KEYDOWN / WM_KEYUP to the focused window (the modifier state set with SetKeyboardState for
// as long as the key is handled), then handled at once the way the innermost loop handles them (the prompt's
// accelerators and dialog navigation, the main window's Tab handling, a message box's dialog keys), so a test
// sees the effect as soon as the call returns. Clicks are BM_CLICK (buttons) and SetFocus (edits); the close
// box is WM_SYSCOMMAND SC_CLOSE. Input aimed at a disabled window is dropped, as the desktop drops it.
//
// Steps given to WhenWaiting run from a thread timer's TIMERPROC: WM_TIMER only comes when the queue is
// empty, so a step runs when the program really waits, inside whichever loop waits (the main loop,
// MessageBoxW's, the prompt's), one step per wait.
//
// Under Wine: "another program" for SwitchAwayAndBack is a window of a second thread of this process. For
// activation and focus that is what another program is (a thread with its own input state); only
// BelongsToThisProcess would tell them apart, and nothing asks it while the other window is active.
#include "platform/win32/win32_internal.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

#include "platform/driver.h"

namespace vw::testing {
namespace {

HWND ToWindow(Handle handle) {
  return reinterpret_cast<HWND>(handle);
}
Handle ToHandle(HWND window) {
  return reinterpret_cast<Handle>(window);
}

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return lstrcmpiW(buffer, name) == 0;
}

Text WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  Text text(static_cast<std::size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

Rect FromRect(const RECT& r) {
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// A window that takes input: it and every ancestor enabled and visible.
bool TakesInput(HWND window) {
  if (window == nullptr || !IsWindow(window)) return false;
  for (HWND w = window; w != nullptr; w = GetParent(w)) {
    if (!IsWindowEnabled(w) || !IsWindowVisible(w)) return false;
    if ((GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) == 0) break;
  }
  return true;
}

// The top-level window of another thread that SwitchAwayAndBack activates.
class OtherProgram {
 public:
  OtherProgram() {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    activated_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    deactivated_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, INFINITE);
  }
  ~OtherProgram() {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
    CloseHandle(ready_);
    CloseHandle(activated_);
    CloseHandle(deactivated_);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  HWND window() const { return window_; }
  HANDLE activated() const { return activated_; }
  HANDLE deactivated() const { return deactivated_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<OtherProgram*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
      self = static_cast<OtherProgram*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self != nullptr && message == WM_ACTIVATE) {
      SetEvent(LOWORD(wparam) == WA_INACTIVE ? self->deactivated_ : self->activated_);
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
  }

  void Run() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VerawayEditTestOtherProgram";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    RegisterClassExW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"Another program", WS_OVERLAPPEDWINDOW, 700, 600, 200,
                              120, nullptr, nullptr, wc.hInstance, this);
    SetEvent(ready_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  HANDLE ready_ = nullptr;
  HANDLE activated_ = nullptr;
  HANDLE deactivated_ = nullptr;
  HWND window_ = nullptr;
  std::thread thread_;
};

class Win32Driver;
thread_local Win32Driver* current_driver = nullptr;

class Win32Driver final : public Driver {
 public:
  Win32Driver() {
    current_driver = this;
    // A program waiting with no step left would wait for ever: after this many idle timer ticks with nothing
    // to do, the run stops with a message instead of hanging until the test's time-out.
    idle_limit_ = 2000;
  }
  ~Win32Driver() override {
    if (timer_ != 0) KillTimer(nullptr, timer_);
    current_driver = nullptr;
  }

  Win32Platform& win32() { return platform_; }
  Platform& platform() override { return platform_; }
  std::string name() const override { return "win32"; }

  // --- Input.

  void Click(Handle control) override {
    platform_.ShowAppended();  // a user acts only once the program waits, which shows what was appended
    HWND window = platform_.Live(control);
    if (!TakesInput(window)) return;
    Activate(GetAncestor(window, GA_ROOT));
    if (ClassIs(window, L"Button")) {
      SendMessageW(window, BM_CLICK, 0, 0);
    } else {
      SetFocus(window);
      // A click below the last line puts the caret at the end of the text.
      std::int64_t end = platform_.TextLength(control);
      if (end == 0) end = GetWindowTextLengthW(window);
      SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    }
    Pump();
  }

  void Type(Handle control, const Text& text) override {
    platform_.ShowAppended();
    HWND window = platform_.Live(control);
    if (!TakesInput(window) || ClassIs(window, L"Button") || ClassIs(window, L"Static")) return;
    Click(control);
    for (char16_t c : text) {
      if (c == u'\n') {
        Key(VK_RETURN, 0);
      } else {
        PostMessageW(window, WM_CHAR, c, 1);
        Pump();
      }
    }
  }

  void PressKey(vw::testing::Key key) override {
    switch (key) {
      case vw::testing::Key::kTab:
        return Key(VK_TAB, 0);
      case vw::testing::Key::kShiftTab:
        return Key(VK_TAB, VK_SHIFT);
      case vw::testing::Key::kEnter:
        return Key(VK_RETURN, 0);
      case vw::testing::Key::kEscape:
        return Key(VK_ESCAPE, 0);
      case vw::testing::Key::kSpace:
        return Key(VK_SPACE, 0);
      case vw::testing::Key::kBackspace:
        return Key(VK_BACK, 0);
      case vw::testing::Key::kSelectAllDelete:
        Key('A', VK_CONTROL);
        return Key(VK_DELETE, 0);
      case vw::testing::Key::kUndo:
        return Key('Z', VK_CONTROL);
    }
  }

  void CloseBox(Handle window) override {
    HWND hwnd = ToWindow(window);
    if (hwnd == nullptr || !IsWindow(hwnd) || GetParent(hwnd) != nullptr) return;
    if (!IsWindowEnabled(hwnd) || !IsWindowVisible(hwnd)) return;
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
  }

  void SwitchAwayAndBack(Handle window) override {
    HWND hwnd = ToWindow(window);
    OtherProgram other;
    SetForegroundWindow(other.window());
    PumpUntil(other.activated());
    if (hwnd != nullptr && IsWindow(hwnd) && IsWindowEnabled(hwnd)) {
      SetForegroundWindow(hwnd);
      PumpUntil(other.deactivated());
    }
    Pump();
  }

  void ProcessPending() override { Pump(); }

  // --- What is on the screen.

  Handle Focused() override { return ToHandle(GetFocus()); }

  Rect OuterRect(Handle window) override {
    RECT r{};
    if (!GetWindowRect(ToWindow(window), &r)) return {};
    return FromRect(r);
  }

  Rect ClientRect(Handle window) override {
    HWND hwnd = ToWindow(window);
    RECT r{};
    if (!GetClientRect(hwnd, &r)) return {};
    MapWindowPoints(hwnd, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return FromRect(r);
  }

  Rect ChildRect(Handle control) override {
    HWND hwnd = platform_.Live(control);
    HWND parent = GetParent(hwnd);
    RECT r{};
    if (parent == nullptr || !GetWindowRect(hwnd, &r)) return {};
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return FromRect(r);
  }

  Rect Screen() override { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }
  bool Exists(Handle window) override { return window != 0 && IsWindow(ToWindow(window)); }
  bool IsVisible(Handle window) override { return Exists(window) && IsWindowVisible(ToWindow(window)); }

  Handle PromptField(Handle prompt) override {
    return ToHandle(GetDlgItem(ToWindow(prompt), kPromptFieldId));
  }
  Handle PromptOkButton(Handle prompt) override { return ToHandle(GetDlgItem(ToWindow(prompt), kPromptOk)); }
  Handle PromptLabel(Handle prompt) override {
    for (HWND child = GetWindow(ToWindow(prompt), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (ClassIs(child, L"Static")) return ToHandle(child);
    }
    return 0;
  }

  // A static control wraps only in its word-wrapping kinds, and then only when the text is wider than it.
  bool PromptLabelWraps(Handle prompt) override {
    HWND label = ToWindow(PromptLabel(prompt));
    if (label == nullptr) return false;
    LONG_PTR type = GetWindowLongPtrW(label, GWL_STYLE) & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT) return false;
    Text text = WindowText(label);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()),
                          &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT client{};
    GetClientRect(label, &client);
    return size.cx > client.right;
  }

  bool IsMasked(Handle field) override {
    HWND hwnd = platform_.Live(field);
    if (hwnd == nullptr || !IsWindow(hwnd)) return false;
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & ES_PASSWORD) != 0 ||
           SendMessageW(hwnd, EM_GETPASSWORDCHAR, 0, 0) != 0;
  }

  Handle FontOf(Handle control) override {
    HWND hwnd = platform_.Live(control);
    if (hwnd == nullptr || !IsWindow(hwnd)) return 0;
    auto font = static_cast<Handle>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    return font != 0 ? font : platform_.AppliedFont(control);
  }

  ShownMessageBox CurrentMessageBox() override {
    HWND box = OpenMessageBox();
    if (box == nullptr) return {};
    ShownMessageBox shown;
    shown.window = ToHandle(box);
    shown.title = WindowText(box);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      if (ClassIs(child, L"Button")) {
        ++shown.button_count;
      } else if (ClassIs(child, L"Static")) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
          shown.has_icon = shown.has_icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else if (shown.text.empty()) {
          shown.text = WindowText(child);
        }
      }
    }
    return shown;
  }

  void DismissMessageBox() override {
    HWND box = OpenMessageBox();
    if (box == nullptr) return;
    HWND ok = GetDlgItem(box, IDOK);
    if (ok != nullptr) {
      SendMessageW(ok, BM_CLICK, 0, 0);
    } else {
      SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }

  // --- Scheduling.

  void WhenWaiting(std::function<void()> step) override {
    steps_.push_back(std::move(step));
    idle_ticks_ = 0;
    if (timer_ == 0) timer_ = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &OnTimer);
  }

  bool StepsLeft() override { return !steps_.empty(); }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (current_driver != nullptr) current_driver->Tick();
  }

  // One timer tick while a loop waits: the next step, unless the driver itself is busy.
  void Tick() {
    if (busy_ > 0) return;
    if (steps_.empty()) {
      if (++idle_ticks_ >= idle_limit_) {
        std::fprintf(stderr, "win32 driver: the program waits for input and no step is left to give it\n");
        std::fflush(stderr);
        std::_Exit(3);
      }
      return;
    }
    idle_ticks_ = 0;
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    ++busy_;
    step();
    --busy_;
  }

  // The open message box of this thread (a visible window of the dialog class), or nullptr.
  static HWND OpenMessageBox() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lparam) -> BOOL {
          if (IsWindowVisible(window) && ClassIs(window, L"#32770")) {
            *reinterpret_cast<HWND*>(lparam) = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

  void Activate(HWND root) {
    if (root != nullptr && GetForegroundWindow() != root) SetForegroundWindow(root);
  }

  // Handles every message waiting now, the way the innermost running loop would. Never blocks.
  void Pump() {
    platform_.ShowAppended();
    ++busy_;
    idle_ticks_ = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the program's loop to see
        break;
      }
      HWND box = OpenMessageBox();
      if (box != nullptr && IsDialogMessageW(box, &msg)) continue;
      platform_.HandleInInnermostLoop(msg);
    }
    --busy_;
  }

  // Handles messages until `event` is signalled (another thread's window reports its activation).
  void PumpUntil(HANDLE event) {
    for (int i = 0; i < 500; ++i) {
      Pump();
      DWORD woke = MsgWaitForMultipleObjects(1, &event, FALSE, 20, QS_ALLINPUT);
      if (woke == WAIT_OBJECT_0) break;
    }
    Pump();
  }

  // One key, pressed and released, with `modifier` held meanwhile: posted to the focused window and handled.
  void Key(UINT vk, UINT modifier) {
    platform_.ShowAppended();
    HWND target = GetFocus();
    if (target == nullptr) target = GetActiveWindow();
    if (target == nullptr) return;
    BYTE saved[256] = {};
    GetKeyboardState(saved);
    if (modifier != 0) {
      BYTE held[256];
      CopyMemory(held, saved, sizeof(held));
      held[modifier] = 0x80;
      held[modifier == VK_SHIFT ? VK_LSHIFT : VK_LCONTROL] = 0x80;
      SetKeyboardState(held);
    }
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    auto down = static_cast<LPARAM>(1 | (scan << 16));
    auto up = static_cast<LPARAM>(down | (1u << 30) | (1u << 31));
    PostMessageW(target, WM_KEYDOWN, vk, down);
    Pump();
    // The key goes up where the focus is now (the key may have moved it).
    HWND now = GetFocus();
    PostMessageW(now != nullptr ? now : target, WM_KEYUP, vk, up);
    Pump();
    if (modifier != 0) SetKeyboardState(saved);
  }

  Win32Platform platform_;
  std::deque<std::function<void()>> steps_;
  UINT_PTR timer_ = 0;
  int busy_ = 0;
  int idle_ticks_ = 0;
  int idle_limit_ = 0;
};

}  // namespace

std::unique_ptr<Driver> MakeDriver() {
  return std::make_unique<Win32Driver>();
}

}  // namespace vw::testing
