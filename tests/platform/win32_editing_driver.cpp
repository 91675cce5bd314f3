// The randomized editing test's driver for the Win32 back end: a person at a rich-edit editor, under Wine in
// CI.
//
// Keys go through the thread's message queue as typed keys do: WM_KEYDOWN / WM_KEYUP posted to the focused
// window with the modifiers held in the thread's keyboard state (SetKeyboardState) meanwhile, then handled
// at once the way the program's loop handles them (the back end's key handling, TranslateMessage, dispatch),
// so the call returns with the effect done. Typed characters are WM_CHAR, one per UTF-16 unit, a character
// beyond the basic plane as its two surrogates in a row: what a keyboard layout or an input method sends a
// Unicode window. The clipboard is the real Win32 clipboard, set and read as another program would.
#include "platform/win32/win32_internal.h"

#include <richedit.h>

#include <cstring>

#include "platform/editing_driver.h"

namespace vw::testing {
namespace {

// Opens the clipboard, trying again for a moment when another thread of the machine holds it.
bool OpenTheClipboard() {
  for (int i = 0; i < 50; ++i) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(10);
  }
  return false;
}

class Win32EditingDriver final : public EditingDriver {
 public:
  Platform& platform() override { return platform_; }
  std::string name() const override { return "win32"; }

  void Focus(Handle editor) override {
    platform_.ShowAppended();  // a person acts once the program waits, which shows what was appended
    HWND window = platform_.Live(editor);
    HWND root = GetAncestor(window, GA_ROOT);
    if (root != nullptr && GetForegroundWindow() != root) SetForegroundWindow(root);
    SetFocus(window);
    SendMessageW(window, EM_SETSEL, 0, 0);  // a click at the top-left corner
    Pump();
  }

  void Press(EditKey key) override {
    switch (key) {
      case EditKey::kEnter:
        return Key(VK_RETURN, 0);
      case EditKey::kShiftEnter:
        return Key(VK_RETURN, VK_SHIFT);
      case EditKey::kCtrlEnter:
        return Key(VK_RETURN, VK_CONTROL);
      case EditKey::kTab:
        return Key(VK_TAB, 0);
      case EditKey::kBackspace:
        return Key(VK_BACK, 0);
      case EditKey::kDelete:
        return Key(VK_DELETE, 0);
      case EditKey::kLeft:
        return Key(VK_LEFT, 0);
      case EditKey::kRight:
        return Key(VK_RIGHT, 0);
      case EditKey::kShiftLeft:
        return Key(VK_LEFT, VK_SHIFT);
      case EditKey::kShiftRight:
        return Key(VK_RIGHT, VK_SHIFT);
      case EditKey::kHome:
        return Key(VK_HOME, 0);
      case EditKey::kEnd:
        return Key(VK_END, 0);
      case EditKey::kCtrlHome:
        return Key(VK_HOME, VK_CONTROL);
      case EditKey::kCtrlEnd:
        return Key(VK_END, VK_CONTROL);
      case EditKey::kSelectAll:
        return Key('A', VK_CONTROL);
      case EditKey::kUndo:
        return Key('Z', VK_CONTROL);
      case EditKey::kRedo:
        return Key('Y', VK_CONTROL);
      case EditKey::kCopy:
        return Key('C', VK_CONTROL);
      case EditKey::kCut:
        return Key('X', VK_CONTROL);
      case EditKey::kPaste:
        return Key('V', VK_CONTROL);
      case EditKey::kShiftInsert:
        return Key(VK_INSERT, VK_SHIFT);
    }
  }

  void TypeCharacters(const Text& text) override {
    platform_.ShowAppended();
    for (char16_t unit : text) {
      if (HWND focus = GetFocus()) PostMessageW(focus, WM_CHAR, unit, 1);
      Pump();
    }
  }

  void SetClipboardText(const Text& text) override {
    // CF_UNICODETEXT: the units and the terminating NUL, in a block of exactly that size.
    std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) return;
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    if (!OpenTheClipboard()) {
      GlobalFree(memory);
      return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    CloseClipboard();
  }

  // An image: a bitmap of one pixel, and no text.
  void SetClipboardWithoutText() override {
    if (!OpenTheClipboard()) return;
    EmptyClipboard();
    if (HBITMAP image = CreateBitmap(1, 1, 1, 32, nullptr)) {
      if (SetClipboardData(CF_BITMAP, image) == nullptr) DeleteObject(image);
    }
    CloseClipboard();
  }

  // Up to the first NUL, as programs read CF_UNICODETEXT.
  std::optional<Text> ClipboardText() override {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenTheClipboard()) return std::nullopt;
    std::optional<Text> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
        std::size_t most = GlobalSize(data) / sizeof(char16_t);
        std::size_t length = 0;
        while (length < most && units[length] != u'\0') ++length;
        text = Text(units, length);
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  }

  // The control's own rows: where each one starts (EM_LINEINDEX) and the characters up to the next one's
  // start, without the paragraph mark that ends it. Any other character a row ends with (a soft break the
  // control drew as one) stays in the row, so the row does not read like an entry of its own.
  std::vector<Text> ShownRows(Handle editor) override {
    platform_.ShowAppended();
    HWND window = platform_.Live(editor);
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    auto length =
        static_cast<LONG>(SendMessageW(window, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
    auto rows = static_cast<LONG>(SendMessageW(window, EM_GETLINECOUNT, 0, 0));
    std::vector<Text> shown;
    for (LONG row = 0; row < rows; ++row) {
      auto begin = static_cast<LONG>(SendMessageW(window, EM_LINEINDEX, row, 0));
      LONG end = row + 1 < rows ? static_cast<LONG>(SendMessageW(window, EM_LINEINDEX, row + 1, 0)) : length;
      if (begin < 0 || end < begin) break;
      Text text(static_cast<std::size_t>(end - begin) + 1, u'\0');
      TEXTRANGEW range{{begin, end}, reinterpret_cast<wchar_t*>(text.data())};
      LRESULT copied = SendMessageW(window, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
      text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
      if (!text.empty() && text.back() == u'\r') text.pop_back();
      shown.push_back(text);
    }
    return shown;
  }

  void ProcessPending() override { Pump(); }

 private:
  // Handles every message waiting now, the way the program's loop would. Never blocks.
  void Pump() {
    platform_.ShowAppended();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      platform_.HandleInInnermostLoop(msg);
    }
  }

  // One key, pressed and released, with `modifier` held meanwhile: posted to the focused window and handled.
  void Key(UINT vk, UINT modifier) {
    platform_.ShowAppended();
    HWND target = GetFocus();
    if (target == nullptr) return;
    BYTE saved[256] = {};
    GetKeyboardState(saved);
    if (modifier != 0) {
      BYTE held[256];
      std::memcpy(held, saved, sizeof(held));
      held[modifier] = 0x80;
      held[modifier == VK_SHIFT ? VK_LSHIFT : VK_LCONTROL] = 0x80;
      SetKeyboardState(held);
    }
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    bool extended = vk == VK_LEFT || vk == VK_RIGHT || vk == VK_HOME || vk == VK_END || vk == VK_INSERT ||
                    vk == VK_DELETE;
    auto down = static_cast<LPARAM>(1 | (scan << 16) | (extended ? 1u << 24 : 0u));
    auto up = static_cast<LPARAM>(static_cast<unsigned>(down) | (1u << 30) | (1u << 31));
    PostMessageW(target, WM_KEYDOWN, vk, down);
    Pump();
    HWND now = GetFocus();
    PostMessageW(now != nullptr ? now : target, WM_KEYUP, vk, up);
    Pump();
    if (modifier != 0) SetKeyboardState(saved);
  }

  Win32Platform platform_;
};

}  // namespace

std::unique_ptr<EditingDriver> MakeEditingDriver() {
  return std::make_unique<Win32EditingDriver>();
}

}  // namespace vw::testing
