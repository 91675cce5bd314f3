// The dialogs' bookkeeping where the desktop is unusual: failures to open, foreign foreground windows, other
// threads' records, a quit message; and the modal bookkeeping on its own. The headless desktop can stage each
// of these; a main window of its own stands in for the program's.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/modal.h"

namespace vw {
namespace {

class Dialogs : public ::testing::Test {
 protected:
  explicit Dialogs(HeadlessPlatform::Options options = {})
      : desk_(options), toolkit_(desk_), main_(desk_.CreateMainWindow(u"main", {0, 0, 580, 718})) {}
  DialogState& dialogs() { return toolkit_.dialogs; }

  HeadlessPlatform desk_;
  Toolkit toolkit_;
  Handle main_;
};

class FailingDialogs : public Dialogs {
 protected:
  FailingDialogs() : Dialogs(Failing()) {}
  static HeadlessPlatform::Options Failing() {
    HeadlessPlatform::Options options;
    options.message_font_available = false;
    options.prompt_window_fails = true;
    options.message_box_fails = true;
    return options;
  }
};

TEST_F(FailingDialogs, APromptThatCannotOpenReturnsEmptyAndGivesEverythingBack) {
  Handle other = desk_.AddForeignWindow(1, true, false);  // a second window of this thread
  EXPECT_EQ(InputRequester(u"t", u"p", u"default", 0), u"");
  EXPECT_TRUE(desk_.IsEnabled(main_));
  EXPECT_TRUE(desk_.IsEnabled(other));
  EXPECT_TRUE(dialogs().records.empty());
  EXPECT_TRUE(dialogs().prompt.closed);
}

TEST_F(FailingDialogs, AMessageBoxThatCannotOpenReturnsZeroAndGivesEverythingBack) {
  Handle other = desk_.AddForeignWindow(1, true, false);
  EXPECT_EQ(ShowMessage(u"t", u"x"), 0);
  EXPECT_TRUE(desk_.IsEnabled(main_));
  EXPECT_TRUE(desk_.IsEnabled(other));
  EXPECT_TRUE(dialogs().records.empty());
}

TEST_F(FailingDialogs, WithoutMessageMetricsThePromptUsesTheDefaultGuiFont) {
  InputRequester(u"t", u"p", u"", 0);
  EXPECT_EQ(dialogs().prompt_font, desk_.DefaultGuiFont());
}

TEST_F(Dialogs, WhenAnotherProgramIsInFrontTheDialogHasNoOwnerAndEveryWindowIsDisabledMeanwhile) {
  Handle second = desk_.AddForeignWindow(1, true, false);
  desk_.UserSwitchAway();
  EXPECT_EQ(FindOwnerWindow(), 0u);
  bool main_enabled = true, second_enabled = true;
  desk_.Then("look, then close", [&](HeadlessPlatform& d) {
    main_enabled = d.IsEnabled(main_);
    second_enabled = d.IsEnabled(second);
    d.UserDismissMessageBox();
  });
  ShowMessage(u"t", u"x");
  EXPECT_FALSE(main_enabled);
  EXPECT_FALSE(second_enabled);
  EXPECT_TRUE(desk_.IsEnabled(main_));
  EXPECT_TRUE(desk_.IsEnabled(second));
}

TEST_F(Dialogs, AfterAMessageBoxTheActivationStaysWhereTheUserMovedMeanwhile) {
  Handle away = 0;
  desk_.Then("switch away, then close", [&](HeadlessPlatform& d) {
    d.UserSwitchAway();
    away = d.ForegroundWindow();
    d.UserDismissMessageBox();
  });
  ShowMessage(u"t", u"x");
  EXPECT_NE(away, main_);
  EXPECT_EQ(desk_.ForegroundWindow(), away);
}

// BeginModal takes the visible windows of the calling thread in hand (thread 1, whose main window is in
// front); EndModal gives each back as it was.
struct ModalCase {
  const char* name;
  std::uint32_t thread;
  bool visible, enabled, topmost;  // before
  bool recorded;                   // by BeginModal
  bool enabled_meanwhile, topmost_meanwhile;
};

TEST_F(Dialogs, BeginModalTakesTheThreadsVisibleWindowsInHandAndEndModalGivesThemBackAsTheyWere) {
  const ModalCase cases[] = {
      {"a window of the thread is disabled", 1, true, true, false, true, false, false},
      {"a window disabled before stays disabled", 1, true, false, false, true, false, false},
      {"always-on-top is taken away and given back", 1, true, true, true, true, false, false},
      {"a hidden window is left alone", 1, false, true, true, false, true, true},
      {"another thread's window is left alone", 2, true, true, true, false, true, true},
  };
  std::vector<Handle> windows;
  for (const ModalCase& c : cases) {
    windows.push_back(desk_.AddForeignWindow(c.thread, c.visible, false));
    desk_.SetEnabled(windows.back(), c.enabled);
    desk_.SetTopmost(windows.back(), c.topmost);
  }
  desk_.SetTopmost(main_, true);

  BeginModal();
  ASSERT_EQ(dialogs().records.size(), 4u);  // the main window and the three recorded rows
  EXPECT_TRUE(desk_.IsEnabled(main_)) << "the window in front: the dialog disables its owner itself";
  EXPECT_FALSE(desk_.IsTopmost(main_));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ModalCase& c = cases[i];
    EXPECT_EQ(std::count_if(dialogs().records.begin(), dialogs().records.end(),
                            [&](const ModalRecord& r) { return r.window == windows[i]; }),
              c.recorded ? 1 : 0)
        << c.name;
    EXPECT_EQ(desk_.IsEnabled(windows[i]), c.enabled_meanwhile) << c.name;
    EXPECT_EQ(desk_.IsTopmost(windows[i]), c.topmost_meanwhile) << c.name;
  }

  EndModal();
  EXPECT_TRUE(dialogs().records.empty());
  EXPECT_TRUE(desk_.IsEnabled(main_));
  EXPECT_TRUE(desk_.IsTopmost(main_));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(desk_.IsEnabled(windows[i]), cases[i].enabled) << cases[i].name;
    EXPECT_EQ(desk_.IsTopmost(windows[i]), cases[i].topmost) << cases[i].name;
  }
}

TEST_F(Dialogs, TheOwnerIsTheForegroundWindowOnlyWhenItIsThisProgramsOwn) {
  EXPECT_EQ(FindOwnerWindow(), main_);
  const Handle second = desk_.AddForeignWindow(2, true, false);
  desk_.UserActivate(second);
  EXPECT_EQ(FindOwnerWindow(), second);  // another thread, the same program
  desk_.UserSwitchAway();
  EXPECT_EQ(FindOwnerWindow(), 0u);
}

TEST_F(Dialogs, EndModalGivesBackOnlyTheCallingThreadsRecords) {
  Handle theirs = desk_.AddForeignWindow(2, true, false);
  desk_.SetCurrentThreadId(2);
  BeginModal();  // thread 2 takes its window in hand: it is not in front, so it is disabled
  desk_.SetCurrentThreadId(1);
  desk_.Then("close", [](HeadlessPlatform& d) { d.UserDismissMessageBox(); });
  ShowMessage(u"t", u"x");  // thread 1's own pair
  ASSERT_EQ(dialogs().records.size(), 1u);
  EXPECT_EQ(dialogs().records[0].thread, 2u);
  EXPECT_FALSE(desk_.IsEnabled(theirs));
  desk_.SetCurrentThreadId(2);
  EndModal();
  EXPECT_TRUE(desk_.IsEnabled(theirs));
  EXPECT_TRUE(dialogs().records.empty());
}

TEST_F(Dialogs, AQuitMessageEndsThePromptWithEmptyTextAndEverythingGivenBack) {
  desk_.PostQuitMessage();
  EXPECT_EQ(InputRequester(u"t", u"p", u"default", 0), u"");
  EXPECT_TRUE(desk_.IsEnabled(main_));
  EXPECT_EQ(desk_.OpenPrompt(), 0u);
  EXPECT_TRUE(dialogs().records.empty());
}

TEST_F(Dialogs, ThePromptFontIsMadeOnceForTheWholeRun) {
  std::size_t before = desk_.FontsMade();
  for (int i = 0; i < 3; ++i) {
    desk_.Then("cancel", [](HeadlessPlatform& d) { d.UserKey(HeadlessKey::kEscape); });
    InputRequester(u"t", u"p", u"", 0);
  }
  EXPECT_EQ(desk_.FontsMade(), before + 1);
}

}  // namespace
}  // namespace vw
