// The Win32 back end: user32/gdi32/comctl32 windows, rich-edit editors, MessageBoxW and the prompt window.
// It creates native things, reads and writes them, and turns native notifications into calls on the sink;
// every decision about what to do with them is made above the platform interface.
#include "platform/win32/win32_internal.h"

#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace vw {
namespace {

constexpr wchar_t kMainWindowClass[] = L"VerawayEditWindow";
constexpr wchar_t kPanelClass[] = L"VerawayEditPanel";
constexpr wchar_t kPostWindowClass[] = L"VerawayEditPosted";
constexpr wchar_t kPromptClass[] = L"InputRequester";

// PostToSelf's message to the hidden window: the code's low 32 bits in wParam, the high 32 bits in lParam.
constexpr UINT kPostedMessage = WM_APP + 1;

// The editors keep this many undo steps (the rich-edit controls' default).
constexpr std::size_t kUndoLimit = 100;

// The link field takes at most this many characters.

// The non-client metrics without iPaddedBorderWidth, the form every version of Windows accepts.
constexpr UINT kNonClientMetricsSize = 500;
static_assert(offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth) == kNonClientMetricsSize);

Handle ToHandle(HWND window) {
  return reinterpret_cast<Handle>(window);
}
Handle ToHandle(HGDIOBJ object) {
  return reinterpret_cast<Handle>(object);
}
HWND ToWindow(Handle handle) {
  return reinterpret_cast<HWND>(handle);
}

const wchar_t* Wide(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Rich-edit controls keep '\r' as their line break; the interface speaks '\n'.
Text ToEditorBreaks(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;  // "\r\n" is one break
    out.push_back(text[i] == u'\n' ? u'\r' : text[i]);
  }
  return out;
}

// Rich edit 2.0 and later hand out '\r'; rich edit 1.0 hands out "\r\n". Both become '\n'.
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

// The platform a window was created for, stored at WM_NCCREATE.
Win32Platform* PlatformOf(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

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

std::unique_ptr<Platform> MakeWin32Platform() {
  return std::make_unique<Win32Platform>();
}

// --- Set-up and release.

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

// --- Lookup.

Win32Platform::Control* Win32Platform::FindControl(Handle control) {
  auto it = controls_.find(ToWindow(control));
  if (it == controls_.end() || !IsWindow(it->first)) return nullptr;
  return &it->second;
}

const Win32Platform::Control* Win32Platform::FindControl(Handle control) const {
  auto it = controls_.find(ToWindow(control));
  if (it == controls_.end() || !IsWindow(it->first)) return nullptr;
  return &it->second;
}

HWND Win32Platform::OwnWindow(Handle window) const {
  HWND hwnd = ToWindow(window);
  if (hwnd == nullptr || !IsWindow(hwnd)) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  return process == GetCurrentProcessId() ? hwnd : nullptr;
}

Win32Platform::Prompt* Win32Platform::FindPrompt(Handle prompt) {
  auto it = prompts_.find(ToWindow(prompt));
  if (it == prompts_.end() || !IsWindow(it->first)) return nullptr;
  return &it->second;
}

HACCEL Win32Platform::PromptAccelerators(Handle prompt) const {
  auto it = prompts_.find(ToWindow(prompt));
  return it == prompts_.end() ? nullptr : it->second.accelerators;
}

Handle Win32Platform::AppliedFont(Handle control) const {
  const Control* c = FindControl(control);
  if (c != nullptr) return c->font;
  for (const auto& [window, prompt] : prompts_) {
    HWND hwnd = ToWindow(control);
    if (hwnd != nullptr && (hwnd == prompt.label || hwnd == prompt.field || hwnd == prompt.ok)) {
      return ToHandle(reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    }
  }
  return 0;
}

// --- Creation.

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
  const wchar_t* caption = Wide(text);
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
    SendMessageW(control, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    LRESULT mask = SendMessageW(control, EM_GETEVENTMASK, 0, 0);
    SendMessageW(control, EM_SETEVENTMASK, 0, mask | ENM_CHANGE);
    // Rich-edit controls stop the user at 32,767 characters unless told otherwise; the editor has no limit
    // of its own, so lists of any size can be edited.
    SendMessageW(control, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    // The default undo limit of the rich-edit controls, said here so that AppendText knows it.
    SendMessageW(control, EM_SETUNDOLIMIT, kUndoLimit, 0);
    SetWindowSubclass(control, &EditorProc, 0, reinterpret_cast<DWORD_PTR>(this));
  } else if (kind == ControlKind::kField) {
    SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(kFieldTextLimit), 0);
  }
  if (font != 0) SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  if (kind == ControlKind::kEditor && !text.empty()) SetText(ToHandle(control), text);

  if ((style & WS_TABSTOP) != 0) main_windows_[root].tab_order.push_back(control);
  return ToHandle(control);
}

// --- Text of controls.

Text Win32Platform::GetText(Handle control) {
  Control* c = FindControl(control);
  if (c == nullptr) return {};
  HWND window = ToWindow(control);
  if (c->kind != ControlKind::kEditor) return WindowText(window);
  PutPending(window, *c);
  if (rich_edit_1_) return FromEditorBreaks(WindowText(window));  // no EM_GETTEXTEX there
  std::int64_t length = MeasureLength(window);
  if (length <= 0) return {};
  Text text(static_cast<std::size_t>(length) + 1, u'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(text.size() * sizeof(char16_t));
  query.flags = GT_DEFAULT;
  query.codepage = 1200;  // UTF-16
  LRESULT copied = SendMessageW(window, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  c->length = static_cast<std::int64_t>(text.size());
  return FromEditorBreaks(text);
}

void Win32Platform::SetText(Handle control, const Text& text) {
  Control* c = FindControl(control);
  if (c == nullptr) return;
  ++c->revision;
  HWND window = ToWindow(control);
  if (c->kind == ControlKind::kEditor) {
    PutPending(window, *c);
    Text converted = ToEditorBreaks(text);
    SetWindowTextW(window, Wide(converted));
  } else {
    SetWindowTextW(window, Wide(text));
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
  HWND window = ToWindow(control);
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
  HWND window = ToWindow(editor);
  if (c->kind == ControlKind::kField) {
    auto end = static_cast<WPARAM>(GetWindowTextLengthW(window));
    SendMessageW(window, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text)));
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
void Win32Platform::PutPending(HWND window, Control& c) {
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
  std::size_t first_single = steps > kUndoLimit ? steps - kUndoLimit : 0;
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
  if (Control* after = FindControl(ToHandle(window))) after->length = length;  // EN_CHANGE made it unknown
}

void Win32Platform::ShowAppended() {
  for (HWND window : std::exchange(appended_, {})) {
    Control* c = FindControl(ToHandle(window));
    if (c == nullptr) continue;
    PutPending(window, *c);
    c = FindControl(ToHandle(window));
    if (c == nullptr) continue;
    if (c->drawing_held) {
      c->drawing_held = false;
      SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    }
    // The insertion point is after the last line; the view shows the last line from the left edge (a long
    // last line from its start, the insertion point then out of view to the right). Under Wine SB_BOTTOM also
    // scrolls to the far right and SB_LEFT to the top, so the bottom is asked for first and the view then set
    // to its left edge at that height.
    SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
    POINT view{};
    SendMessageW(window, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
    view.x = 0;
    SendMessageW(window, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
}

std::uint64_t Win32Platform::TextRevision(Handle control) {
  const Control* c = FindControl(control);
  return c == nullptr ? 0 : c->revision;
}

// --- Notifications.

void Win32Platform::OnCommand(WPARAM wparam, LPARAM lparam) {
  HWND child = reinterpret_cast<HWND>(lparam);
  if (child == nullptr) return;  // a menu or accelerator command: the window has none
  auto it = controls_.find(child);
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
    sink_->ControlNotice(ToHandle(child), ToHandle(c.root), *notice);
    WakeIfWaiting();
  }
}

void Win32Platform::Forget(HWND root) {
  main_windows_.erase(root);
  for (auto it = controls_.begin(); it != controls_.end();) {
    it = it->second.root == root ? controls_.erase(it) : std::next(it);
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
        if (focus != nullptr && IsChild(window, focus)) it->second.remembered_focus = focus;
        return 0;
      }
      HWND remembered = it->second.remembered_focus;
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

// --- Editing keys, the clipboard.

namespace {

bool IsHighSurrogate(wchar_t c) {
  return (c & 0xFC00) == 0xD800;
}
bool IsLowSurrogate(wchar_t c) {
  return (c & 0xFC00) == 0xDC00;
}

CHARRANGE Selection(HWND editor) {
  CHARRANGE range{};
  SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return range;
}

// True when `position` stands between the two halves of a character beyond the basic plane.
bool SplitsAPair(HWND editor, LONG position) {
  if (position <= 0) return false;
  wchar_t around[3] = {};
  TEXTRANGEW range{{position - 1, position + 1}, around};
  return SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)) == 2 &&
         IsHighSurrogate(around[0]) && IsLowSurrogate(around[1]);
}

// Puts `text` on the clipboard as Unicode text. True when it is there.
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

bool HasCharacterAt(HWND editor, LONG position) {
  wchar_t at[2] = {};
  TEXTRANGEW range{{position, position + 1}, at};
  return SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)) == 1;
}

}  // namespace

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
      if (wparam == 0x16 || wparam == 0x03 || wparam == 0x18) return 0;  // Ctrl+V, Ctrl+C, Ctrl+X: done
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

void Win32Platform::InsertLineBreak(HWND editor) {
  if ((GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) != 0) return;
  if (Control* c = FindControl(ToHandle(editor))) PutPending(editor, *c);
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r"));
}

void Win32Platform::Copy(HWND editor, bool cut) {
  if (Control* c = FindControl(ToHandle(editor))) PutPending(editor, *c);
  CHARRANGE at = Selection(editor);
  if (at.cpMax <= at.cpMin) return;  // nothing selected: the clipboard stays as it is
  Text selected(static_cast<std::size_t>(at.cpMax - at.cpMin) + 1, u'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(selected.size() * sizeof(char16_t));
  query.flags = GT_SELECTION;
  query.codepage = 1200;  // UTF-16
  LRESULT copied = SendMessageW(editor, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                reinterpret_cast<LPARAM>(selected.data()));
  selected.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
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

// --- Messages.

void Win32Platform::MoveFocus(HWND root, bool forward) {
  auto it = main_windows_.find(root);
  if (it == main_windows_.end()) return;
  std::vector<HWND> order;
  for (HWND control : it->second.tab_order) {
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
  auto it = controls_.find(msg.hwnd);
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

// --- Modal primitives.

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

// --- Dialogs.

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

Handle Win32Platform::CreatePromptWindow(const PromptWindowSpec& request) {
  ShowAppended();
  // Centred on the primary screen; where the main window is plays no part.
  const PromptLayout& layout = kPromptLayout;
  int x = GetSystemMetrics(SM_CXSCREEN) / 2 - layout.outer_width / 2;
  int y = GetSystemMetrics(SM_CYSCREEN) / 2 - layout.outer_height / 2;
  HWND window = CreateWindowExW(0, kPromptClass, Wide(request.title), WS_VISIBLE | WS_CAPTION | WS_SYSMENU, x,
                                y, layout.outer_width, layout.outer_height, OwnWindow(request.owner), nullptr,
                                instance_, this);
  if (window == nullptr) return 0;
  Prompt& prompt = prompts_[window];

  prompt.label = CreateWindowExW(
      0, L"STATIC", Wide(request.prompt), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, layout.label.x,
      layout.label.y, layout.label.width, layout.label.height, window, nullptr, instance_, nullptr);
  DWORD field_style =
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (request.masked ? ES_PASSWORD : 0);
  prompt.field =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", field_style, layout.field.x, layout.field.y,
                      layout.field.width, layout.field.height, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPromptFieldId)), instance_, nullptr);
  prompt.ok =
      CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                      layout.ok_button.x, layout.ok_button.y, layout.ok_button.width, layout.ok_button.height,
                      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPromptOk)), instance_, nullptr);
  for (HWND child : {prompt.label, prompt.field, prompt.ok}) {
    if (child != nullptr) SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(request.font), TRUE);
  }

  SetFocus(prompt.field);
  if (!request.default_text.empty()) {
    SendMessageW(prompt.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(request.default_text)));
    auto end = static_cast<WPARAM>(request.default_text.size());
    SendMessageW(prompt.field, EM_SETSEL, end, static_cast<LPARAM>(end));
  }

  ACCEL keys[2] = {{FVIRTKEY, VK_RETURN, static_cast<WORD>(kPromptOk)},
                   {FVIRTKEY, VK_ESCAPE, static_cast<WORD>(kPromptCancel)}};
  prompt.accelerators = CreateAcceleratorTableW(keys, 2);

  SetForegroundWindow(window);
  BringWindowToTop(window);
  return ToHandle(window);
}

Text Win32Platform::PromptFieldText(Handle prompt) {
  Prompt* p = FindPrompt(prompt);
  if (p == nullptr || p->field == nullptr) return {};
  // The length first, then the text into a buffer of that length plus one.
  int length = GetWindowTextLengthW(p->field);
  if (length <= 0) return {};
  Text text(static_cast<std::size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(p->field, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void Win32Platform::FocusPromptField(Handle prompt) {
  Prompt* p = FindPrompt(prompt);
  if (p != nullptr && p->field != nullptr) SetFocus(p->field);
}

LRESULT CALLBACK Win32Platform::PromptProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Platform* platform = PlatformOf(window, message, lparam);
  if (platform == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return platform->OnPromptMessage(window, message, wparam, lparam);
}

LRESULT Win32Platform::OnPromptMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto it = prompts_.find(window);
  PromptHandler* handler = it == prompts_.end() ? nullptr : it->second.handler;
  switch (message) {
    case WM_COMMAND:
      // Told apart by the identifier alone: the OK button and Enter give 1000, Escape 1001, the field 10.
      if (handler != nullptr) handler->PromptCommand(LOWORD(wparam));
      return 0;  // the handler may have destroyed the window: touch nothing after it
    case WM_CLOSE:
      // The close box, the system menu's Close and Alt+F4; the handler decides, nothing is destroyed here.
      if (handler != nullptr) handler->PromptCloseRequested();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        if (handler != nullptr) {
          handler->PromptActivated();
          return 0;
        }
        // Activated while no loop runs (while it is being created): the field takes the focus all the same.
        if (it != prompts_.end() && it->second.field != nullptr) {
          SetFocus(it->second.field);
          return 0;
        }
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Platform::HandlePromptMessage(HWND prompt, MSG& msg) {
  auto it = prompts_.find(prompt);
  if (it != prompts_.end() && IsWindow(prompt)) {
    if (it->second.accelerators != nullptr && TranslateAcceleratorW(prompt, it->second.accelerators, &msg))
      return;
    // The accelerator may have closed the prompt; look again before dialog navigation.
    if (prompts_.count(prompt) != 0 && IsWindow(prompt) && IsDialogMessageW(prompt, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

bool Win32Platform::PumpPromptMessage(Handle prompt, PromptHandler& handler) {
  // The handler is in place before GetMessageW: a message sent from another thread or process (a BM_CLICK on
  // OK, a WM_CLOSE) is handled inside that call and must reach it too.
  HWND window = ToWindow(prompt);
  PromptHandler* outer = nullptr;
  if (Prompt* p = FindPrompt(prompt)) outer = std::exchange(p->handler, &handler);
  ShowAppended();
  pumping_.push_back(window);
  MSG msg;
  BOOL got = NextMessage(msg);
  if (got != 0 && got != -1) HandlePromptMessage(window, msg);
  pumping_.pop_back();
  // The handler may have destroyed the prompt meanwhile.
  if (auto it = prompts_.find(window); it != prompts_.end()) it->second.handler = outer;
  return got != 0 && got != -1;
}

void Win32Platform::HandleInInnermostLoop(MSG& msg) {
  if (!pumping_.empty()) {
    HandlePromptMessage(pumping_.back(), msg);
  } else {
    HandleMainMessage(msg);
  }
}

void Win32Platform::DestroyPromptWindow(Handle prompt) {
  HWND window = ToWindow(prompt);
  auto it = prompts_.find(window);
  if (it == prompts_.end()) return;
  HACCEL accelerators = it->second.accelerators;
  prompts_.erase(it);
  if (accelerators != nullptr) DestroyAcceleratorTable(accelerators);
  if (IsWindow(window)) DestroyWindow(window);
  WakeIfWaiting();  // closed from inside GetMessageW: the prompt's loop is to end now
  for (HWND pending : std::exchange(topmost_pending_, {})) {
    if (IsWindow(pending)) {
      SetWindowPos(pending, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

}  // namespace vw
