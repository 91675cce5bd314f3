// The dialogs' bookkeeping where the desktop is unusual: failures to open, foreign foreground windows, other
// threads' records, a quit message. The headless desktop can stage each of these.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/program_state.h"
#include "platform/headless/headless_platform.h"
#include "ui/dialogs.h"
#include "ui/modal.h"

namespace vw {
namespace {

class Dialogs : public ::testing::Test {
 protected:
  explicit Dialogs(HeadlessPlatform::Options options = {}) : desk_(options), scope_(desk_) {
    BuildMainWindow(0, 0, 580, 718);
  }
  ProgramState& state() { return scope_.state(); }

  HeadlessPlatform desk_;
  ProgramScope scope_;
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
  EXPECT_TRUE(desk_.IsEnabled(state().MainWindow));
  EXPECT_TRUE(desk_.IsEnabled(other));
  EXPECT_TRUE(state().toolkit.dialogs.records.empty());
  EXPECT_TRUE(state().toolkit.dialogs.prompt.closed);
}

TEST_F(FailingDialogs, AMessageBoxThatCannotOpenReturnsZeroAndGivesEverythingBack) {
  Handle other = desk_.AddForeignWindow(1, true, false);
  EXPECT_EQ(ShowMessage(u"t", u"x"), 0);
  EXPECT_TRUE(desk_.IsEnabled(state().MainWindow));
  EXPECT_TRUE(desk_.IsEnabled(other));
  EXPECT_TRUE(state().toolkit.dialogs.records.empty());
}

TEST_F(FailingDialogs, WithoutMessageMetricsThePromptUsesTheDefaultGuiFont) {
  InputRequester(u"t", u"p", u"", 0);
  EXPECT_EQ(state().toolkit.dialogs.prompt_font, desk_.DefaultGuiFont());
  EXPECT_EQ(state().ControlFont, desk_.DefaultGuiFont());
}

TEST_F(Dialogs, WhenAnotherProgramIsInFrontTheDialogHasNoOwnerAndEveryWindowIsDisabledMeanwhile) {
  Handle second = desk_.AddForeignWindow(1, true, false);
  desk_.UserSwitchAway();
  EXPECT_EQ(FindOwnerWindow(), 0u);
  bool main_enabled = true, second_enabled = true;
  desk_.Then("look, then close", [&](HeadlessPlatform& d) {
    main_enabled = d.IsEnabled(state().MainWindow);
    second_enabled = d.IsEnabled(second);
    d.UserDismissMessageBox();
  });
  ShowMessage(u"t", u"x");
  EXPECT_FALSE(main_enabled);
  EXPECT_FALSE(second_enabled);
  EXPECT_TRUE(desk_.IsEnabled(state().MainWindow));
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
  EXPECT_NE(away, state().MainWindow);
  EXPECT_EQ(desk_.ForegroundWindow(), away);
}

TEST_F(Dialogs, HiddenWindowsAndOtherThreadsWindowsAreLeftAlone) {
  Handle hidden = desk_.AddForeignWindow(1, false, false);
  Handle other_thread = desk_.AddForeignWindow(2, true, false);
  desk_.SetTopmost(other_thread, true);
  BeginModal();
  ASSERT_EQ(state().toolkit.dialogs.records.size(), 1u);  // the main window only
  EXPECT_EQ(state().toolkit.dialogs.records[0].window, state().MainWindow);
  EXPECT_TRUE(desk_.IsEnabled(hidden));
  EXPECT_TRUE(desk_.IsEnabled(other_thread));
  EXPECT_TRUE(desk_.IsTopmost(other_thread));
  EndModal();
  EXPECT_TRUE(state().toolkit.dialogs.records.empty());
}

TEST_F(Dialogs, EndModalGivesBackOnlyTheCallingThreadsRecords) {
  Handle theirs = desk_.AddForeignWindow(2, true, false);
  desk_.SetCurrentThreadId(2);
  BeginModal();  // thread 2 takes its window in hand: it is not in front, so it is disabled
  desk_.SetCurrentThreadId(1);
  desk_.Then("close", [](HeadlessPlatform& d) { d.UserDismissMessageBox(); });
  ShowMessage(u"t", u"x");  // thread 1's own pair
  ASSERT_EQ(state().toolkit.dialogs.records.size(), 1u);
  EXPECT_EQ(state().toolkit.dialogs.records[0].thread, 2u);
  EXPECT_FALSE(desk_.IsEnabled(theirs));
  desk_.SetCurrentThreadId(2);
  EndModal();
  EXPECT_TRUE(desk_.IsEnabled(theirs));
  EXPECT_TRUE(state().toolkit.dialogs.records.empty());
}

TEST_F(Dialogs, AQuitMessageEndsThePromptWithEmptyTextAndEverythingGivenBack) {
  desk_.PostQuitMessage();
  EXPECT_EQ(InputRequester(u"t", u"p", u"default", 0), u"");
  EXPECT_TRUE(desk_.IsEnabled(state().MainWindow));
  EXPECT_EQ(desk_.OpenPrompt(), 0u);
  EXPECT_TRUE(state().toolkit.dialogs.records.empty());
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
