// The Win32 back end, text of controls: reading and setting it, the editors' line breaks, and appending
// lines at a cost that does not grow with the text.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/stand_ins.h"

namespace vw {

using namespace win32;

namespace win32 {

Text ToEditorBreaks(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;  // "\r\n" is one break
    out.push_back(text[i] == u'\n' ? u'\r' : text[i]);
  }
  return out;
}

Text RichEditText(HWND editor, std::size_t units, DWORD flags) {
  Text text(units + 1, u'\0');  // room for the terminating NUL the control writes
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(text.size() * sizeof(char16_t));
  query.flags = flags;
  query.codepage = 1200;  // UTF-16
  LRESULT copied = SendMessageW(editor, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

Text FromEditorBreaks(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

Text WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  Text text(static_cast<std::size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

}  // namespace win32

Text Win32Platform::GetText(Handle control) {
  Control* c = FindControl(control);
  if (c == nullptr) return {};
  HWND window = Live(control);
  if (c->kind == ControlKind::kField) return FieldReal(WindowText(window));
  if (c->kind != ControlKind::kEditor) return WindowText(window);
  PutPending(window, *c);
  if (rich_edit_1_) return FromEditorBreaks(WindowText(window));  // no EM_GETTEXTEX there
  std::int64_t length = MeasureLength(window);
  if (length <= 0) return {};
  Text text = RichEditText(window, static_cast<std::size_t>(length), GT_DEFAULT);
  c->length = static_cast<std::int64_t>(text.size());
  return FromEditorBreaks(text);
}

void Win32Platform::SetText(Handle control, const Text& text) {
  Control* c = FindControl(control);
  if (c == nullptr) return;
  ++c->revision;
  HWND window = Live(control);
  if (c->kind == ControlKind::kEditor) {
    PutPending(window, *c);
    Text converted = ToEditorBreaks(text);
    SetWindowTextW(window, Wide(converted));
    if (Control* after = FindControl(control)) after->own_step.reset();
  } else {
    SetWindowTextW(window, Wide(c->kind == ControlKind::kField ? FieldShown(text) : text));
  }
  if (Control* after = FindControl(control)) {
    ++after->revision;
    after->length = -1;
  }
}

std::int64_t Win32Platform::MeasureLength(HWND editor) {
  GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  LRESULT length = SendMessageW(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
  return length > 0 ? static_cast<std::int64_t>(length) : 0;
}

std::int64_t Win32Platform::TextLength(Handle control) {
  Control* c = FindControl(control);
  if (c == nullptr) return 0;
  HWND window = Live(control);
  if (c->kind == ControlKind::kEditor) {
    if (rich_edit_1_) return static_cast<std::int64_t>(GetText(control).size());
    // Kept while only the program appends; a change of the user's, an undo or SetText makes it unknown.
    if (c->length < 0) c->length = MeasureLength(window);
    return c->length;
  }
  int length = GetWindowTextLengthW(window);
  return length > 0 ? length : 0;
}

// Loading a list appends line after line, so an append must not cost more the longer the text is: no question
// that walks the text (the precise length; under Wine even a selection set by position walks the
// paragraphs), no scrolling, no drawing. And the control's own work for each insertion (under Wine about a
// millisecond: it lays out and measures again, scrolls and updates its scroll bars) is paid once for a run of
// appends: the text waits here until something reads the editor or the program waits for input, then goes in
// with the control's undo steps as they would have been (PutPending). The length is kept here meanwhile.
void Win32Platform::AppendText(Handle editor, const Text& text) {
  Control* c = FindControl(editor);
  if (c == nullptr || (c->kind != ControlKind::kEditor && c->kind != ControlKind::kField)) return;
  ++c->revision;
  HWND window = Live(editor);
  if (c->kind == ControlKind::kField) {
    auto end = static_cast<WPARAM>(GetWindowTextLengthW(window));
    SendMessageW(window, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(FieldShown(text))));
    if (Control* after = FindControl(editor)) ++after->revision;
    return;
  }
  if (text.empty()) return;
  Text converted = ToEditorBreaks(text);
  std::int64_t end = TextLength(editor);
  c->pending_starts.push_back(c->pending.size());
  c->pending += converted;
  c->length = end + static_cast<std::int64_t>(converted.size());
  if (std::find(appended_.begin(), appended_.end(), window) == appended_.end()) appended_.push_back(window);
}

// Each append is one undo step, as far as the control keeps them: it keeps the last kUndoLimit steps, so the
// appends before those go in as one step (which the control then forgets as it would have forgotten them one
// by one), and the last kUndoLimit one by one. Drawing is held back until ShowAppended.
void Win32Platform::PutPending(HWND window, Control& c, bool one_step) {
  if (c.pending.empty()) return;
  Text pending = std::exchange(c.pending, {});
  std::vector<std::size_t> starts = std::exchange(c.pending_starts, {});
  std::int64_t length = c.length;
  // WM_SETREDRAW TRUE would also show a hidden control, so only a visible one has its drawing held.
  if (!c.drawing_held && (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0) {
    SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    c.drawing_held = true;
  }
  starts.push_back(pending.size());
  std::size_t steps = starts.size() - 1;
  std::size_t first_single = one_step ? steps : steps > kUndoLimit ? steps - kUndoLimit : 0;
  // A selection past the end is the end, for Windows and Wine alike, without counting the text.
  constexpr LPARAM kPastTheEnd = 0x7FFFFFFF;
  auto put = [&](std::size_t from, std::size_t to) {
    Text part = pending.substr(from, to - from);
    SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(kPastTheEnd), kPastTheEnd);
    SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(part)));
  };
  HWND outer = std::exchange(putting_, window);
  if (first_single > 0) put(0, starts[first_single]);
  for (std::size_t i = first_single; i < steps && IsWindow(window); ++i) put(starts[i], starts[i + 1]);
  putting_ = outer;
  if (Control* after = FindControl(HandleOf(window))) after->length = length;  // EN_CHANGE made it unknown
}

// The appends still waiting go in first, so that they are forgotten too.
void Win32Platform::ForgetUndo(Handle editor) {
  Control* c = FindControl(editor);
  if (c == nullptr || c->kind != ControlKind::kEditor) return;
  HWND window = Live(editor);
  PutPending(window, *c, true);
  SendMessageW(window, EM_EMPTYUNDOBUFFER, 0, 0);
  if (Control* after = FindControl(editor)) after->own_step.reset();
}

void Win32Platform::ShowAppended() {
  for (HWND window : std::exchange(appended_, {})) {
    Control* c = FindControl(HandleOf(window));
    if (c == nullptr) continue;
    PutPending(window, *c);
    c = FindControl(HandleOf(window));
    if (c == nullptr) continue;
    if (c->drawing_held) {
      c->drawing_held = false;
      SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    }
    // The insertion point is after the last line; the view shows the last line from the left edge (a long
    // last line from its start, the insertion point then out of view to the right). Under Wine SB_BOTTOM also
    // scrolls to the far right and SB_LEFT to the top, so the bottom comes first and then the left edge, by
    // position alone (EM_SETSCROLLPOS would need the height, which rich edit gives in 16 bits).
    SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
}

std::uint64_t Win32Platform::TextRevision(Handle control) {
  const Control* c = FindControl(control);
  return c == nullptr ? 0 : c->revision;
}

}  // namespace vw
