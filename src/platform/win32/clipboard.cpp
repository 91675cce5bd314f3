// The Win32 back end, the clipboard: an editor's copy, cut and paste as plain Unicode text.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <cstring>

namespace vw {

using namespace win32;

namespace win32 {

bool PutOnClipboard(HWND owner, const Text& text) {
  std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory == nullptr) return false;
  if (void* to = GlobalLock(memory)) {
    std::memcpy(to, text.c_str(), bytes);
    GlobalUnlock(memory);
  }
  if (!OpenClipboard(owner)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  if (!put) GlobalFree(memory);
  CloseClipboard();
  return put;
}

CHARRANGE Selection(HWND editor) {
  CHARRANGE range{};
  SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return range;
}

}  // namespace win32

void Win32Platform::Copy(HWND editor, bool cut) {
  if (Control* c = FindControl(ToHandle(editor))) PutPending(editor, *c);
  CHARRANGE at = Selection(editor);
  if (at.cpMax <= at.cpMin) return;  // nothing selected: the clipboard stays as it is
  const Text selected = RichEditText(editor, static_cast<std::size_t>(at.cpMax - at.cpMin), GT_SELECTION);
  // CR LF line breaks, as plain text has them on the clipboard.
  Text text;
  text.reserve(selected.size() + selected.size() / 8);
  for (char16_t unit : FromEditorBreaks(selected)) {
    if (unit == u'\n') text.push_back(u'\r');
    text.push_back(unit);
  }
  bool put = PutOnClipboard(editor, text);
  // A cut whose text did not reach the clipboard removes nothing.
  if (cut && put && (GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) == 0) {
    SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  }
}

// The clipboard's Unicode text in place of the selection, as plain text with the editor's line breaks, as
// one undo step. CR LF, CR, LF and NUL each end a line, as when a list is read: CF_UNICODETEXT ends with its
// terminating NUL (the block's last unit), so a NUL before it is the pasted text's own. A clipboard without
// text, or with an empty one, changes nothing.
void Win32Platform::Paste(HWND editor) {
  if ((GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) != 0 || !OpenClipboard(editor)) return;
  Text text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
      std::size_t length = GlobalSize(data) / sizeof(char16_t);  // never past the end of the memory
      if (length > 0 && units[length - 1] == u'\0') --length;
      text.assign(units, length);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  if (text.empty()) return;
  if (Control* c = FindControl(ToHandle(editor))) PutPending(editor, *c);
  Text converted = ToEditorBreaks(text);
  std::replace(converted.begin(), converted.end(), u'\0', u'\r');  // after CR LF pairs are made one
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(converted)));
}

}  // namespace vw
