// A smoke test of the real veraway-edit.exe (Windows build; under Wine in CI). The program is started in a
// fresh folder and driven from outside, through its windows, as an administrator would drive it: a wrong
// password, then the folder's name; the lists in the editors; one link test; "Save All FIles"; the close
// request. Then the exit code and the bytes of the four files.
//
// Everything crosses the process boundary: window texts are read with WM_GETTEXT (which the system carries
// across processes), clicks are BM_CLICK, and every wait gives up after 30 seconds; the program is then
// ended, so a failure never hangs the suite.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kLimitMs = 30000;
constexpr wchar_t kFolderName[] = L"SmokeLists";
constexpr wchar_t kMainTitle[] = L"Veraway EDIT Approved Links Files";
constexpr int kMessageBoxText = 0xFFFF;  // the static text of a standard message box

// The lists as found: CR LF lines, an empty site entry, and "bücher.example" (C3 BC) as the one entry outside
// ASCII. The backups are stale, so that both replacements show.
const std::string kSites =
    "example.org\r\nb\xC3\xBC"
    "cher.example\r\n\r\nnews.example.com\r\n";
const std::string kLinks = "https://docs.example.net/guide\r\nhttps://example.com/about\r\n";
const std::string kStaleBackup = "stale backup\r\n";

// The program's path as the build gives it; a path of the Linux side is reached through Wine's Z: drive.
std::wstring ProgramPath() {
  std::wstring path = L"" VW_PROGRAM_EXE;
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// Polls `done` every 20 ms; false when it still does not hold after 30 seconds.
bool Within(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(20);
  }
  return true;
}

// SendMessage to a window of the program, never blocked for more than five seconds.
LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND window) {
  auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  auto copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::min(static_cast<std::size_t>(copied), length));
  return text;
}

void SetTextOf(HWND window, const wchar_t* text) {
  Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Rich-edit text with its line breaks (CR LF or CR) as '\n'.
std::wstring Lines(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\r') {
      out += text[i];
    } else {
      out += L'\n';
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    }
  }
  return out;
}

// Class names compare without regard to case, as the system compares them ("RichEdit50W" under Wine).
bool ClassIs(HWND window, const wchar_t* window_class) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return lstrcmpiW(name, window_class) == 0;
}

// A visible top-level window of `process` with this class (or any, for nullptr) and this title (or any).
HWND FindTopLevel(DWORD process, const wchar_t* window_class, const wchar_t* title) {
  struct Search {
    DWORD process;
    const wchar_t* window_class;
    const wchar_t* title;
    HWND found;
  } search{process, window_class, title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM lparam) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lparam);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s.process || !IsWindowVisible(window)) return TRUE;
        if (s.window_class != nullptr && !ClassIs(window, s.window_class)) return TRUE;
        if (s.title != nullptr && TextOf(window) != s.title) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Every descendant of `parent` of this class, left to right on the screen.
std::vector<HWND> Descendants(HWND parent, const wchar_t* window_class) {
  struct Search {
    const wchar_t* window_class;
    std::vector<HWND> found;
  } search{window_class, {}};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM lparam) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lparam);
        if (ClassIs(window, s.window_class)) s.found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  std::sort(search.found.begin(), search.found.end(), [](HWND a, HWND b) {
    RECT ra{}, rb{};
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  return search.found;
}

// Types an answer into a prompt and presses OK, again while that prompt is still open: the prompt is visible
// a moment before its field exists and its loop runs, and a press it gets before then is lost.
bool Answer(HWND prompt, const wchar_t* answer) {
  return Within([&] {
    HWND field = GetDlgItem(prompt, 10);
    HWND ok = GetDlgItem(prompt, 1000);
    if (field != nullptr && ok != nullptr) {
      SetTextOf(field, answer);
      Send(ok, BM_CLICK);
    }
    return !IsWindow(prompt);
  });
}

HWND Button(HWND main, const wchar_t* caption) {
  for (HWND button : Descendants(main, L"Button")) {
    if (TextOf(button) == caption) return button;
  }
  return nullptr;
}

class Win32Smoke : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vw-smoke-" + std::to_string(GetCurrentProcessId()));
    folder_ = root_ / kFolderName;
    fs::remove_all(root_);
    fs::create_directories(folder_);
    Put("TrustFile_SafeSites.txt", kSites);
    Put("TrustFile_SafeLinks.txt", kLinks);
    Put("TrustFile_SafeSites-BK.txt", kStaleBackup);
    Put("TrustFile_SafeLinks-BK.txt", kStaleBackup);
    // An old date on the lists, so that a rewrite with the same bytes still shows.
    old_time_ = fs::last_write_time(folder_ / "TrustFile_SafeSites.txt") - std::chrono::hours(24 * 365);
    fs::last_write_time(folder_ / "TrustFile_SafeSites.txt", old_time_);
    fs::last_write_time(folder_ / "TrustFile_SafeLinks.txt", old_time_);
  }

  void TearDown() override {
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
      }
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void Put(const char* name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  std::string Bytes(const char* name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  bool Start() {
    std::wstring program = ProgramPath();
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder_.wstring().c_str(), &startup, &process_) != FALSE;
  }

  HWND Find(const wchar_t* window_class, const wchar_t* title) const {
    return FindTopLevel(process_.dwProcessId, window_class, title);
  }

  fs::path root_;
  fs::path folder_;
  fs::file_time_type old_time_;
  PROCESS_INFORMATION process_{};
};

TEST_F(Win32Smoke, WrongPasswordThenFolderNameLinkTestSaveAndClose) {
  ASSERT_TRUE(Start()) << "cannot start " << fs::path(ProgramPath()).string() << ", error " << GetLastError();

  // The prompt opens over the main window, which is already shown and is disabled meanwhile.
  HWND prompt = nullptr;
  ASSERT_TRUE(Within([&] { return (prompt = Find(L"InputRequester", nullptr)) != nullptr; }))
      << "no password prompt within 30 s";
  EXPECT_EQ(TextOf(prompt), L"Please Enter Password (Case Sensitive)");
  HWND main = Find(nullptr, kMainTitle);
  ASSERT_NE(main, nullptr) << "the main window is not shown with the prompt";
  EXPECT_FALSE(IsWindowEnabled(main));

  // The folder's name in another letter case is refused: a new prompt with an empty field.
  ASSERT_TRUE(Answer(prompt, L"smokelists")) << "the prompt did not take an answer within 30 s";
  HWND again = nullptr;
  ASSERT_TRUE(Within([&] {
    again = Find(L"InputRequester", nullptr);
    return again != nullptr && GetDlgItem(again, 10) != nullptr;
  })) << "the prompt did not come back after a wrong answer within 30 s";
  EXPECT_EQ(TextOf(GetDlgItem(again, 10)), L"");

  ASSERT_TRUE(Answer(again, kFolderName)) << "the prompt did not take the password within 30 s";

  // Start-up is over when the link field holds the default address and the window is enabled again.
  HWND field = nullptr;
  ASSERT_TRUE(Within([&] {
    std::vector<HWND> fields = Descendants(main, L"Edit");
    field = fields.empty() ? nullptr : fields.front();
    return field != nullptr && !TextOf(field).empty() && IsWindowEnabled(main);
  })) << "the password was not accepted, or the lists did not load, within 30 s";

  RECT client{}, outer{};
  GetClientRect(main, &client);
  GetWindowRect(main, &outer);
  EXPECT_EQ(client.right - client.left, 580);
  EXPECT_EQ(client.bottom - client.top, 718);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);

  std::vector<HWND> editors = Descendants(main, L"RICHEDIT50W");
  ASSERT_EQ(editors.size(), 2u);
  EXPECT_EQ(Lines(TextOf(editors[0])), L"example.org\nb\u00fccher.example\n\nnews.example.com");
  EXPECT_EQ(Lines(TextOf(editors[1])), L"https://docs.example.net/guide\nhttps://example.com/about");

  // One site occurs in the address: one "This Link Found" box naming it.
  SetTextOf(field, L"https://www.b\u00fccher.example/katalog");
  Send(Button(main, L"Test This Link"), BM_CLICK);
  HWND box = nullptr;
  ASSERT_TRUE(Within([&] { return (box = Find(L"#32770", L"This Link Found")) != nullptr; }))
      << "no \"This Link Found\" box within 30 s";
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageBoxText)), L"b\u00fccher.example\r\n\r\nThis is a Safe Link !");
  Send(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  ASSERT_TRUE(Within([&] { return !IsWindow(box) && IsWindowEnabled(main); }))
      << "the box did not close, or the main window stayed disabled, within 30 s";

  Send(Button(main, L"Save All FIles"), BM_CLICK);
  ASSERT_TRUE(Within([&] { return (box = Find(L"#32770", L"Files Saved")) != nullptr; }))
      << "no \"Files Saved\" box within 30 s";
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageBoxText)), L"All files have been saved + including BackUps !");
  Send(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  ASSERT_TRUE(Within([&] { return !IsWindow(box) && IsWindowEnabled(main); }))
      << "the \"Files Saved\" box did not close within 30 s";

  // A close request ends the program with exit code 0; sent, it is handled while the program waits for a
  // message, and must still end the loop.
  Send(main, WM_CLOSE);
  ASSERT_EQ(WaitForSingleObject(process_.hProcess, kLimitMs), WAIT_OBJECT_0)
      << "the program did not end within 30 s of WM_CLOSE";
  DWORD exit_code = 1;
  GetExitCodeProcess(process_.hProcess, &exit_code);
  EXPECT_EQ(exit_code, 0u);

  // Nothing was edited: the lists are rewritten with the same CR LF bytes, and the backups equal them.
  EXPECT_EQ(Bytes("TrustFile_SafeSites.txt"), kSites);
  EXPECT_EQ(Bytes("TrustFile_SafeLinks.txt"), kLinks);
  EXPECT_EQ(Bytes("TrustFile_SafeSites-BK.txt"), kSites);
  EXPECT_EQ(Bytes("TrustFile_SafeLinks-BK.txt"), kLinks);
  EXPECT_GT(fs::last_write_time(folder_ / "TrustFile_SafeSites.txt"), old_time_);
  EXPECT_GT(fs::last_write_time(folder_ / "TrustFile_SafeLinks.txt"), old_time_);
}

}  // namespace
