// Loading a list into an editor of the Qt back end (offscreen): N lines added one by one through the
// program's own line model (AddLine: the first line plain, every later one "\n" + line, each its own undo
// step until ForgetUndo), then every line read back (LineCount, LineText, which read the editor's text once
// with GetText).
//
// Target on this 2-core machine: 100,000 lines added and read back under 2 s, every added line still
// undoable. After the timed part, one undo step is taken back three times: lines_per_undo shows how many
// lines each took away (1: every added line is its own step).
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "app/link_check.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "app/trust_lists.h"
#include "bench_folder.h"
#include "common/text.h"
#include "platform/qt/qt_internal.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

namespace {

namespace fs = std::filesystem;
using vw::Text;
using vw::qt::QtPlatform;

int g_argc = 1;
char g_name[] = "bench_editor_qt";
char* g_argv[] = {g_name, nullptr};

// Entry i: "site-0000123.example.org/..." padded to `length` units.
Text Entry(std::size_t i, std::size_t length) {
  char number[16];
  std::snprintf(number, sizeof number, "%07zu", i);
  std::string entry = std::string("site-") + number + ".example.org/";
  while (entry.size() < length) entry += static_cast<char>('a' + (entry.size() * 7 + i) % 26);
  entry.resize(length);
  return vw::Utf8ToText(entry);
}

// A program run's state with MainWindow and its controls on the Qt back end (the QApplication is shared).
struct Program {
  Program() : platform(g_argc, g_argv), scope(platform) { vw::BuildMainWindow(0, 0, 580, 718); }
  vw::ProgramState& state() { return scope.state(); }
  // Takes back one undo step `times` times; the lines that went per step.
  double LinesPerUndo(int times) {
    auto* editor = qobject_cast<QPlainTextEdit*>(platform.WidgetOf(state().SitesEditor));
    if (editor == nullptr) return -1;
    std::int64_t before = vw::LineCount(state().SitesEditor);
    for (int i = 0; i < times; ++i) editor->document()->undo();
    return static_cast<double>(before - vw::LineCount(state().SitesEditor)) / times;
  }
  QtPlatform platform;
  vw::ProgramScope scope;
};

void AddLines(vw::Handle editor, const std::vector<Text>& lines) {
  for (const Text& line : lines) vw::AddLine(editor, -1, line);
}

std::size_t ReadLines(vw::Handle editor) {
  std::size_t units = 0;
  std::int64_t count = vw::LineCount(editor);
  for (std::int64_t i = 0; i < count; ++i) units += vw::LineText(editor, i).size();
  return units;
}

std::vector<Text> Lines(std::size_t n) {
  std::vector<Text> lines;
  lines.reserve(n);
  for (std::size_t i = 0; i < n; ++i) lines.push_back(Entry(i, 30));
  return lines;
}

void Check(benchmark::State& state, Program& program, std::size_t lines) {
  if (vw::LineCount(program.state().SitesEditor) != static_cast<std::int64_t>(lines)) {
    state.SkipWithError("wrong line count");
  }
}

// --- Added and read back: the figure the target is about.
void BM_QtAddAndReadLines(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<Text> lines = Lines(n);
  double lines_per_undo = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto program = std::make_unique<Program>();
    state.ResumeTiming();

    AddLines(program->state().SitesEditor, lines);
    program->platform.AttachEditors();  // what the next wait does: the text back on the view, laid out
    benchmark::DoNotOptimize(ReadLines(program->state().SitesEditor));

    state.PauseTiming();
    Check(state, *program, n);
    lines_per_undo = program->LinesPerUndo(3);
    program.reset();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(n);
  state.counters["lines_per_undo"] = lines_per_undo;
}
BENCHMARK(BM_QtAddAndReadLines)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- The two halves on their own.
void BM_QtAddLines(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<Text> lines = Lines(n);
  for (auto _ : state) {
    state.PauseTiming();
    auto program = std::make_unique<Program>();
    state.ResumeTiming();

    AddLines(program->state().SitesEditor, lines);
    program->platform.AttachEditors();

    state.PauseTiming();
    Check(state, *program, n);
    program.reset();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(n);
}
BENCHMARK(BM_QtAddLines)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_QtReadLines(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  Program program;
  AddLines(program.state().SitesEditor, Lines(n));
  for (auto _ : state) {
    state.PauseTiming();
    program.platform.AppendText(program.state().SitesEditor, u"");  // a change, same text: read afresh
    state.ResumeTiming();

    benchmark::DoNotOptimize(ReadLines(program.state().SitesEditor));
  }
  Check(state, program, n);
  state.counters["lines"] = static_cast<double>(n);
}
BENCHMARK(BM_QtReadLines)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// --- The whole load procedure on Qt: a list file of N lines of 30 characters into the sites editor and list.
void BM_QtLoadSites(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) bytes += vw::TextToUtf8(Entry(i, 30)) + "\r\n";
  std::ofstream("TrustFile_SafeSites.txt", std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  for (auto _ : state) {
    state.PauseTiming();
    auto program = std::make_unique<Program>();
    program->state().SitesBackupPending = false;
    state.ResumeTiming();

    vw::LoadSafeSites();
    program->platform.AttachEditors();

    state.PauseTiming();
    if (program->state().SafeSitesList.size() != n) state.SkipWithError("not every line was loaded");
    program.reset();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(n);
}
BENCHMARK(BM_QtLoadSites)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- Loading N lines as the program loads a list (AddLine for each, through the back end's AppendText, then
// ForgetUndo: loading leaves no undo history) against the widget's own one-shot setPlainText of the same
// text, in the same run; both until the text is on the view. rss_mb: resident memory the loaded editor added;
// peak_mb: the process's peak so far (run one benchmark per process to compare it).
std::int64_t ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::int64_t PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_QtLoadLines(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const bool one_shot = state.range(1) == 1;
  const std::vector<Text> lines = Lines(n);
  QString joined;
  if (one_shot) {
    Text text;
    for (std::size_t i = 0; i < n; ++i) text += (i == 0 ? u"" : u"\n") + lines[i];
    joined = QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
  }
  double rss_mb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto program = std::make_unique<Program>();
    QCoreApplication::processEvents();  // the window laid out, as at start before the lists load
    const std::int64_t before = ResidentKb();
    state.ResumeTiming();

    if (one_shot) {
      auto* editor = qobject_cast<QPlainTextEdit*>(program->platform.WidgetOf(program->state().SitesEditor));
      editor->setPlainText(joined);
    } else {
      AddLines(program->state().SitesEditor, lines);
      vw::ForgetUndo(program->state().SitesEditor);  // as the program's load ends: loading is no edit
    }
    program->platform.AttachEditors();
    QCoreApplication::processEvents();  // the first paint

    state.PauseTiming();
    rss_mb = static_cast<double>(ResidentKb() - before) / 1024;
    Check(state, *program, n);
    program.reset();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(n);
  state.counters["rss_mb"] = rss_mb;
  state.counters["peak_mb"] = static_cast<double>(PeakKb()) / 1024;
}
BENCHMARK(BM_QtLoadLines)
    ->ArgNames({"lines", "one_shot"})
    ->Args({200000, 0})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// --- A message box with a long text: "Site Not Approved" for an address of N characters, from the call until
// the box is on the screen and closed again by a timer that fires as soon as it is shown. through_ui:1 is the
// program's way, ShowMessage (ui's rule for long text, then the back end); through_ui:0 gives the back end
// the text as it is (its own bound for a row only).
void BM_QtLongMessageBox(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const bool through_ui = state.range(1) == 1;
  Text address = u"https://";
  while (address.size() < n) address += Entry(address.size(), 30);
  address.resize(n);
  const Text text = address + u"\r\n\r\nThis Site is NOT Approved !";
  Program program;
  for (auto _ : state) {
    QTimer::singleShot(0, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) box->accept();
      }
    });
    if (through_ui) {
      vw::ShowMessage(u"Site Not Approved", text);
    } else {
      program.platform.MessageBox(program.state().MainWindow, u"Site Not Approved", text);
    }
  }
  state.counters["characters"] = static_cast<double>(n);
}
BENCHMARK(BM_QtLongMessageBox)
    ->ArgNames({"characters", "through_ui"})
    ->Args({200000, 0})
    ->Args({1100000, 0})
    ->Args({150, 1})
    ->Args({1048576, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// --- The same box the way the user gets it: an address of N characters pasted into the link field of the
// main window (the field then holds all of it), "Test This Link" as the program does it (the field's text
// read, the link test over the (empty) lists, the box), the box closed again as soon as it is shown. The
// field is painted with its text before the timing starts; the paste itself is not timed.
void BM_QtLongAddressFromField(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  Text address = u"https://";
  while (address.size() < n) address += Entry(address.size(), 30);
  address.resize(n);
  Program program;
  auto* field = qobject_cast<QLineEdit*>(program.platform.WidgetOf(program.state().LinkField));
  if (field == nullptr) {
    state.SkipWithError("no link field");
    return;
  }
  QApplication::clipboard()->setText(
      QString(reinterpret_cast<const QChar*>(address.data()), static_cast<qsizetype>(address.size())));
  field->setFocus();
  field->selectAll();
  field->paste();
  QCoreApplication::processEvents();  // the field painted with the pasted text
  if (static_cast<std::size_t>(field->text().size()) != n)
    state.SkipWithError("the field does not hold it all");
  for (auto _ : state) {
    QTimer::singleShot(0, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) box->accept();
      }
    });
    program.state().LinkUnderTest = vw::GetText(program.state().LinkField);
    vw::CheckLinkInSites();
    QCoreApplication::processEvents();  // the main window painted again after the box
  }
  state.counters["characters"] = static_cast<double>(n);
}
BENCHMARK(BM_QtLongAddressFromField)
    ->ArgNames({"characters"})
    ->Arg(150)
    ->Arg(1048576)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  vw::bench::BenchFolder folder("vw-bench-editor-qt");
  QtPlatform application_owner(g_argc, g_argv);  // creates the QApplication every run shares
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
