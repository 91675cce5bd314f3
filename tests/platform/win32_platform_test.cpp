// What only the Win32 back end can show: the window classes, styles and messages behind each control and
// dialog, the rich-edit text conventions, the prompt's accelerator table, the notifications as the sink gets
// them, and the program's resources. Runs under Wine in CI; where Wine differs from Windows it says so.
#include <gtest/gtest.h>

#include "platform/win32/win32_internal.h"  // <windows.h> first, for the headers after it

#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/main_controls.h"
#include "ui/controls.h"

namespace vw::testing {
namespace {

HWND AsHwnd(Handle handle) {
  return reinterpret_cast<HWND>(handle);
}
Handle AsHandle(HWND window) {
  return reinterpret_cast<Handle>(window);
}
Handle AsHandle(HGDIOBJ object) {
  return reinterpret_cast<Handle>(object);
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

LONG_PTR StyleOf(HWND window) {
  return GetWindowLongPtrW(window, GWL_STYLE);
}
LONG_PTR ExStyleOf(HWND window) {
  return GetWindowLongPtrW(window, GWL_EXSTYLE);
}
bool Has(LONG_PTR style, LONG_PTR bits) {
  return (style & bits) == bits;
}

void SetClipboardText(const Text& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
  std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(char16_t));
  GlobalUnlock(memory);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
}

Text ClipboardText() {
  Text text;
  if (!OpenClipboard(nullptr)) return u"(clipboard not open)";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const char16_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

// A key with a modifier (or two) held, posted to the focused window and handled as the loop running now
// would.
void PressWith(Driver& driver, UINT vk, UINT modifier, UINT also = 0) {
  BYTE saved[256] = {}, held[256] = {};
  GetKeyboardState(saved);
  std::memcpy(held, saved, sizeof held);
  held[modifier] = 0x80;
  if (also != 0) held[also] = 0x80;
  SetKeyboardState(held);
  PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
  PostMessageW(GetFocus(), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  driver.ProcessPending();
  SetKeyboardState(saved);
}

// --- A main window with the program's controls at the program's places, made here through the ui layer.

class Win32MainWindow : public ::testing::Test {
 protected:
  Win32MainWindow() : driver_(MakeDriver()), toolkit_(driver_->platform()) {}
  void SetUp() override {
    controls_ = MakeMainControls(driver_->platform());
    driver_->ProcessPending();
  }

  MainControls& state() { return controls_; }
  Win32Platform& win32() { return static_cast<Win32Platform&>(driver_->platform()); }

  std::unique_ptr<Driver> driver_;
  Toolkit toolkit_;
  MainControls controls_;
};

TEST_F(Win32MainWindow, TheWindowHasACaptionAndWindowMenuOnlyAndAClientAreaOf580By718AtTheCorner) {
  HWND window = AsHwnd(state().MainWindow);
  LONG_PTR style = StyleOf(window);
  EXPECT_TRUE(Has(style, WS_CAPTION | WS_SYSMENU | WS_VISIBLE));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP), 0);
  EXPECT_EQ(ExStyleOf(window) & WS_EX_TOPMOST, 0);

  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 580);
  EXPECT_EQ(client.bottom, 718);
  RECT expected{0, 0, 580, 718};
  AdjustWindowRectEx(&expected, WS_CAPTION | WS_SYSMENU, FALSE, 0);
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
  EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);

  EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
  EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0) << "icon resource 1";
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(GetForegroundWindow(), window) << "shown and activated at creation";
  EXPECT_FALSE(IsIconic(window));
  EXPECT_FALSE(IsZoomed(window));
}

// What the controls' styles show and no test of what they do sees: both buttons drawn as default buttons, an
// ampersand in a label as typed, the panel's raised frame and colour, an editor's selection kept in view when
// the focus leaves. (Tab stops, keys, scroll bars and wrapping are checked by what they do.)
TEST_F(Win32MainWindow, ButtonsLookDefaultLabelsShowAmpersandsThePanelIsRaisedSelectionsStay) {
  for (const Handle button : {state().TestLinkButton, state().SaveAllButton})
    EXPECT_EQ(StyleOf(AsHwnd(button)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  for (const Handle label : {state().SitesLabel, state().LinksLabel})
    EXPECT_NE(StyleOf(AsHwnd(label)) & SS_NOPREFIX, 0);
  for (const Handle editor : {state().SitesEditor, state().LinksEditor})
    EXPECT_NE(StyleOf(AsHwnd(editor)) & ES_NOHIDESEL, 0);
  EXPECT_NE(StyleOf(AsHwnd(state().EditorFrame)) & WS_DLGFRAME, 0);
  EXPECT_EQ(GetClassLongPtrW(AsHwnd(state().EditorFrame), GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
}

TEST_F(Win32MainWindow, TheEditorsAreRichEditControlsInPlainTextModeThatReportChanges) {
  // Wine ships Msftedit.dll, so the newest class is the one in use there as on Windows.
  EXPECT_EQ(std::wstring(win32().EditorClassName()), L"RICHEDIT50W");
  for (Handle editor : {state().SitesEditor, state().LinksEditor}) {
    HWND window = AsHwnd(editor);
    EXPECT_NE(SendMessageW(window, EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT, 0);
    EXPECT_NE(SendMessageW(window, EM_GETEVENTMASK, 0, 0) & ENM_CHANGE, 0);
    // The sunken edge without visual styles (Wine runs without a theme); the themed border otherwise.
    if (IsAppThemed()) {
      EXPECT_NE(StyleOf(window) & WS_BORDER, 0);
    } else {
      EXPECT_NE(ExStyleOf(window) & WS_EX_CLIENTEDGE, 0);
    }
    EXPECT_GT(SendMessageW(window, EM_GETLIMITTEXT, 0, 0), 1 << 30) << "no limit of the editor's own";
    EXPECT_FALSE(SendMessageW(window, EM_GETOPTIONS, 0, 0) & ECO_READONLY);
  }
}

TEST_F(Win32MainWindow, TextThatDoesNotFitBringsUpBothScrollBarsAndLongLinesNeverWrap) {
  HWND editor = AsHwnd(state().SitesEditor);
  Text long_line(2000, u'w');
  AddLine(state().SitesEditor, -1, long_line);
  for (int i = 0; i < 100; ++i) AddLine(state().SitesEditor, -1, u"line");
  driver_->ProcessPending();
  EXPECT_EQ(SendMessageW(editor, EM_GETLINECOUNT, 0, 0), 101) << "one row per line";
  SCROLLBARINFO bar{};
  bar.cbSize = sizeof(bar);
  ASSERT_TRUE(GetScrollBarInfo(editor, OBJID_VSCROLL, &bar));
  EXPECT_EQ(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE, 0u) << "vertical bar shown";
  ASSERT_TRUE(GetScrollBarInfo(editor, OBJID_HSCROLL, &bar));
  EXPECT_EQ(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE, 0u) << "horizontal bar shown";
  EXPECT_EQ(LineText(state().SitesEditor, 0), long_line);
}

// After a load the administrator sees each editor from its left edge down to its last entry, wherever the
// longest line stands; the view stays there while the program goes on waiting.
TEST_F(Win32MainWindow, AfterLoadingTheEditorsShowTheirLeftEdgeAndTheirLastLine) {
  const Text long_line = u"https://" + Text(312, u'a');
  // Taller than 65,535 pixels too: rich edit gives some scroll positions in 16 bits.
  std::vector<Text> more_than_a_screen(6000, u"entry");
  more_than_a_screen[3000] = long_line;
  const std::vector<Text> lists[] = {
      {u"example.org", long_line, u"news.example.com", u"last.example"},
      {u"short", u"entries", long_line},
      {long_line},
      more_than_a_screen,
  };
  for (const auto& lines : lists) {
    for (Handle editor : {state().SitesEditor, state().LinksEditor}) SetText(editor, u"");
    for (const Text& line : lines) {
      for (Handle editor : {state().SitesEditor, state().LinksEditor}) AddLine(editor, -1, line);
    }
    SetText(state().LinkField, u"https://duckduckgo.com/");
    driver_->ProcessPending();
    for (int i = 0; i < 5; ++i) {
      Sleep(20);
      driver_->ProcessPending();
    }
    for (Handle editor : {state().SitesEditor, state().LinksEditor}) {
      HWND window = AsHwnd(editor);
      POINT scrolled{};
      SendMessageW(window, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrolled));
      EXPECT_EQ(scrolled.x, 0) << lines.size() << " lines";
      RECT client{};
      GetClientRect(window, &client);
      LRESULT last_start = SendMessageW(window, EM_LINEINDEX, lines.size() - 1, 0);
      POINTL at{};
      SendMessageW(window, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), last_start);
      EXPECT_TRUE(at.x >= 0 && at.x < client.right && at.y >= 0 && at.y < client.bottom)
          << lines.size() << " lines: the last line's start at " << at.x << "," << at.y;
    }
  }
}

TEST_F(Win32MainWindow, TheLinkFieldHasASunkenEdgeAndTakesAtMostAMebicharacter) {
  HWND field = AsHwnd(state().LinkField);
  EXPECT_NE(ExStyleOf(field) & WS_EX_CLIENTEDGE, 0);
  EXPECT_EQ(SendMessageW(field, EM_GETLIMITTEXT, 0, 0), 1048576);
  EXPECT_EQ(StyleOf(field) & (ES_MULTILINE | ES_PASSWORD | ES_READONLY), 0);

  // The limit holds for typing: a full field takes no more.
  Text full(1048576, u'a');
  SetText(state().LinkField, full);
  driver_->Type(state().LinkField, u"b");
  EXPECT_EQ(win32().TextLength(state().LinkField), 1048576);
  EXPECT_EQ(GetText(state().LinkField).back(), u'a');
  // And for a paste, cut at the limit.
  SetText(state().LinkField, full.substr(1));
  SetClipboardText(u"\r\n");
  SendMessageW(field, EM_SETSEL, 1048575, 1048575);
  SendMessageW(field, WM_PASTE, 0, 0);
  EXPECT_EQ(GetText(state().LinkField).substr(1048574), u"a\r");
}

TEST_F(Win32MainWindow, EveryControlUsesTheProgramsFont) {
  ASSERT_NE(state().ControlFont, 0u);
  for (Handle control : {state().SitesLabel, state().LinksLabel, state().LinkField, state().TestLinkButton,
                         state().SaveAllButton}) {
    EXPECT_EQ(static_cast<Handle>(SendMessageW(AsHwnd(control), WM_GETFONT, 0, 0)), state().ControlFont);
  }
  for (Handle editor : {state().SitesEditor, state().LinksEditor}) {
    EXPECT_EQ(win32().AppliedFont(editor), state().ControlFont);
  }
}

TEST_F(Win32MainWindow, TheMessageFontIsANewObjectMadeFromTheNonClientMetrics) {
  Handle first = win32().MessageFont();
  Handle second = win32().MessageFont();
  ASSERT_NE(first, 0u);
  EXPECT_NE(first, second) << "each call makes a font the caller keeps";
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = 500;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 500, &metrics, 0));
  LOGFONTW made{};
  ASSERT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(first), sizeof(made), &made),
            static_cast<int>(sizeof(made)));
  EXPECT_EQ(std::wstring(made.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));
  EXPECT_EQ(made.lfHeight, metrics.lfMessageFont.lfHeight);
  EXPECT_EQ(win32().DefaultGuiFont(), AsHandle(GetStockObject(DEFAULT_GUI_FONT)));
  DeleteObject(reinterpret_cast<HGDIOBJ>(first));
  DeleteObject(reinterpret_cast<HGDIOBJ>(second));
}

TEST_F(Win32MainWindow, EditorTextSpeaksLineFeedsWhileTheControlKeepsCarriageReturns) {
  struct Case {
    const char* name;
    Text set;
    Text read;
  };
  const Case cases[] = {
      {"line feeds", u"a\nb\nc", u"a\nb\nc"},
      {"CR LF pairs become one break", u"a\r\nb", u"a\nb"},
      {"a break at the end", u"a\n", u"a\n"},
      {"only breaks", u"\n\n", u"\n\n"},
      {"surrogate pair", u"\U0001F600\nx", u"\U0001F600\nx"},
      {"empty", u"", u""},
  };
  for (const Case& c : cases) {
    win32().SetText(state().SitesEditor, c.set);
    EXPECT_EQ(win32().GetText(state().SitesEditor), c.read) << c.name;
    EXPECT_EQ(win32().TextLength(state().SitesEditor), static_cast<std::int64_t>(c.read.size())) << c.name;
    // Inside the control a break is a single carriage return.
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    std::wstring raw(c.read.size() + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>(raw.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    LRESULT n = SendMessageW(AsHwnd(state().SitesEditor), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                             reinterpret_cast<LPARAM>(raw.data()));
    raw.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(raw.find(L'\n'), std::wstring::npos) << c.name;
    EXPECT_EQ(
        SendMessageW(AsHwnd(state().SitesEditor), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0),
        static_cast<LRESULT>(c.read.size()))
        << c.name;
  }
}

TEST_F(Win32MainWindow, AppendingIsOneUndoableStepThatLeavesTheCaretAfterTheText) {
  HWND editor = AsHwnd(state().LinksEditor);
  win32().AppendText(state().LinksEditor, u"first");
  win32().AppendText(state().LinksEditor, u"\nsecond\nthird");
  EXPECT_EQ(win32().GetText(state().LinksEditor), u"first\nsecond\nthird");
  CHARRANGE selection{};
  SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  EXPECT_EQ(selection.cpMin, 18);
  EXPECT_EQ(selection.cpMax, 18);
  EXPECT_TRUE(SendMessageW(editor, EM_CANUNDO, 0, 0));
  driver_->Click(state().LinksEditor);
  driver_->PressKey(Key::kUndo);
  EXPECT_EQ(win32().GetText(state().LinksEditor), u"first") << "the second append came off whole";
  driver_->PressKey(Key::kUndo);
  EXPECT_EQ(win32().GetText(state().LinksEditor), u"");
}

TEST_F(Win32MainWindow, TheUserCanTypeIntoAnEditorHoldingMoreThanTheRichEditDefaultLimit) {
  Text big(40000, u'x');
  win32().AppendText(state().SitesEditor, big);
  ASSERT_EQ(win32().TextLength(state().SitesEditor), 40000);
  driver_->Type(state().SitesEditor, u"yz");
  EXPECT_EQ(win32().TextLength(state().SitesEditor), 40002);
  EXPECT_EQ(win32().GetText(state().SitesEditor).substr(40000), u"yz");
}

TEST_F(Win32MainWindow, CtrlASelectsTheWholeLinkField) {
  driver_->Type(state().LinkField, u"https://example.org/");
  driver_->PressKey(Key::kSelectAllDelete);
  EXPECT_EQ(win32().GetText(state().LinkField), u"");
}

TEST_F(Win32MainWindow, TopLevelWindowsListsTheMainWindowButNotTheHiddenPostWindow) {
  bool found_main = false;
  for (const TopLevelWindow& w : win32().TopLevelWindows()) {
    EXPECT_NE(AsHwnd(w.window), win32().PostWindow());
    DWORD process = 0;
    GetWindowThreadProcessId(AsHwnd(w.window), &process);
    EXPECT_EQ(process, GetCurrentProcessId()) << "only this process's windows";
    if (w.window == state().MainWindow) {
      found_main = true;
      EXPECT_EQ(w.thread, win32().CurrentThreadId());
      EXPECT_TRUE(w.visible);
    }
  }
  EXPECT_TRUE(found_main);
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"VerawayEditPosted", nullptr), win32().PostWindow())
      << "a message-only window";
}

TEST_F(Win32MainWindow, SettingAlwaysOnTopNeitherMovesNorResizesNorActivates) {
  HWND window = AsHwnd(state().MainWindow);
  RECT before{};
  GetWindowRect(window, &before);
  for (bool topmost : {true, false, true, false}) {
    win32().SetTopmost(state().MainWindow, topmost);
    EXPECT_EQ(win32().IsTopmost(state().MainWindow), topmost);
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "topmost " << topmost;
  }
}

// Handles of nothing at all are the contract suite's; here, windows that are not the program's controls.
TEST_F(Win32MainWindow, WindowsThatAreNotControlsReadAsNothingAndIgnoreWrites) {
  for (Handle h : {AsHandle(GetDesktopWindow()), AsHandle(win32().PostWindow())}) {
    win32().SetText(h, u"x");
    win32().AppendText(h, u"x");
    EXPECT_EQ(win32().GetText(h), u"");
    EXPECT_EQ(win32().TextLength(h), 0);
    EXPECT_EQ(win32().TextRevision(h), 0u);
  }
  EXPECT_FALSE(win32().BelongsToThisProcess(AsHandle(GetDesktopWindow())));
  EXPECT_EQ(win32().PromptAccelerators(0x12345), nullptr);
}

// --- Notifications, as the sink gets them from a bare back end.

class Recorder final : public EventSink {
 public:
  struct Call {
    std::string what;
    Handle control = 0;
    Handle window = 0;
    std::int64_t value = 0;
    friend bool operator==(const Call&, const Call&) = default;
  };
  void ControlNotice(Handle control, Handle window, Notice notice) override {
    calls.push_back({"notice", control, window, static_cast<std::int64_t>(notice)});
  }
  void CloseRequested(Handle window) override { calls.push_back({"close", 0, window, 0}); }
  void PostedArrived(std::int64_t code) override { calls.push_back({"posted", 0, 0, code}); }
  bool Saw(const Call& call) const {
    for (const Call& c : calls) {
      if (c == call) return true;
    }
    return false;
  }
  std::vector<Call> calls;
};

class Win32Notifications : public ::testing::Test {
 protected:
  Win32Notifications() : driver_(MakeDriver()), p_(static_cast<Win32Platform&>(driver_->platform())) {}
  void SetUp() override {
    p_.SetSink(&sink_);
    font_ = p_.DefaultGuiFont();
    main_ = p_.CreateMainWindow(u"test", {0, 0, 400, 300});
    panel_ = p_.CreateControl(ControlKind::kPanel, main_, {8, 8, 380, 280}, u"", font_);
    editor_ = p_.CreateControl(ControlKind::kEditor, panel_, {0, 0, 200, 100}, u"", font_);
    field_ = p_.CreateControl(ControlKind::kField, panel_, {0, 110, 200, 25}, u"", font_);
    button_ = p_.CreateControl(ControlKind::kButton, panel_, {0, 140, 100, 25}, u"Press", font_);
    driver_->ProcessPending();
    sink_.calls.clear();
  }
  void TearDown() override { p_.SetSink(nullptr); }

  using Call = Recorder::Call;
  static Call Notice(Handle control, Handle window, vw::Notice notice) {
    return {"notice", control, window, static_cast<std::int64_t>(notice)};
  }

  std::unique_ptr<Driver> driver_;
  Win32Platform& p_;
  Recorder sink_;
  Handle font_ = 0, main_ = 0, panel_ = 0, editor_ = 0, field_ = 0, button_ = 0;
};

TEST_F(Win32Notifications, EachNativeNotificationReachesTheSinkFromItsControlAndTheMainWindow) {
  struct Case {
    const char* name;
    std::function<void()> act;
    std::function<Call()> expected;
  };
  const Case cases[] = {
      {"button click", [&] { driver_->Click(button_); },
       [&] { return Notice(button_, main_, vw::Notice::kPressed); }},
      {"editor gains the focus", [&] { driver_->Click(editor_); },
       [&] { return Notice(editor_, main_, vw::Notice::kFocusGained); }},
      {"typing into the editor", [&] { driver_->Type(editor_, u"a"); },
       [&] { return Notice(editor_, main_, vw::Notice::kChanged); }},
      {"editor loses the focus", [&] { driver_->Click(field_); },
       [&] { return Notice(editor_, main_, vw::Notice::kFocusLost); }},
      {"field gains the focus",
       [&] {
         driver_->Click(button_);
         driver_->Click(field_);
       },
       [&] { return Notice(field_, main_, vw::Notice::kFocusGained); }},
      {"typing into the field", [&] { driver_->Type(field_, u"a"); },
       [&] { return Notice(field_, main_, vw::Notice::kChanged); }},
      {"the program sets the editor", [&] { p_.SetText(editor_, u"x"); },
       [&] { return Notice(editor_, main_, vw::Notice::kChanged); }},
      {"the program sets the field", [&] { p_.SetText(field_, u"y"); },
       [&] { return Notice(field_, main_, vw::Notice::kChanged); }},
      {"close box", [&] { driver_->CloseBox(main_); },
       [&] {
         return Call{"close", 0, main_, 0};
       }},
      {"WM_CLOSE", [&] { SendMessageW(AsHwnd(main_), WM_CLOSE, 0, 0); },
       [&] {
         return Call{"close", 0, main_, 0};
       }},
      {"posted code", [&] { p_.PostToSelf(13116); },
       [&] {
         return Call{"posted", 0, 0, 13116};
       }},
  };
  for (const Case& c : cases) {
    sink_.calls.clear();
    c.act();
    driver_->ProcessPending();
    EXPECT_TRUE(sink_.Saw(c.expected())) << c.name;
    EXPECT_TRUE(IsWindowVisible(AsHwnd(main_))) << c.name << ": nothing closes the window";
  }
}

TEST_F(Win32Notifications, AltF4AsksToCloseAndClosesNothing) {
  BYTE saved[256];
  GetKeyboardState(saved);
  BYTE held[256];
  std::memcpy(held, saved, sizeof(held));
  held[VK_MENU] = held[VK_LMENU] = 0x80;
  SetKeyboardState(held);
  PostMessageW(GetFocus() != nullptr ? GetFocus() : AsHwnd(main_), WM_SYSKEYDOWN, VK_F4,
               static_cast<LPARAM>(1 | (MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC) << 16) | (1u << 29)));
  driver_->ProcessPending();
  SetKeyboardState(saved);
  EXPECT_TRUE(sink_.Saw({"close", 0, main_, 0}));
  EXPECT_TRUE(IsWindowVisible(AsHwnd(main_)));
}

TEST_F(Win32Notifications, PostedCodesKeepAll64Bits) {
  const std::int64_t codes[] = {0, 13116, -1, INT64_MIN, INT64_MAX, (std::int64_t{1} << 40) + 5};
  for (std::int64_t code : codes) {
    sink_.calls.clear();
    ASSERT_TRUE(p_.PostToSelf(code));
    driver_->ProcessPending();
    EXPECT_EQ(sink_.calls, (std::vector<Call>{{"posted", 0, 0, code}})) << code;
  }
}

TEST_F(Win32Notifications, TheRevisionMovesWithEveryChangeByUserOrProgram) {
  std::uint64_t last = p_.TextRevision(editor_);
  const std::function<void()> changes[] = {
      [&] { p_.AppendText(editor_, u"a"); },  [&] { p_.SetText(editor_, u"b"); },
      [&] { driver_->Type(editor_, u"c"); },  [&] { driver_->PressKey(Key::kBackspace); },
      [&] { driver_->PressKey(Key::kUndo); },
  };
  for (const auto& change : changes) {
    change();
    driver_->ProcessPending();
    std::uint64_t now = p_.TextRevision(editor_);
    EXPECT_NE(now, last);
    last = now;
  }
}

TEST_F(Win32Notifications, AMessageBoxIsMessageBoxWWithOneOkButtonAndItsOwnerDisabledMeanwhile) {
  ShownMessageBox shown;
  bool owner_enabled_inside = true;
  HWND owner_of_box = nullptr;
  driver_->WhenWaiting([&] {
    shown = driver_->CurrentMessageBox();
    owner_enabled_inside = IsWindowEnabled(AsHwnd(main_)) != FALSE;
    owner_of_box = GetWindow(AsHwnd(shown.window), GW_OWNER);
    p_.PostToSelf(7);
  });
  driver_->WhenWaiting([&] { driver_->DismissMessageBox(); });
  EXPECT_EQ(p_.MessageBox(main_, u"Title", u"line one\r\nline two"), 1);
  EXPECT_EQ(shown.title, u"Title");
  EXPECT_EQ(shown.text, u"line one\r\nline two");
  EXPECT_EQ(shown.button_count, 1);
  EXPECT_FALSE(shown.has_icon);
  EXPECT_FALSE(owner_enabled_inside);
  EXPECT_EQ(owner_of_box, AsHwnd(main_));
  EXPECT_TRUE(IsWindowEnabled(AsHwnd(main_)));
  EXPECT_TRUE(sink_.Saw({"posted", 0, 0, 7})) << "handled by MessageBoxW's own loop";
}

// The box shows the rows it is given and lies within the screen even when its rows are as wide as the box's
// rule lets them be (MessageBoxW itself centres a box of any width, half off the screen); Ctrl+C and
// Ctrl+Insert there copy its text, which Wine's MessageBoxW does not do on its own.
TEST_F(Win32Notifications, AMessageBoxShowsItsRowsWithinTheScreenAndCtrlCCopiesThem) {
  auto rows = [](const Text& row, int count) {
    Text text = row;
    for (int i = 1; i < count; ++i) text += u"\r\n" + row;
    return text;
  };
  struct Case {
    const char* name;
    Text text;
    UINT copy_key;
  };
  const Case cases[] = {
      {"a short text", u"example.org\r\n\r\nThis is a Safe Link !", 'C'},
      {"30 rows of 100 wide letters", rows(Text(100, u'W'), 30), 'C'},
      {"rows of 100 full-width characters", rows(Text(100, u'\uFF37'), 3), VK_INSERT},
      {"a row wider than the screen, as no rule in this program makes one", Text(320, u'm'), 'C'},
  };
  for (const Case& c : cases) {
    SetClipboardText(u"before");
    ShownMessageBox shown;
    Rect outer, screen = driver_->Screen();
    driver_->WhenWaiting([&] {
      shown = driver_->CurrentMessageBox();
      outer = driver_->OuterRect(shown.window);
      PressWith(*driver_, c.copy_key, VK_CONTROL);
      driver_->DismissMessageBox();
    });
    EXPECT_EQ(p_.MessageBox(main_, u"Site Not Approved", c.text), 1) << c.name;
    EXPECT_EQ(shown.text, c.text) << c.name;
    EXPECT_TRUE(outer.x >= screen.x && outer.y >= screen.y &&
                outer.x + outer.width <= screen.x + screen.width &&
                outer.y + outer.height <= screen.y + screen.height)
        << c.name << ": the box at " << outer.x << "," << outer.y << " size " << outer.width << "x"
        << outer.height;
    EXPECT_EQ(ClipboardText(), c.text) << c.name;
  }
}

// A paste goes through the real clipboard and inserts its plain text at the caret, over the selection only,
// with the editor's line breaks (Wine's rich edit in plain-text mode replaces the whole text on its own).
TEST_F(Win32Notifications, APasteIntoAFilledEditorReplacesTheSelectionOnly) {
  struct Case {
    const char* name;
    Text clipboard;
    std::function<void()> paste;
    Text expected;
  };
  const Case cases[] = {
      {"Ctrl+V on a new last line", u"AA",
       [&] {
         driver_->PressKey(Key::kEnter);
         PressWith(*driver_, 'V', VK_CONTROL);
       },
       u"one\ntwo\nthree\nAA"},
      {"Ctrl+V over a selected line, CR LF pasted", u"AA\r\nBB",
       [&] {
         SendMessageW(p_.Live(editor_), EM_SETSEL, 4, 7);
         PressWith(*driver_, 'V', VK_CONTROL);
       },
       u"one\nAA\nBB\nthree"},
      {"Shift+Insert at the caret, LF pasted", u"x\ny",
       [&] {
         SendMessageW(p_.Live(editor_), EM_SETSEL, 3, 3);
         PressWith(*driver_, VK_INSERT, VK_SHIFT);
       },
       u"onex\ny\ntwo\nthree"},
      {"WM_PASTE", u"z", [&] { SendMessageW(p_.Live(editor_), WM_PASTE, 0, 0); }, u"one\ntwo\nthreez"},
      {"a NUL ends a line, the last one too", Text(u"N1") + u'\0' + u"N2" + u'\0',
       [&] { SendMessageW(p_.Live(editor_), WM_PASTE, 0, 0); }, u"one\ntwo\nthreeN1\nN2\n"},
      {"an empty clipboard over a selection changes nothing", u"",
       [&] {
         OpenClipboard(nullptr);
         EmptyClipboard();
         CloseClipboard();
         SendMessageW(p_.Live(editor_), EM_SETSEL, 0, 3);
         PressWith(*driver_, 'V', VK_CONTROL);
       },
       u"one\ntwo\nthree"},
  };
  for (const Case& c : cases) {
    p_.SetText(editor_, u"one\ntwo\nthree");
    SetClipboardText(c.clipboard);
    driver_->Click(editor_);  // the caret after the last line
    c.paste();
    EXPECT_EQ(p_.GetText(editor_), c.expected) << c.name;
  }
}

// The link field shows what it holds: CR, LF, NUL and the editors' five invisible characters by their
// stand-ins, however they come in; reading the field and copying from it give the real characters. Each case
// acts on "a\u2028c" with the U+2028 (shown as a stand-in) selected; what it changes is one step that Ctrl+Z
// takes back and Ctrl+Y puts again. A stand-in typed as itself reads as the character it shows, as in the Qt
// back end's field.
TEST_F(Win32Notifications, TheLinkFieldShowsStandInsAndGivesTheRealCharacters) {
  const Text start = u"a\u2028c", nul(1, u'\0');
  struct Case {
    const char* name;
    std::function<void()> act;
    Text real;       // GetText afterwards
    Text shown;      // the control's own text afterwards
    Text clipboard;  // afterwards ("before" when nothing was copied)
  };
  const auto paste = [&](const Text& text, UINT vk, UINT modifier) {
    return [=, this] {
      SetClipboardText(text);
      if (vk == 0) {
        SendMessageW(AsHwnd(field_), WM_PASTE, 0, 0);
      } else {
        PressWith(*driver_, vk, modifier);
      }
      SetClipboardText(u"before");
    };
  };
  const auto type = [&](const Text& text) {
    return [=, this] {
      for (char16_t unit : text) PostMessageW(AsHwnd(field_), WM_CHAR, unit, 1);
      driver_->ProcessPending();
    };
  };
  const Case cases[] = {
      {"Ctrl+V of CR LF and NULs", paste(u"x\r\ny" + nul + u"z" + nul, 'V', VK_CONTROL),
       u"ax\r\ny" + nul + u"z" + nul + u"c", u"ax\u240D\u240Ay\u2400z\u2400c", u"before"},
      {"Shift+Insert of separators", paste(u"\u2029\uFDD0\uFDD1\uFFFC", VK_INSERT, VK_SHIFT),
       u"a\u2029\uFDD0\uFDD1\uFFFCc", u"a\u204B\u27E6\u27E7\u2B1Ac", u"before"},
      {"WM_PASTE of a lone CR and LF", paste(u"\rp\n", 0, 0), u"a\rp\nc", u"a\u240Dp\u240Ac", u"before"},
      {"typed separator, typed stand-ins", type(u"\uFFFC\u240A\u21B5"), u"a\uFFFC\n\u2028c",
       u"a\u2B1A\u240A\u21B5c", u"before"},
      {"Ctrl+X copies the real character", [&] { PressWith(*driver_, 'X', VK_CONTROL); }, u"ac", u"ac",
       u"\u2028"},
  };
  for (const Case& c : cases) {
    p_.SetText(field_, start);
    driver_->Click(field_);
    SendMessageW(AsHwnd(field_), EM_SETSEL, 1, 2);
    SetClipboardText(u"before");
    c.act();
    EXPECT_EQ(p_.GetText(field_), c.real) << c.name;
    EXPECT_EQ(win32::WindowText(AsHwnd(field_)), c.shown) << c.name;
    EXPECT_EQ(ClipboardText(), c.clipboard) << c.name;
    PressWith(*driver_, 'Z', VK_CONTROL);
    EXPECT_EQ(p_.GetText(field_), start) << c.name << ", undone";
    PressWith(*driver_, 'Y', VK_CONTROL);
    EXPECT_EQ(p_.GetText(field_), c.real) << c.name << ", redone";
  }
  // Another program's WM_SETTEXT is shown the same way.
  SendMessageW(AsHwnd(field_), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x\r\ny"));
  EXPECT_EQ(win32::WindowText(AsHwnd(field_)), u"x\u240D\u240Ay");
}

// A large paste is the back end's own undo step (Wine's rich edit undoes one of 10,000 lines in minutes); it
// keeps its place among typed steps, for each undo and redo key, and a change after its undo ends its redo.
TEST_F(Win32Notifications, ALargePasteIsOneUndoStepInOrderWithTypedOnes) {
  Text clipboard, pasted;
  for (std::size_t i = 0; i < win32::kOwnUndoLines; ++i) {
    clipboard += u"p\r\n";
    pasted += u"p\n";
  }
  p_.SetText(editor_, u"one\ntwo\nthree");
  SetClipboardText(clipboard);
  driver_->Click(editor_);
  SendMessageW(p_.Live(editor_), EM_SETSEL, 4, 7);
  PressWith(*driver_, 'V', VK_CONTROL);
  const Text before = u"one\ntwo\nthree", after = u"one\n" + pasted + u"\nthree";
  const struct {
    std::string keys;  // typed at the end, or a chord
    Text expected;
  } steps[] = {{"x", after + u"x"}, {"^Z", after},        {"^Z", before},       {"^Y", after},
               {"^Z", before},      {"^+Z", after},       {"y", after + u"y"},  {"^Z", after},
               {"^Z", before},      {"y", before + u"y"}, {"^Y", before + u"y"}};
  for (const auto& step : steps) {
    const std::uint64_t revision = p_.TextRevision(editor_);  // what the program's line model goes by
    const Text was = p_.GetText(editor_);
    if (step.keys[0] != '^') {
      driver_->Type(editor_, Text(step.keys.begin(), step.keys.end()));
    } else {
      PressWith(*driver_, static_cast<UINT>(step.keys.back()), VK_CONTROL,
                step.keys[1] == '+' ? VK_SHIFT : 0);
    }
    if (step.expected != was) {
      EXPECT_NE(p_.TextRevision(editor_), revision) << "after " << step.keys;
    }
    EXPECT_EQ(p_.GetText(editor_), step.expected) << "after " << step.keys;
  }
}

// Keys where rich edit's own handling would make the text differ from what is shown or typed: each starts
// from a text with a selection (anchor, caret), presses its keys, and ends with the text and the clipboard.
// Wine's rich edit steps one UTF-16 unit and past the end of the text; the randomized editing test meets
// these only now and then.
TEST_F(Win32Notifications, EditingKeysKeepCharactersWholeAndCopyWritesPlainText) {
  const Text pair = u"\U0001F600";
  struct Press {
    UINT vk;
    UINT modifier;
  };
  struct Case {
    const char* name;
    Text text;
    LONG anchor, caret;
    std::vector<Press> keys;
    Text expected;
    Text clipboard;  // what the clipboard holds afterwards ("before" when nothing was copied)
  };
  const Case cases[] = {
      {"Backspace after a pair", u"a" + pair, 3, 3, {{VK_BACK, 0}}, u"a", u"before"},
      {"Delete before a pair", pair + u"b", 0, 0, {{VK_DELETE, 0}}, u"b", u"before"},
      {"Shift+Left over a pair, then cut",
       u"a" + pair,
       3,
       3,
       {{VK_LEFT, VK_SHIFT}, {'X', VK_CONTROL}},
       u"a",
       pair},
      {"Shift+Right at the end stays there",
       u"ab",
       2,
       2,
       {{VK_RIGHT, VK_SHIFT}, {VK_LEFT, VK_SHIFT}, {'C', VK_CONTROL}},
       u"ab",
       u"b"},
      {"Ctrl+A ends at the text's end, so Shift+Left takes the last character out",
       u"ab",
       0,
       0,
       {{'A', VK_CONTROL}, {VK_LEFT, VK_SHIFT}, {'C', VK_CONTROL}},
       u"ab",
       u"a"},
      {"Shift+Return", u"s1s2", 2, 2, {{VK_RETURN, VK_SHIFT}}, u"s1\ns2", u"before"},
      {"Ctrl+Return", u"s1s2", 2, 2, {{VK_RETURN, VK_CONTROL}}, u"s1\ns2", u"before"},
      {"copy puts CR LF between lines", u"a\nb", 0, 3, {{VK_INSERT, VK_CONTROL}}, u"a\nb", u"a\r\nb"},
  };
  for (const Case& c : cases) {
    p_.SetText(editor_, c.text);
    SetClipboardText(u"before");
    driver_->Click(editor_);
    SendMessageW(p_.Live(editor_), EM_SETSEL, static_cast<WPARAM>(c.anchor), c.caret);
    for (const Press& key : c.keys) PressWith(*driver_, key.vk, key.modifier);
    EXPECT_EQ(p_.GetText(editor_), c.expected) << c.name;
    EXPECT_EQ(ClipboardText(), c.clipboard) << c.name;
  }
}

// --- The prompt window, driven through PumpPromptMessage with a recording handler.

class PromptRecorder final : public PromptHandler {
 public:
  void PromptCommand(int command) override { commands.push_back(command); }
  void PromptCloseRequested() override { ++close_requests; }
  void PromptActivated() override { ++activations; }
  std::vector<int> commands;
  int close_requests = 0;
  int activations = 0;
};

class Win32Prompt : public Win32Notifications {
 protected:
  Handle Open(bool masked, const Text& default_text = u"") {
    PromptWindowSpec request{u"Title", u"Prompt text", default_text, masked, main_, font_};
    return p_.CreatePromptWindow(request);
  }
  // Runs the prompt's loop until `done` or the steps are used up.
  void Pump(Handle prompt, const std::function<bool()>& done) {
    for (int i = 0; i < 100000 && !done() && IsWindow(AsHwnd(prompt)); ++i) {
      if (!p_.PumpPromptMessage(prompt, handler_)) break;
    }
  }
  PromptRecorder handler_;
};

TEST_F(Win32Prompt, TheWindowIsAnInputRequesterOfFixedSizeCentredOnThePrimaryScreen) {
  Handle prompt = Open(false);
  HWND window = AsHwnd(prompt);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), L"InputRequester");
  EXPECT_EQ(static_cast<UINT>(GetClassLongPtrW(window, GCL_STYLE)),
            static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
  EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0);
  HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(window, GCLP_HCURSOR)), arrow);
  LONG_PTR style = StyleOf(window);
  EXPECT_TRUE(Has(style, WS_VISIBLE | WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD), 0);
  // Created with extended style 0; the system adds the window edge that every captioned window gets.
  EXPECT_EQ(ExStyleOf(window) & ~static_cast<LONG_PTR>(WS_EX_WINDOWEDGE), 0);
  EXPECT_EQ(GetWindow(window, GW_OWNER), AsHwnd(main_));
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 250);
  EXPECT_EQ(outer.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 70);
  EXPECT_EQ(outer.right - outer.left, 500);
  EXPECT_EQ(outer.bottom - outer.top, 140);
  EXPECT_EQ(GetForegroundWindow(), window);
  p_.DestroyPromptWindow(prompt);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Win32Prompt, ItsChildrenHaveTheirClassesStylesAndIdentifiers) {
  for (bool masked : {false, true}) {
    Handle prompt = Open(masked);
    HWND window = AsHwnd(prompt);
    HWND label = AsHwnd(driver_->PromptLabel(prompt));
    HWND field = GetDlgItem(window, 10);
    HWND ok = GetDlgItem(window, 1000);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(field, nullptr);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(lstrcmpiW(ClassOf(label).c_str(), L"STATIC"), 0);
    EXPECT_EQ(StyleOf(label) & SS_TYPEMASK, SS_LEFTNOWORDWRAP);
    EXPECT_EQ(GetDlgCtrlID(label), 0);
    EXPECT_EQ(lstrcmpiW(ClassOf(field).c_str(), L"EDIT"), 0);
    EXPECT_TRUE(Has(StyleOf(field), WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL));
    EXPECT_EQ((StyleOf(field) & ES_PASSWORD) != 0, masked);
    EXPECT_NE(ExStyleOf(field) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(lstrcmpiW(ClassOf(ok).c_str(), L"BUTTON"), 0);
    EXPECT_TRUE(Has(StyleOf(ok), WS_CHILD | WS_VISIBLE | WS_TABSTOP));
    EXPECT_EQ(StyleOf(ok) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    wchar_t caption[8] = {};
    GetWindowTextW(ok, caption, 8);
    EXPECT_EQ(std::wstring(caption), L"OK");
    for (HWND child : {label, field, ok}) {
      EXPECT_EQ(static_cast<Handle>(SendMessageW(child, WM_GETFONT, 0, 0)), font_);
    }
    // No limit of its own: the field keeps the limit an untouched edit control has.
    HWND reference = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 10, 10,
                                     window, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(SendMessageW(field, EM_GETLIMITTEXT, 0, 0), SendMessageW(reference, EM_GETLIMITTEXT, 0, 0));
    DestroyWindow(reference);
    p_.DestroyPromptWindow(prompt);
  }
}

TEST_F(Win32Prompt, TheDefaultTextIsInTheFocusedFieldWithTheCaretAfterIt) {
  Handle prompt = Open(false, u"default");
  HWND field = GetDlgItem(AsHwnd(prompt), 10);
  EXPECT_EQ(GetFocus(), field);
  EXPECT_EQ(p_.PromptFieldText(prompt), u"default");
  DWORD start = 0, end = 0;
  SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 7u);
  EXPECT_EQ(end, 7u);
  p_.DestroyPromptWindow(prompt);
}

TEST_F(Win32Prompt, TheAcceleratorTableMapsEnterAndEscapeAndGoesWithTheWindow) {
  Handle prompt = Open(false);
  HACCEL table = p_.PromptAccelerators(prompt);
  ASSERT_NE(table, nullptr);
  ACCEL entries[4] = {};
  ASSERT_EQ(CopyAcceleratorTableW(table, entries, 4), 2);
  // Bit 0x80 marks the table's last entry in some versions; it is not a key flag.
  EXPECT_EQ(entries[0].fVirt & 0x7F, FVIRTKEY);
  EXPECT_EQ(entries[0].key, VK_RETURN);
  EXPECT_EQ(entries[0].cmd, 1000);
  EXPECT_EQ(entries[1].fVirt & 0x7F, FVIRTKEY);
  EXPECT_EQ(entries[1].key, VK_ESCAPE);
  EXPECT_EQ(entries[1].cmd, 1001);
  p_.DestroyPromptWindow(prompt);
  EXPECT_EQ(p_.PromptAccelerators(prompt), nullptr);
}

TEST_F(Win32Prompt, KeysAndClicksBecomeCommandsWhicheverControlHasTheFocus) {
  struct Case {
    const char* name;
    std::function<void(Handle prompt)> act;
    std::vector<int> commands;  // the prompt's commands, field notifications (10) left out
    int close_requests;
  };
  const Case cases[] = {
      {"Enter in the field", [&](Handle) { driver_->PressKey(Key::kEnter); }, {1000}, 0},
      {"Escape in the field", [&](Handle) { driver_->PressKey(Key::kEscape); }, {1001}, 0},
      {"Enter on OK",
       [&](Handle) {
         driver_->PressKey(Key::kTab);
         driver_->PressKey(Key::kEnter);
       },
       {1000},
       0},
      {"Escape on OK",
       [&](Handle) {
         driver_->PressKey(Key::kTab);
         driver_->PressKey(Key::kEscape);
       },
       {1001},
       0},
      {"Space on OK",
       [&](Handle) {
         driver_->PressKey(Key::kShiftTab);
         driver_->PressKey(Key::kSpace);
       },
       {1000},
       0},
      {"click on OK", [&](Handle w) { driver_->Click(driver_->PromptOkButton(w)); }, {1000}, 0},
      {"close box", [&](Handle w) { driver_->CloseBox(w); }, {}, 1},
  };
  for (const Case& c : cases) {
    handler_.commands.clear();
    handler_.close_requests = 0;
    Handle prompt = Open(false);
    bool acted = false;
    driver_->WhenWaiting([&] {
      c.act(prompt);
      acted = true;
    });
    Pump(prompt, [&] { return acted; });
    std::vector<int> commands;
    for (int command : handler_.commands) {
      if (command != kPromptFieldId) commands.push_back(command);
    }
    EXPECT_EQ(commands, c.commands) << c.name;
    EXPECT_EQ(handler_.close_requests, c.close_requests) << c.name;
    EXPECT_TRUE(IsWindow(AsHwnd(prompt))) << c.name << ": the back end closes nothing itself";
    p_.DestroyPromptWindow(prompt);
    driver_->ProcessPending();
  }
}

TEST_F(Win32Prompt, TypingIntoTheFieldIsAnotherCommandAndTheTextIsReadExactly) {
  Handle prompt = Open(false);
  bool acted = false;
  driver_->WhenWaiting([&] {
    driver_->Type(driver_->PromptField(prompt), u" p\u00e4ss ");
    acted = true;
  });
  Pump(prompt, [&] { return acted; });
  EXPECT_FALSE(handler_.commands.empty());
  for (int command : handler_.commands) EXPECT_EQ(command, kPromptFieldId);
  EXPECT_EQ(p_.PromptFieldText(prompt), u" p\u00e4ss ");
  p_.DestroyPromptWindow(prompt);
}

TEST_F(Win32Prompt, ActivationIsReportedAndAQuitMessageEndsTheLoop) {
  Handle prompt = Open(false);
  bool switched = false;
  driver_->WhenWaiting([&] {
    driver_->SwitchAwayAndBack(prompt);
    switched = true;
  });
  Pump(prompt, [&] { return switched; });
  EXPECT_GE(handler_.activations, 1);
  PostQuitMessage(0);
  EXPECT_FALSE(p_.PumpPromptMessage(prompt, handler_));
  p_.DestroyPromptWindow(prompt);
}

TEST_F(Win32Prompt, DestroyingThePromptFromInsideItsHandlerIsSafe) {
  class Closer final : public PromptHandler {
   public:
    Closer(Win32Platform& p, Handle prompt) : p_(p), prompt_(prompt) {}
    void PromptCommand(int command) override {
      if (command == kPromptOk) p_.DestroyPromptWindow(prompt_);
    }
    void PromptCloseRequested() override { p_.DestroyPromptWindow(prompt_); }
    void PromptActivated() override { p_.FocusPromptField(prompt_); }

   private:
    Win32Platform& p_;
    Handle prompt_;
  };
  for (bool by_key : {true, false}) {
    Handle prompt = Open(false);
    Closer closer(p_, prompt);
    driver_->WhenWaiting([&] {
      if (by_key) {
        driver_->PressKey(Key::kEnter);
      } else {
        driver_->CloseBox(prompt);
      }
    });
    for (int i = 0; i < 100000 && IsWindow(AsHwnd(prompt)); ++i) {
      if (!p_.PumpPromptMessage(prompt, closer)) break;
    }
    EXPECT_FALSE(IsWindow(AsHwnd(prompt)));
    EXPECT_EQ(p_.PromptAccelerators(prompt), nullptr);
    EXPECT_FALSE(driver_->StepsLeft());
  }
}

// --- Release.

TEST(Win32Release, ReleasingThePlatformRemovesEveryWindowItMade) {
  std::vector<HWND> made;
  {
    Win32Platform p;
    Handle main = p.CreateMainWindow(u"t", {0, 0, 300, 200});
    Handle panel = p.CreateControl(ControlKind::kPanel, main, {8, 8, 280, 180}, u"", 0);
    Handle editor = p.CreateControl(ControlKind::kEditor, panel, {0, 0, 100, 100}, u"", 0);
    Handle prompt = p.CreatePromptWindow({u"t", u"p", u"", false, main, p.DefaultGuiFont()});
    for (Handle h : {main, panel, editor, prompt}) made.push_back(AsHwnd(h));
    made.push_back(p.PostWindow());
    for (HWND w : made) ASSERT_TRUE(IsWindow(w));
  }
  for (HWND w : made) EXPECT_FALSE(IsWindow(w));
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// --- The program's resources, linked into this test as into the program.

TEST(Win32Resources, IconManifestAndVersionAreThereAndTheProcessIsNotResolutionAware) {
  HMODULE self = GetModuleHandleW(nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr) << "icon group 1";
  EXPECT_NE(LoadIconW(self, MAKEINTRESOURCEW(1)), nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr) << "version information";
  HRSRC manifest = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(self, manifest)));
  std::string text(data, SizeofResource(self, manifest));
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_EQ(text.find("<dpiAware"), std::string::npos);
  EXPECT_EQ(text.find("<dpiAwareness"), std::string::npos);
  // Wine reports every process as resolution-aware whatever its manifest says; Windows goes by the manifest.
  bool under_wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!under_wine) {
    EXPECT_FALSE(IsProcessDPIAware());
  }
}

}  // namespace
}  // namespace vw::testing
