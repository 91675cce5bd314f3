// Start-up, the event loop and the end of the program: closing the window, pressing each button twice,
// quitting at the password prompt, and what start-up leaves in the window and in the event queue.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "app/main_window.h"
#include "app/program_fixture.h"
#include "app/program_state.h"
#include "ui/controls.h"

namespace vw::testing {
namespace {

// Lists with LF line ends, so that any save shows in their bytes, and backups left by an earlier run.
const ListFiles kStart{
    .sites = "alpha.example\nbeta.example\n",
    .links = "https://gamma.example/page\n",
    .sites_backup = "stale sites backup\r\n",
    .links_backup = "stale links backup\r\n",
};

// kStart once loaded: each backup replaced by a copy of its list file as found.
const ListFiles kLoaded{
    .sites = kStart.sites,
    .links = kStart.links,
    .sites_backup = kStart.sites,
    .links_backup = kStart.links,
};

class StartAndClose : public ::testing::Test {
 protected:
  ListsFolder folder_;
};

TEST_F(StartAndClose, CloseBoxEndsTheProgramAtOnceWithoutSavingOrAsking) {
  folder_.Put(kStart);
  Session run;
  run.user()
      .Answers(folder_.Password())
      .TypesInto(Editor::kSites, u"\nnew.example")
      .TypesInto(Editor::kLinks, u"\thttps://new.example/")
      .EntersLink(u"https://typed.example/")
      .MovesTheFocusAround()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt()}));
  EXPECT_EQ(folder_.Files(), kLoaded);
  // The edits reached the window, and nothing else.
  EXPECT_EQ(run.EditorText(Editor::kSites), u"alpha.example\nbeta.example\nnew.example");
  EXPECT_EQ(run.EditorText(Editor::kLinks), u"https://gamma.example/page\thttps://new.example/");
}

TEST_F(StartAndClose, TwoPressesOfEachButtonRunTwoWholeActions) {
  folder_.Put(kStart);
  const ListFiles after_first_save{
      .sites = "alpha.example\r\nbeta.example\r\n",
      .links = "https://gamma.example/page\r\n",
      .sites_backup = "alpha.example\r\nbeta.example\r\n",
      .links_backup = "https://gamma.example/page\r\n",
  };
  Session run;
  run.user()
      .Answers(folder_.Password())
      .EntersLink(u"https://beta.example/x")
      .PressesTestThisLink()
      .ClicksOk()
      .PressesTestThisLink()
      .ClicksOk()
      .PressesSaveAllFiles()
      .ClicksOk()
      .Meanwhile("looks at the files after the first save",
                 [&] { EXPECT_EQ(folder_.Files(), after_first_save); })
      .TypesInto(Editor::kSites, u"\ndelta.example")
      .PressesSaveAllFiles()
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), LinkFound(u"beta.example"),
                                       LinkFound(u"beta.example"), FilesSaved(), FilesSaved()}));
  EXPECT_EQ(folder_.Files(), (ListFiles{
                                 .sites = "alpha.example\r\nbeta.example\r\ndelta.example\r\n",
                                 .links = "https://gamma.example/page\r\n",
                                 .sites_backup = "alpha.example\r\nbeta.example\r\ndelta.example\r\n",
                                 .links_backup = "https://gamma.example/page\r\n",
                             }));
}

// A press of "Save All FIles" and then the close box, both before the program next looks at its queue: the
// press comes first, so the lists are saved before the program ends.
TEST_F(StartAndClose, APressThenTheCloseBoxInOneGoSavesBeforeTheEnd) {
  folder_.Put(kStart);
  Session run;
  HeadlessPlatform& p = run.platform();
  run.user()
      .Answers(folder_.Password())
      .Meanwhile("presses \"Save All FIles\", then the close box, in one go",
                 [&] {
                   p.UserClick(p.FindButton(u"Save All FIles"));
                   p.UserCloseBox(p.ParentOf(p.FindControl(ControlKind::kPanel, 0)));
                 })
      .ClicksOk();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), FilesSaved()}));
  EXPECT_EQ(folder_.Files(), (ListFiles{
                                 .sites = "alpha.example\r\nbeta.example\r\n",
                                 .links = "https://gamma.example/page\r\n",
                                 .sites_backup = "alpha.example\r\nbeta.example\r\n",
                                 .links_backup = "https://gamma.example/page\r\n",
                             }));
}

TEST_F(StartAndClose, TheLinkFieldStartsWithTheDefaultAddress) {
  folder_.Put(kStart);
  Session run;
  run.user().Answers(folder_.Password()).PressesTestThisLink().ClicksOk().ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.LinkFieldText(), u"https://duckduckgo.com/");
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), SiteNotApproved(u"https://duckduckgo.com/")}));
  EXPECT_EQ(folder_.Files(), kLoaded);
}

// Quitting at the prompt: both lists still load (a missing one still reports itself) and both backups are
// made; then the program ends before any button press is handled.
struct QuitCase {
  const char* name;
  const char16_t* quit_word;
  ListFiles start;
  Dialogs after_prompt;  // the load's messages, each closed with OK
  ListFiles end;
  const char16_t* sites_editor;
  const char16_t* links_editor;
  friend void PrintTo(const QuitCase& c, std::ostream* os) { *os << c.name; }
};

class QuitAtThePrompt : public ::testing::TestWithParam<QuitCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(QuitAtThePrompt, StillLoadsAndBacksUpThenEnds) {
  const QuitCase& c = GetParam();
  folder_.Put(c.start);
  Session run;
  run.user().Answers(c.quit_word).ClicksOk(static_cast<int>(c.after_prompt.size()));
  // The program ends on its own: this press is never handled.
  run.user().PressesSaveAllFiles().ClicksOk();

  EXPECT_EQ(run.Run(/*steps_left=*/2), 0);
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.after_prompt);
  EXPECT_EQ(folder_.Files(), c.end);
  EXPECT_EQ(run.EditorText(Editor::kSites), c.sites_editor);
  EXPECT_EQ(run.EditorText(Editor::kLinks), c.links_editor);
}

INSTANTIATE_TEST_SUITE_P(
    Program, QuitAtThePrompt,
    ::testing::Values(
        QuitCase{"BothFiles",
                 u"Quit",
                 kStart,
                 {},
                 kLoaded,
                 u"alpha.example\nbeta.example",
                 u"https://gamma.example/page"},
        QuitCase{"SitesFileMissing",
                 u"quit",
                 {.links = "l.example\r\n"},
                 {SitesFileMissing()},
                 {.links = "l.example\r\n", .links_backup = "l.example\r\n"},
                 u"",
                 u"l.example"},
        QuitCase{"LinksFileMissing",
                 u"Exit",
                 {.sites = "s.example\r\n"},
                 {LinksFileMissing()},
                 {.sites = "s.example\r\n", .sites_backup = "s.example\r\n"},
                 u"s.example",
                 u""},
        QuitCase{"BothFilesMissing", u"exit", {}, {SitesFileMissing(), LinksFileMissing()}, {}, u"", u""},
        QuitCase{
            "SitesFileMissingWithAnOldBackup",
            u"Quit",
            {.links = "l.example\r\n", .sites_backup = "old.example\r\n"},
            {SitesFileMissing()},
            {.links = "l.example\r\n", .sites_backup = "old.example\r\n", .links_backup = "l.example\r\n"},
            u"",
            u"l.example"}),
    [](const ::testing::TestParamInfo<QuitCase>& tested) { return std::string(tested.param.name); });

// Start-up looked at from inside: what the window and the lists hold once OpenMainWindow returns, and that
// none of the program's own changes (loading, the default address) left an event for the loop.
class StartUpFromInside : public ::testing::Test {
 protected:
  ListsFolder folder_;
};

TEST_F(StartUpFromInside, EveryLineLoadsAndProgramChangesQueueNoEvent) {
  // Six lines, three of them empty; the last has no line end.
  folder_.Put({.sites = "one.example\n\n\nfour.example\r\n\rsix.example", .links = "\r\nl.example\r\n"});
  HeadlessPlatform platform;
  Administrator user(platform);
  user.Answers(folder_.Password());
  ProgramScope scope(platform);
  ProgramState& s = scope.state();

  OpenMainWindow(0, 0, 580, 718);

  EXPECT_EQ(user.StepsTaken(), 1u);
  EXPECT_EQ(s.toolkit.events.Waiting(), 0u);
  EXPECT_EQ(GetText(s.LinkField), u"https://duckduckgo.com/");

  const std::vector<Text> sites = {u"one.example", u"", u"", u"four.example", u"", u"six.example"};
  ASSERT_EQ(LineCount(s.SitesEditor), 6);
  ASSERT_EQ(s.SafeSitesList.size(), 6u);
  for (std::size_t i = 0; i < sites.size(); ++i) {
    EXPECT_EQ(LineText(s.SitesEditor, static_cast<std::int64_t>(i)), sites[i]) << "line " << i;
    EXPECT_EQ(Text(s.SafeSitesList[i]), sites[i]) << "entry " << i;
  }
  ASSERT_EQ(LineCount(s.LinksEditor), 2);
  ASSERT_EQ(s.SafeLinksList.size(), 2u);
  EXPECT_EQ(Text(s.SafeLinksList[0]), u"");
  EXPECT_EQ(Text(s.SafeLinksList[1]), u"l.example");
  EXPECT_EQ(GetText(s.LinksEditor), u"\nl.example");
}

TEST_F(StartUpFromInside, AfterAQuitTheCloseEventIsTheOnlyOneWaiting) {
  // The missing links file's message box handles the posted close while it is open.
  folder_.Put({.sites = "one.example\r\ntwo.example\r\n"});
  HeadlessPlatform platform;
  Administrator user(platform);
  user.Answers(u"Quit").ClicksOk();
  ProgramScope scope(platform);
  ProgramState& s = scope.state();

  OpenMainWindow(0, 0, 580, 718);

  EXPECT_EQ(user.StepsTaken(), 2u);
  EXPECT_EQ(platform.Transcript(), (Dialogs{PasswordPrompt(), LinksFileMissing()}));
  std::vector<std::int64_t> waiting;
  while (s.toolkit.events.Waiting() > 0) waiting.push_back(WaitEvent());
  EXPECT_EQ(waiting, std::vector<std::int64_t>{CloseWindowEvent});
  EXPECT_EQ(GetText(s.SitesEditor), u"one.example\ntwo.example");
  EXPECT_EQ(GetText(s.LinkField), u"https://duckduckgo.com/");
}

// One font for every control: the message-box font, else (where the platform has none) the default GUI font.
TEST(MainWindowFont, WithoutAMessageFontEveryControlGetsTheDefaultGuiFont) {
  HeadlessPlatform::Options options;
  options.message_font_available = false;
  HeadlessPlatform platform(options);
  ProgramScope scope(platform);
  ProgramState& s = scope.state();
  BuildMainWindow(0, 0, 580, 718);
  EXPECT_EQ(s.ControlFont, platform.DefaultGuiFont());
  for (Handle control : {s.EditorFrame, s.SitesEditor, s.LinkField, s.SaveAllButton}) {
    EXPECT_EQ(platform.FontOf(control), platform.DefaultGuiFont());
  }
}

}  // namespace
}  // namespace vw::testing
