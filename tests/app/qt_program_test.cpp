// The whole program on the Qt back end (offscreen): lists written elsewhere, with a byte-order mark and the
// characters Qt's text document cannot keep as they are, load and save back unchanged, each entry one row.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/program_state.h"
#include "platform/driver.h"
#include "platform/qt/qt_internal.h"

namespace vw::testing {
namespace {

namespace fs = std::filesystem;
using qt::QtPlatform;

std::string Lines(const std::vector<Text>& lines) {
  std::string bytes;
  for (const Text& line : lines) bytes += TextToUtf8(line) + "\r\n";
  return bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Rows on the screen for each block of an editor's view.
std::vector<int> RowsPerEntry(QtPlatform& platform, Handle editor) {
  std::vector<int> rows;
  auto* edit = qobject_cast<QPlainTextEdit*>(platform.WidgetOf(editor));
  if (edit == nullptr) return rows;
  for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
    rows.push_back(block.layout() != nullptr ? block.layout()->lineCount() : -1);
  }
  return rows;
}

TEST(QtProgram, ListsWithAByteOrderMarkAndSeparatorsSaveBackUnchangedOneRowPerEntry) {
  const std::string sites = Lines({
      u"\uFEFF",  // nothing but the mark
      u"a\u2029b.example",
      u"\u2028",
      u"x\uFDD0y\uFDD1z",
      u"\uFFFC\uFFFE\uFFFF\u0085\u0001\u001F\u007F",
      u"\u21B5\u204B\u27E6\u27E7\u2B1A\u2E2E\u2E2E\u21B5",  // the stand-ins and the escape as themselves
      u"\U0001F600\U0010FFFF\uE000",
      u"\uFEFFsite.example",
  });
  const std::string links = Lines({u"\uFEFFhttps://x.example/\u2028y", u"last\u2029"});
  const fs::path folder =
      fs::temp_directory_path() / ("vw-qt-" + std::to_string(std::random_device{}())) / "ListsQt";
  fs::create_directories(folder);
  std::ofstream(folder / "TrustFile_SafeSites.txt", std::ios::binary) << sites;
  std::ofstream(folder / "TrustFile_SafeLinks.txt", std::ios::binary) << links;
  const fs::path previous = fs::current_path();
  fs::current_path(folder);

  std::unique_ptr<Driver> driver = MakeDriver();
  Driver& d = *driver;
  auto& qt = static_cast<QtPlatform&>(d.platform());
  std::vector<int> site_rows, link_rows;
  Handle focused_after_prompt = 1;
  Text box_title;
  std::function<void()> answer, save, dismiss, close;
  answer = [&] {
    Handle prompt = qt.ForegroundWindow();
    if (d.PromptField(prompt) == 0) return d.WhenWaiting(answer);
    d.Type(d.PromptField(prompt), u"ListsQt");
    d.PressKey(Key::kEnter);
    d.WhenWaiting(save);
  };
  save = [&] {
    ProgramState& s = State();
    site_rows = RowsPerEntry(qt, s.SitesEditor);
    link_rows = RowsPerEntry(qt, s.LinksEditor);
    focused_after_prompt = d.Focused();
    for (Handle control : {s.SitesEditor, s.LinksEditor, s.LinkField, s.TestLinkButton, s.SaveAllButton}) {
      if (focused_after_prompt == control) ADD_FAILURE() << "a control has the focus after the prompt";
    }
    d.PressKey(Key::kEnter);  // a second Enter: types nothing anywhere
    d.Click(s.SaveAllButton);
    d.WhenWaiting(dismiss);
  };
  dismiss = [&] {
    ShownMessageBox box = d.CurrentMessageBox();
    if (box.window == 0) return d.WhenWaiting(dismiss);
    box_title = box.title;
    d.DismissMessageBox();
    d.WhenWaiting(close);
  };
  close = [&] { d.CloseBox(State().MainWindow); };
  d.WhenWaiting(answer);
  EXPECT_EQ(RunProgram(d.platform()), 0);

  EXPECT_EQ(box_title, u"Files Saved");
  EXPECT_EQ(site_rows, std::vector<int>(8, 1));
  EXPECT_EQ(link_rows, std::vector<int>(2, 1));
  EXPECT_EQ(ReadFile(folder / "TrustFile_SafeSites.txt"), sites);
  EXPECT_EQ(ReadFile(folder / "TrustFile_SafeLinks.txt"), links);
  EXPECT_EQ(ReadFile(folder / "TrustFile_SafeSites-BK.txt"), sites);
  EXPECT_EQ(ReadFile(folder / "TrustFile_SafeLinks-BK.txt"), links);
  driver.reset();
  fs::current_path(previous);
  fs::remove_all(folder.parent_path());
}

}  // namespace
}  // namespace vw::testing
