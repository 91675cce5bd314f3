// Loading a list into an editor of the Win32 back end, run under Wine (or Windows): N lines added one by one
// through the program's own line model (AddLine: each its own undo step) into the sites editor of the real
// main window, then the program's next wait (which shows what was appended: the view brought to the last
// line) and the repaint, then every line read back. A plain program: Google Benchmark is not built for MinGW
// here. Run it as `wine build/mingw/bench/bench_editor_win32.exe [repetitions [largest N]]`; it prints the
// median of the repetitions for each N, and what the editor shows after loading. With a third argument
// `paste` it measures instead a paste of 1,000 and 10,000 lines into the editor, its undo and its redo.
//
// Target: 100,000 lines under 10 s, and a flat cost per line (the 100,000-line figure within 1.5 x of 100 x
// the 1,000-line figure).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/program_state.h"
#include "common/text.h"
#include "platform/win32/win32_internal.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
// after <windows.h>
#include <richedit.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Entry i: "site-0000123.example.org/..." padded to 30 units.
vw::Text Entry(std::size_t i) {
  char number[16];
  std::snprintf(number, sizeof number, "%07zu", i);
  std::string entry = std::string("site-") + number + ".example.org/";
  while (entry.size() < 30) entry += static_cast<char>('a' + (entry.size() * 7 + i) % 26);
  return vw::Utf8ToText(entry);
}

struct Program {
  Program() : scope(platform) { vw::BuildMainWindow(0, 0, 580, 718); }
  vw::ProgramState& state() { return scope.state(); }
  vw::Win32Platform platform;
  vw::ProgramScope scope;
};

struct Run {
  double add = 0;   // the AddLine calls
  double show = 0;  // the next wait and the repaint
  double read = 0;  // LineCount and every LineText
};

struct View {
  bool last_line_in_view = false;
  bool from_left_edge = false;
  bool caret_at_end = false;
  long lines_per_undo = 0;
};

Run LoadOnce(const std::vector<vw::Text>& lines, View* view) {
  Program program;
  vw::Handle editor = program.state().SitesEditor;
  HWND window = reinterpret_cast<HWND>(editor);
  Run run;
  Clock::time_point start = Clock::now();
  for (const vw::Text& line : lines) vw::AddLine(editor, -1, line);
  run.add = Seconds(start);

  start = Clock::now();
  vw::PostEvent(vw::CloseWindowEvent);  // the program goes back to waiting and takes this event
  vw::WaitEvent();
  UpdateWindow(reinterpret_cast<HWND>(program.state().MainWindow));
  run.show = Seconds(start);

  start = Clock::now();
  std::size_t units = 0;
  std::int64_t count = vw::LineCount(editor);
  for (std::int64_t i = 0; i < count; ++i) units += vw::LineText(editor, i).size();
  run.read = Seconds(start);
  if (count != static_cast<std::int64_t>(lines.size()) || units != 30 * lines.size()) {
    std::fprintf(stderr, "wrong text after loading: %lld lines\n", static_cast<long long>(count));
    std::exit(1);
  }

  if (view != nullptr) {
    RECT client{};
    GetClientRect(window, &client);
    auto length = static_cast<LPARAM>(program.platform.TextLength(editor));
    POINTL last{};
    SendMessageW(window, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&last), length);
    LONG first_visible = static_cast<LONG>(SendMessageW(window, EM_GETFIRSTVISIBLELINE, 0, 0));
    LONG last_row = static_cast<LONG>(SendMessageW(window, EM_EXLINEFROMCHAR, 0, length));
    view->last_line_in_view = last.y >= 0 && last.y < client.bottom && first_visible <= last_row;
    view->from_left_edge = GetScrollPos(window, SB_HORZ) == 0;
    CHARRANGE selection{};
    SendMessageW(window, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    view->caret_at_end = selection.cpMin == length && selection.cpMax == length;
    std::int64_t before = vw::LineCount(editor);
    SendMessageW(window, EM_UNDO, 0, 0);
    view->lines_per_undo = static_cast<long>(before - vw::LineCount(editor));
  }
  return run;
}

// --- A message box with a long text: "Site Not Approved" for an address of `length` characters, from the
// call until the box has been laid out and painted and its loop waits (a thread timer's message comes only
// then).
Clock::time_point box_shown;

void CALLBACK CloseTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (!IsWindowVisible(window) || lstrcmpW(name, L"#32770") != 0) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return;
  box_shown = Clock::now();
  KillTimer(nullptr, timer);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

double MessageBoxSeconds(std::size_t length) {
  Program program;
  vw::Text address = u"https://" + vw::Text(length - 8, u'a');
  vw::Text text = address +
                  u"\r\n\r\nThis Site Not yet Approved.\r\n\r\nNAVIGATION CANCELLED .\r\n\r\nPlease make a "
                  u"Request to System Administrator .";
  SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &CloseTheBox);
  Clock::time_point start = Clock::now();
  vw::ShowMessage(u"Site Not Approved", text);
  return std::chrono::duration<double>(box_shown - start).count();
}

// --- Undo and redo of a paste of `n` lines into the empty sites editor: the paste as the administrator
// makes it (WM_PASTE, the back end's own paste: one EM_REPLACESEL, from kOwnUndoLines lines on without the
// control's undo), then EM_UNDO and EM_REDO, each timed until the control has done it.
struct PasteRun {
  double paste = 0, undo = 0, redo = 0;
};

PasteRun PasteUndoRedo(std::size_t n) {
  Program program;
  HWND window = reinterpret_cast<HWND>(program.state().SitesEditor);
  vw::Text text;
  for (std::size_t i = 0; i < n; ++i) text += Entry(i) + u"\r\n";
  std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  if (!OpenClipboard(nullptr)) std::exit(1);
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
  PasteRun run;
  Clock::time_point start = Clock::now();
  SendMessageW(window, WM_PASTE, 0, 0);
  run.paste = Seconds(start);
  if (vw::LineCount(program.state().SitesEditor) != static_cast<std::int64_t>(n) + 1) std::exit(1);
  start = Clock::now();
  SendMessageW(window, EM_UNDO, 0, 0);
  run.undo = Seconds(start);
  if (vw::LineCount(program.state().SitesEditor) != 0) std::exit(1);
  window = program.platform.Live(program.state().SitesEditor);  // undoing may put a new window in its place
  start = Clock::now();
  SendMessageW(window, EM_REDO, 0, 0);
  run.redo = Seconds(start);
  if (vw::LineCount(program.state().SitesEditor) != static_cast<std::int64_t>(n) + 1) std::exit(1);
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  double per_line_1k = 0;
  std::size_t most = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000;
  bool boxes_only = argc > 3 && std::string(argv[3]) == "boxes";
  if (argc > 3 && std::string(argv[3]) == "paste") {  // only the paste, its undo and its redo
    std::printf("%8s %10s %10s %10s\n", "lines", "paste (s)", "undo (s)", "redo (s)");
    for (std::size_t n : {1000u, 10000u}) {
      if (n > most) break;
      std::vector<double> paste, undo, redo;
      for (int r = 0; r < repetitions; ++r) {
        PasteRun run = PasteUndoRedo(n);
        paste.push_back(run.paste);
        undo.push_back(run.undo);
        redo.push_back(run.redo);
      }
      std::printf("%8zu %10.3f %10.3f %10.3f\n", n, Median(paste), Median(undo), Median(redo));
      std::fflush(stdout);
    }
    return 0;
  }
  std::printf("%8s %10s %10s %10s %10s %12s  %s\n", "lines", "add (s)", "show (s)", "load (s)", "read (s)",
              "us per line", "after loading");
  for (std::size_t n : {1000u, 10000u, 100000u}) {
    if (n > most || boxes_only) break;
    std::vector<vw::Text> lines;
    lines.reserve(n);
    for (std::size_t i = 0; i < n; ++i) lines.push_back(Entry(i));
    std::vector<double> add, show, load, read;
    View view;
    for (int r = 0; r < repetitions; ++r) {
      Run run = LoadOnce(lines, r == 0 ? &view : nullptr);
      add.push_back(run.add);
      show.push_back(run.show);
      load.push_back(run.add + run.show);
      read.push_back(run.read);
    }
    double per_line = Median(load) / static_cast<double>(n) * 1e6;
    if (n == 1000) per_line_1k = per_line;
    std::printf("%8zu %10.3f %10.3f %10.3f %10.3f %12.1f  last line %s, %s, caret %s, %ld line(s) per undo",
                n, Median(add), Median(show), Median(load), Median(read), per_line,
                view.last_line_in_view ? "in view" : "NOT in view",
                view.from_left_edge ? "from the left edge" : "scrolled sideways",
                view.caret_at_end ? "after it" : "NOT at the end", view.lines_per_undo);
    if (n != 1000) std::printf(", %.2f x the 1,000-line cost per line", per_line / per_line_1k);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("\n%10s %14s\n", "address", "box shown (s)");
  for (std::size_t length : {200000u, 1100000u}) {
    std::vector<double> shown;
    for (int r = 0; r < repetitions; ++r) shown.push_back(MessageBoxSeconds(length));
    std::printf("%10zu %14.3f\n", length, Median(shown));
    std::fflush(stdout);
  }
  return 0;
}
