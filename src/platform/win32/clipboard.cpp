// The Win32 back end, the clipboard: an editor's copy, cut and paste as plain Unicode text.
#include "platform/win32/win32_internal.h"

#include "common/stand_ins.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

Text ClipboardText(HWND owner) {
  Text text;
  if (!OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
      std::size_t length = GlobalSize(data) / sizeof(char16_t);  // never past the end of the memory
      if (length > 0 && units[length - 1] == u'\0') --length;
      text.assign(units, length);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

CHARRANGE Selection(HWND editor) {
  CHARRANGE range{};
  SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return range;
}

}  // namespace win32

void Win32Platform::Copy(HWND editor, bool cut) {
  if (Control* c = FindControl(HandleOf(editor))) PutPending(editor, *c);
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

// The link field shows stand-ins (FieldShown); the clipboard gets the characters they stand for, the address
// the field holds.
void Win32Platform::FieldCopy(HWND field, bool cut) {
  DWORD from = 0, to = 0;
  SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  if (to <= from) return;  // nothing selected: the clipboard stays as it is
  const Text shown = WindowText(field);
  if (from >= shown.size()) return;
  bool put = PutOnClipboard(field, FieldReal(TextView(shown).substr(from, to - from)));
  if (cut && put && (GetWindowLongPtrW(field, GWL_STYLE) & ES_READONLY) == 0) {
    SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  }
}

// The clipboard's Unicode text in place of the selection, as plain text with the editor's line breaks, as
// one undo step. CR LF, CR, LF and NUL each end a line, as when a list is read: CF_UNICODETEXT ends with its
// terminating NUL (the block's last unit), so a NUL before it is the pasted text's own. A clipboard without
// text, or with an empty one, changes nothing.
void Win32Platform::Paste(HWND editor) {
  if ((GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) != 0) return;
  const Text text = ClipboardText(editor);
  if (text.empty()) return;
  Control* c = FindControl(HandleOf(editor));
  if (c != nullptr) PutPending(editor, *c);
  Text converted = ToEditorBreaks(text);
  std::replace(converted.begin(), converted.end(), u'\0', u'\r');  // after CR LF pairs are made one
  if (c == nullptr || c->kind != ControlKind::kEditor || rich_edit_1_ ||
      static_cast<std::size_t>(std::count(converted.begin(), converted.end(), u'\r')) < kOwnUndoLines) {
    SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(converted)));
    return;
  }
  // A large paste is not left to the control's undo: it goes in as one control step that is forgotten at once
  // (so are the steps before it, which would no longer fit the text; under Wine an insertion marked "no undo"
  // is several times slower here), and is kept here with what it replaced: one step, undone and redone by
  // StepOwn.
  Control::OwnStep step;
  CHARRANGE at = Selection(editor);
  step.start = at.cpMin;
  if (at.cpMax > at.cpMin) {
    step.removed = RichEditText(editor, static_cast<std::size_t>(at.cpMax - at.cpMin), GT_SELECTION);
  }
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(converted)));
  SendMessageW(editor, EM_EMPTYUNDOBUFFER, 0, 0);
  step.inserted = std::move(converted);
  if (Control* after = FindControl(HandleOf(editor))) {
    step.revision = after->revision;
    after->own_step = std::move(step);
  }
}

// The back end's own step is next when the control has nothing to undo (redo) before it; a redo also needs
// the text unchanged since the undo. The text in place must be what the step left there, or the step is
// dropped: a replacement never takes away what it did not put in.
bool Win32Platform::StepOwn(HWND editor, bool undo) {
  Control* c = FindControl(HandleOf(editor));
  if (c == nullptr || !c->own_step || c->own_step->undone == undo) return false;
  PutPending(editor, *c);
  c = FindControl(HandleOf(editor));
  if (c == nullptr || !c->own_step || SendMessageW(editor, undo ? EM_CANUNDO : EM_CANREDO, 0, 0) != 0) {
    return false;
  }
  Control::OwnStep& step = *c->own_step;
  const Text& now = undo ? step.inserted : step.removed;
  const Text& then = undo ? step.removed : step.inserted;
  auto end = static_cast<LPARAM>(step.start + static_cast<LONG>(now.size()));
  SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(step.start), end);
  if ((!undo && step.revision != c->revision) ||
      (!now.empty() && RichEditText(editor, now.size(), GT_SELECTION) != now)) {
    c->own_step.reset();
    return false;
  }
  // Wine's rich edit takes lines out in time that grows with their number times the lines of the text (each
  // finds its place by walking the lines from the first, and each line joined moves every line after it),
  // about 0.1 us a line for each: 10,000 out of 10,000 take 10 s. A new window holding the text that stays
  // costs about 0.1 ms a line kept, so many lines out of few kept go that way.
  const auto lines_in = [](const Text& text) {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), u'\r'));
  };
  const std::int64_t length = TextLength(HandleOf(editor));
  const Text whole = RichEditText(editor, static_cast<std::size_t>(length), GT_DEFAULT);
  const std::uint64_t out = lines_in(now);
  const std::uint64_t all = lines_in(whole) + 1;
  if (out * all > kLinesKeptPerLineOut * (all - out)) {
    Text kept = whole.substr(0, static_cast<std::size_t>(step.start));
    kept += then;
    kept += whole.substr(static_cast<std::size_t>(end));
    const LONG caret = step.start + static_cast<LONG>(then.size());
    editor = ReplaceEditor(editor, kept, caret);
  } else {
    RemoveInPieces(editor, step.start, static_cast<LONG>(end), now);
    SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(then)));
    SendMessageW(editor, EM_EMPTYUNDOBUFFER, 0, 0);
  }
  if (Control* after = FindControl(HandleOf(editor)); after != nullptr && after->own_step) {
    after->own_step->undone = undo;
    after->own_step->revision = after->revision;
  }
  return true;
}

// The step's text goes out from its end, kLinesRemovedAtOnce at a time, with drawing held; only the last
// piece is news to the program.
void Win32Platform::RemoveInPieces(HWND editor, LONG start, LONG end, const Text& now) {
  const bool visible = (GetWindowLongPtrW(editor, GWL_STYLE) & WS_VISIBLE) != 0;
  if (visible) SendMessageW(editor, WM_SETREDRAW, FALSE, 0);
  LONG to = end;
  while (to > start) {
    LONG from = to;
    for (std::size_t lines = 0; from > start && lines < kLinesRemovedAtOnce;) {
      if (now[static_cast<std::size_t>(--from - start)] == u'\r') ++lines;
    }
    HWND outer = std::exchange(putting_, from > start ? editor : putting_);
    SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
    SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    putting_ = outer;
    to = from;
  }
  if (visible) {
    SendMessageW(editor, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
}

}  // namespace vw
