// The Win32 back end, controls: labels, editors (rich edit in plain-text mode), the link field and buttons,
// their notifications, and the editing keys the editors handle themselves.
#include "platform/win32/win32_internal.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "common/stand_ins.h"

namespace vw {

using namespace win32;

namespace {

// True when `position` stands between the two halves of a character beyond the basic plane.
bool SplitsAPair(HWND editor, LONG position) {
  if (position <= 0) return false;
  wchar_t around[3] = {};
  TEXTRANGEW range{{position - 1, position + 1}, around};
  return SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)) == 2 &&
         IsHighSurrogate(around[0]) && IsLowSurrogate(around[1]);
}

bool HasCharacterAt(HWND editor, LONG position) {
  wchar_t at[2] = {};
  TEXTRANGEW range{{position, position + 1}, at};
  return SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)) == 1;
}

}  // namespace

Handle Win32Platform::CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text,
                                    Handle font) {
  HWND parent_window = ToWindow(parent);
  const Control* parent_control = FindControl(parent);
  bool known_parent = main_windows_.count(parent_window) != 0 ||
                      (parent_control != nullptr && parent_control->kind == ControlKind::kPanel);
  if (!known_parent || !IsWindow(parent_window)) return 0;
  HWND root = GetAncestor(parent_window, GA_ROOT);

  const wchar_t* window_class = L"Static";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  const Text field_shown = kind == ControlKind::kField ? FieldShown(text) : Text{};
  const wchar_t* caption = Wide(kind == ControlKind::kField ? field_shown : text);
  switch (kind) {
    case ControlKind::kPanel:
      window_class = kPanelClass;
      style |= WS_DLGFRAME;
      break;
    case ControlKind::kLabel:
      window_class = L"Static";
      style |= SS_NOPREFIX;
      break;
    case ControlKind::kEditor:
      window_class = editor_class_;
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_WANTRETURN | WS_VSCROLL |
               WS_HSCROLL | WS_TABSTOP;
      // The text-box border: a sunken edge without visual styles; with them the rich-edit control draws the
      // themed border for a plain WS_BORDER.
      if (IsAppThemed()) {
        style |= WS_BORDER;
      } else {
        ex_style |= WS_EX_CLIENTEDGE;
      }
      caption = L"";  // the plain-text mode can only be set while the control is empty
      break;
    case ControlKind::kField:
      window_class = L"Edit";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kButton:
      window_class = L"Button";
      style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
      break;
  }

  int id = next_control_id_++;
  HWND control =
      CreateWindowExW(ex_style, window_class, caption, style, rect.x, rect.y, rect.width, rect.height,
                      parent_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                      kind == ControlKind::kPanel ? this : nullptr);
  if (control == nullptr) return 0;
  Control& info = controls_[control];
  info = Control{};
  info.kind = kind;
  info.root = root;
  info.font = font;

  if (kind == ControlKind::kEditor) {
    SetUpEditor(control);
  } else if (kind == ControlKind::kField) {
    SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(kFieldTextLimit), 0);
    SetWindowSubclass(control, &FieldProc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  if (font != 0) SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  if (kind == ControlKind::kEditor && !text.empty()) SetText(ToHandle(control), text);

  if ((style & WS_TABSTOP) != 0) main_windows_[root].tab_order.push_back(control);
  return ToHandle(control);
}

void Win32Platform::SetUpEditor(HWND editor) {
  SendMessageW(editor, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  LRESULT mask = SendMessageW(editor, EM_GETEVENTMASK, 0, 0);
  SendMessageW(editor, EM_SETEVENTMASK, 0, mask | ENM_CHANGE);
  // Rich-edit controls stop the user at 32,767 characters unless told otherwise; the editor has no limit of
  // its own, so lists of any size can be edited.
  SendMessageW(editor, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  // The default undo limit of the rich-edit controls, said here so that AppendText knows it.
  SendMessageW(editor, EM_SETUNDOLIMIT, kUndoLimit, 0);
  SetWindowSubclass(editor, &EditorProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

// A new window of the same class, styles, place, identifier and font, set up as CreateControl sets up an
// editor, then `text` with the caret at `caret`; it takes the old one's place (in the tab order too: that
// goes by handle) and its focus, and the old one is destroyed. The text goes in as the program's, so the
// change is reported once, here.
HWND Win32Platform::ReplaceEditor(HWND editor, const Text& text, LONG caret) {
  const Handle handle = HandleOf(editor);
  Control* c = FindControl(handle);
  if (c == nullptr) return editor;
  HWND parent = GetParent(editor);
  RECT rect{};
  GetWindowRect(editor, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(editor, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(editor, GWL_EXSTYLE));
  HWND fresh = CreateWindowExW(ex_style, editor_class_, L"", style & ~WS_VISIBLE, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(editor))), instance_,
                               nullptr);
  if (fresh == nullptr) return editor;
  SetUpEditor(fresh);
  if (c->font != 0) SendMessageW(fresh, WM_SETFONT, static_cast<WPARAM>(c->font), FALSE);
  HWND outer = std::exchange(putting_, fresh);
  SendMessageW(fresh, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text)));
  SendMessageW(fresh, EM_EMPTYUNDOBUFFER, 0, 0);
  putting_ = outer;
  SendMessageW(fresh, EM_SETSEL, static_cast<WPARAM>(caret), static_cast<LPARAM>(caret));
  SetWindowPos(fresh, editor, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const bool focused = GetFocus() == editor;
  handle_of_.erase(editor);
  live_[ToWindow(handle)] = fresh;
  handle_of_[fresh] = ToWindow(handle);
  std::replace(appended_.begin(), appended_.end(), editor, fresh);
  if ((style & WS_VISIBLE) != 0) ShowWindow(fresh, SW_SHOWNA);
  if (focused) SetFocus(fresh);
  DestroyWindow(editor);
  SendMessageW(fresh, EM_SCROLLCARET, 0, 0);
  if (Control* after = FindControl(handle)) {
    ++after->revision;
    after->length = -1;
    if (sink_ != nullptr) {
      sink_->ControlNotice(handle, ToHandle(after->root), Notice::kChanged);
      WakeIfWaiting();
    }
  }
  return fresh;
}

void Win32Platform::OnCommand(WPARAM wparam, LPARAM lparam) {
  HWND child = reinterpret_cast<HWND>(lparam);
  if (child == nullptr) return;  // a menu or accelerator command: the window has none
  auto it = controls_.find(ToWindow(HandleOf(child)));
  if (it == controls_.end()) return;
  Control& c = it->second;
  WORD code = HIWORD(wparam);
  std::optional<Notice> notice;
  if (c.kind == ControlKind::kButton && code == BN_CLICKED) {
    notice = Notice::kPressed;
  } else if (c.kind == ControlKind::kEditor || c.kind == ControlKind::kField) {
    if (code == EN_CHANGE) {
      if (child == putting_) return;  // the program's own append, already counted by AppendText
      ++c.revision;
      c.length = -1;
      notice = Notice::kChanged;
    } else if (code == EN_SETFOCUS) {
      notice = Notice::kFocusGained;
    } else if (code == EN_KILLFOCUS) {
      notice = Notice::kFocusLost;
    }
  }
  if (notice && sink_ != nullptr) {
    sink_->ControlNotice(HandleOf(child), ToHandle(c.root), *notice);
    WakeIfWaiting();
  }
}

// The editors handle these keys themselves, where the rich-edit control would make the text differ from
// what the administrator sees or typed:
// - Shift+Return and Ctrl+Return (and a typed line feed) insert the line break plain Return inserts. Wine's
//   rich edit ends a row without a paragraph for Shift+Return (a blank in the text) and Windows' inserts a
//   vertical tab; either shows a row break that a save would not write.
// - Left, Right, Backspace and Delete move over or remove a character beyond the basic plane whole: Wine's
//   rich edit steps one UTF-16 unit, so a selection or a deletion could split the pair.
// - Copy and cut put the selection's characters on the clipboard as plain Unicode text with CR LF line
//   breaks; paste is Paste below. Wine's rich edit in plain-text mode replaces the whole text with what is
//   pasted (it streams the clipboard in as for a new document, the selection ignored) and does nothing for
//   Shift+Insert.
LRESULT CALLBACK Win32Platform::EditorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                           DWORD_PTR platform) {
  auto* self = reinterpret_cast<Win32Platform*>(platform);
  switch (message) {
    case WM_PASTE:
      self->Paste(window);
      return 0;
    case WM_UNDO:
    case EM_UNDO:
    case EM_REDO:
      if (self->StepOwn(window, message != EM_REDO)) return TRUE;
      break;
    case WM_COPY:
      self->Copy(window, false);
      return 0;
    case WM_CUT:
      self->Copy(window, true);
      return 0;
    case WM_KEYDOWN: {
      bool shift = GetKeyState(VK_SHIFT) < 0;
      bool control = GetKeyState(VK_CONTROL) < 0;
      bool alt = GetKeyState(VK_MENU) < 0;
      self->swallow_char_ = false;
      if (alt) break;
      if (wparam == VK_RETURN && (shift || control)) {
        self->InsertLineBreak(window);
        self->swallow_char_ = true;  // the character TranslateMessage made of the key
        return 0;
      }
      if ((wparam == 'V' && control && !shift) || (wparam == VK_INSERT && shift && !control)) {
        self->Paste(window);
        return 0;
      }
      if ((wparam == 'Z' || (wparam == 'Y' && !shift)) && control) {  // through a large paste's own step
        SendMessageW(window, wparam == 'Z' && !shift ? EM_UNDO : EM_REDO, 0, 0);
        return 0;
      }
      if ((wparam == 'C' || wparam == 'X') && control && !shift) {
        self->Copy(window, wparam == 'X');
        return 0;
      }
      if (wparam == VK_INSERT && control && !shift) {
        self->Copy(window, false);
        return 0;
      }
      if (wparam == VK_DELETE && shift && !control) {
        self->Copy(window, true);
        return 0;
      }
      if ((wparam == VK_BACK || wparam == VK_DELETE) && !shift && !control) {
        CHARRANGE at = Selection(window);
        bool back = wparam == VK_BACK;
        if (at.cpMin == at.cpMax && SplitsAPair(window, back ? at.cpMin - 1 : at.cpMin + 1)) {
          // The whole pair, as one undo step.
          LONG from = back ? at.cpMin - 2 : at.cpMin;
          SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(from + 2));
          SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
          self->swallow_char_ = back;  // Backspace's '\b' character
          return 0;
        }
      }
      if (wparam == 'A' && control && !shift) {
        // Wine's rich edit selects its final paragraph mark too, so Shift+Left would then end the selection
        // at the end of the text instead of taking the last character out of it: the selection stops at the
        // text's end, the caret there.
        LRESULT result = DefSubclassProc(window, message, wparam, lparam);
        CHARRANGE all = Selection(window);
        if (all.cpMax > all.cpMin && !HasCharacterAt(window, all.cpMax - 1)) {
          SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(all.cpMin), static_cast<LPARAM>(all.cpMax - 1));
        }
        return result;
      }
      if ((wparam == VK_LEFT || wparam == VK_RIGHT) && !control) {
        // The control moves; a move that ends inside a pair goes on by one more unit the same way.
        // Right at the end of the text stays there (Wine's rich edit steps onto its final paragraph mark,
        // where no character is).
        CHARRANGE before = Selection(window);
        LRESULT result = DefSubclassProc(window, message, wparam, lparam);
        CHARRANGE after = Selection(window);
        if (after.cpMax > before.cpMax && !HasCharacterAt(window, before.cpMax)) {
          SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(before.cpMin),
                       static_cast<LPARAM>(before.cpMax));
        } else if ((after.cpMin != before.cpMin && SplitsAPair(window, after.cpMin)) ||
                   (after.cpMax != before.cpMax && SplitsAPair(window, after.cpMax))) {
          DefSubclassProc(window, message, wparam, lparam);
        }
        return result;
      }
      break;
    }
    case WM_CHAR:
      if (std::exchange(self->swallow_char_, false) &&
          (wparam == u'\r' || wparam == u'\n' || wparam == u'\b')) {
        return 0;
      }
      // Ctrl+V, Ctrl+C, Ctrl+X, Ctrl+Z, Ctrl+Y: done
      if (wparam == 0x16 || wparam == 0x03 || wparam == 0x18 || wparam == 0x1A || wparam == 0x19) return 0;
      if (wparam == u'\n') {  // a line feed typed on its own (Ctrl+J)
        self->InsertLineBreak(window);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, &EditorProc, 0);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

// The link field holds what it shows: CR, LF, NUL and the editors' five invisible characters as their
// stand-ins (FieldShown), whichever way text comes in (the program's SetText and AppendText, a paste, a typed
// character, another program's WM_SETTEXT), so the edit control's own undo and redo work on the shown text
// as on any other. Reading the field (GetText, copy, cut) gives the real characters (FieldReal). A paste
// takes the whole clipboard text, its CR LF and NULs included (the edit control would stop at the first NUL
// and, under Wine, at the first line break), as one undo step within the field's length limit.
LRESULT CALLBACK Win32Platform::FieldProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                          DWORD_PTR platform) {
  auto* self = reinterpret_cast<Win32Platform*>(platform);
  switch (message) {
    case WM_PASTE: {
      if ((GetWindowLongPtrW(window, GWL_STYLE) & ES_READONLY) != 0) return 0;
      const Text shown = FieldShown(ClipboardText(window));
      if (!shown.empty()) DefSubclassProc(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(shown)));
      return 0;
    }
    case WM_COPY:
    case WM_CUT:
      self->FieldCopy(window, message == WM_CUT);
      return 0;
    case WM_SETTEXT:
    case EM_REPLACESEL:
      if (lparam != 0) {
        const Text shown = FieldShown(reinterpret_cast<const char16_t*>(lparam));
        return DefSubclassProc(window, message, wparam, reinterpret_cast<LPARAM>(Wide(shown)));
      }
      break;
    case WM_KEYDOWN: {
      // The control would paste, copy and cut for these keys without the messages above.
      const bool shift = GetKeyState(VK_SHIFT) < 0;
      const bool control = GetKeyState(VK_CONTROL) < 0;
      UINT instead = 0;
      if (wparam == VK_INSERT && shift && !control) instead = WM_PASTE;
      if (wparam == VK_INSERT && control && !shift) instead = WM_COPY;
      if (wparam == VK_DELETE && shift && !control) instead = WM_CUT;
      if (instead != 0 && GetKeyState(VK_MENU) >= 0) {
        SendMessageW(window, instead, 0, 0);
        return 0;
      }
      break;
    }
    case WM_CHAR:
      if (wparam == 0x16 || wparam == 0x03 || wparam == 0x18) {  // Ctrl+V, Ctrl+C, Ctrl+X
        SendMessageW(window, wparam == 0x16 ? WM_PASTE : wparam == 0x03 ? WM_COPY : WM_CUT, 0, 0);
        return 0;
      }
      if (char16_t glyph = EditorGlyphFor(static_cast<char16_t>(wparam)); glyph != 0) wparam = glyph;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, &FieldProc, 0);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void Win32Platform::InsertLineBreak(HWND editor) {
  if ((GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) != 0) return;
  if (Control* c = FindControl(HandleOf(editor))) PutPending(editor, *c);
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r"));
}

}  // namespace vw
