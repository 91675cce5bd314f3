// The platform contract: what the program relies on from every back end. The same suite runs on each back end
// built (headless always, Qt offscreen, Win32 under Wine); each test executable links its own MakeDriver().
// It stands on the ui layer alone: the fixture makes the main window and its controls itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/main_controls.h"
#include "ui/box_text.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

namespace vw::testing {
namespace {

struct Seen {
  std::int64_t code;
  Handle source;
  friend bool operator==(const Seen&, const Seen&) = default;
};

class Contract : public ::testing::Test {
 protected:
  Contract() : driver_(MakeDriver()), toolkit_(driver_->platform()) {}

  void SetUp() override {
    controls_ = MakeMainControls(platform());
    Take();  // whatever creation and first activation reported
  }

  const MainControls& controls() const { return controls_; }
  Driver& driver() { return *driver_; }
  Platform& platform() { return driver_->platform(); }

  // Everything queued once the waiting native messages are handled.
  std::vector<Seen> Take() {
    driver().ProcessPending();
    std::vector<Seen> seen;
    EventQueue& events = toolkit_.events;
    while (events.Waiting() > 0) {
      std::int64_t code = events.Wait();
      seen.push_back({code, events.Source()});
    }
    return seen;
  }

  static bool HasSource(const std::vector<Seen>& seen, Handle source) {
    for (const Seen& e : seen) {
      if (e.code == GadgetEvent && e.source == source) return true;
    }
    return false;
  }

  bool IsMainControl(Handle h) {
    return h == controls().SitesEditor || h == controls().LinksEditor || h == controls().LinkField ||
           h == controls().TestLinkButton || h == controls().SaveAllButton;
  }

  // The main window's control that has the keyboard focus, or 0 (the window itself may hold it).
  Handle FocusedControl() {
    Handle focused = driver().Focused();
    return IsMainControl(focused) ? focused : 0;
  }

  // Runs the prompt; `act` runs inside its loop with the prompt's window.
  Text Ask(std::function<void(Handle prompt)> act, const Text& default_text = u"", std::int64_t flags = 0,
           const Text& prompt_text = u"Please Enter Password , or 'Quit' or 'Exit')") {
    driver().WhenWaiting([this, act] { act(platform().ForegroundWindow()); });
    return InputRequester(u"Please Enter Password (Case Sensitive)", prompt_text, default_text, flags);
  }

  std::unique_ptr<Driver> driver_;
  Toolkit toolkit_;
  MainControls controls_;
};

// --- Main window geometry.

TEST_F(Contract, MainWindowSitsAtTheScreenCornerWithItsClientAreaAndControlsWhereTheyBelong) {
  Rect outer = driver().OuterRect(controls().MainWindow);
  Rect client = driver().ClientRect(controls().MainWindow);
  EXPECT_EQ(outer.x, 0);
  EXPECT_EQ(outer.y, 0);
  EXPECT_EQ(client.width, 580);
  EXPECT_EQ(client.height, 718);
  EXPECT_TRUE(driver().IsVisible(controls().MainWindow));

  struct Expected {
    Handle control;
    Rect rect;
  };
  const Expected placed[] = {
      {controls().EditorFrame, {8, 8, 572, 708}},     {controls().SitesLabel, {74, 4, 150, 25}},
      {controls().LinksLabel, {364, 4, 150, 25}},     {controls().SitesEditor, {0, 34, 250, 540}},
      {controls().LinksEditor, {280, 34, 250, 540}},  {controls().LinkField, {0, 586, 528, 25}},
      {controls().TestLinkButton, {0, 620, 528, 25}}, {controls().SaveAllButton, {186, 662, 150, 25}},
  };
  for (const Expected& e : placed) {
    Rect r = driver().ChildRect(e.control);
    EXPECT_EQ(r.x, e.rect.x) << driver().name() << " control " << e.control;
    EXPECT_EQ(r.y, e.rect.y) << driver().name() << " control " << e.control;
    EXPECT_EQ(r.width, e.rect.width) << driver().name() << " control " << e.control;
    EXPECT_EQ(r.height, e.rect.height) << driver().name() << " control " << e.control;
  }
}

// --- The editor line model.

struct LinesCase {
  const char* name;
  std::vector<Text> added;
  Text text;
  std::int64_t count;
};

TEST_F(Contract, AddedLinesGiveTheTextAndLineCountOfTheLineModel) {
  const LinesCase cases[] = {
      {"nothing added", {}, u"", 0},
      {"one empty line", {u""}, u"", 1},
      {"two empty lines", {u"", u""}, u"\n", 2},
      {"three empty lines", {u"", u"", u""}, u"\n\n", 3},
      {"empty then text", {u"", u"b"}, u"\nb", 2},
      {"text then empty", {u"a", u""}, u"a\n", 2},
      {"three lines", {u"a", u"b", u"c"}, u"a\nb\nc", 3},
      {"two empties then text", {u"", u"", u"c"}, u"\n\nc", 3},
      {"blanks and tabs kept", {u" a ", u"\tb"}, u" a \n\tb", 2},
      {"non-ASCII", {u"h\u00e9", u"\u4e2d\U0001F600"}, u"h\u00e9\n\u4e2d\U0001F600", 2},
  };
  for (const LinesCase& c : cases) {
    Handle editor = CreateControl(ControlKind::kEditor, controls().EditorFrame, {0, 34, 250, 540}, u"",
                                  controls().ControlFont);
    for (const Text& line : c.added) AddLine(editor, -1, line);
    EXPECT_EQ(GetText(editor), c.text) << c.name;
    EXPECT_EQ(LineCount(editor), c.count) << c.name;
    for (std::size_t i = 0; i < c.added.size(); ++i) {
      EXPECT_EQ(LineText(editor, static_cast<std::int64_t>(i)), c.added[i]) << c.name << " line " << i;
    }
    EXPECT_EQ(LineText(editor, c.count), u"") << c.name << ": past the last line";
  }
  // Setting the text replaces every line added before it, read or not.
  Handle editor = CreateControl(ControlKind::kEditor, controls().EditorFrame, {0, 34, 250, 540}, u"",
                                controls().ControlFont);
  AddLine(editor, -1, u"added");
  SetText(editor, u"set");
  EXPECT_EQ(platform().TextLength(editor), 3);
  EXPECT_EQ(GetText(editor), u"set");
}

// "1", "2", ... "n".
std::vector<Text> Numbered(int n) {
  std::vector<Text> lines;
  for (int i = 1; i <= n; ++i) lines.push_back(Utf8ToText(std::to_string(i)));
  return lines;
}

struct EditCase {
  const char* name;
  std::vector<Text> added;
  std::function<void(Driver&, Handle editor)> edit;
  std::int64_t count;
  Text last_line;
};

TEST_F(Contract, WhatTheUserDoesInAnEditorIsSeenByTheLineModel) {
  const EditCase cases[] = {
      {"line break after the last line",
       {u"a", u"b"},
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kEnter);
       },
       3,
       u""},
      {"typing a new last line", {u"a"}, [](Driver& d, Handle e) { d.Type(e, u"\nxyz"); }, 2, u"xyz"},
      {"everything deleted after a non-empty first line",
       {u"a", u"b"},
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kSelectAllDelete);
       },
       0,
       u""},
      {"everything deleted after an empty first line",
       {u"", u"b"},
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kSelectAllDelete);
       },
       1,
       u""},
      {"typed over a pending empty line, then deleted",
       {u""},
       [](Driver& d, Handle e) {
         d.Type(e, u"x");
         d.PressKey(Key::kSelectAllDelete);
       },
       1,
       u""},
      {"undo takes the last loaded line away",
       {u"a", u"b", u"c"},
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kUndo);
       },
       2,
       u"b"},
      {"undo after a long load takes one line away, twice", Numbered(150),
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kUndo);
         d.PressKey(Key::kUndo);
       },
       148, u"148"},
      {"undo after the history is forgotten takes only what was typed", Numbered(150),
       [](Driver& d, Handle e) {
         ForgetUndo(e);
         d.Type(e, u"\nx");
         for (int i = 0; i < 4; ++i) d.PressKey(Key::kUndo);
       },
       150, u"150"},
      {"a plain Tab is typed into the editor",
       {u"a"},
       [](Driver& d, Handle e) {
         d.Click(e);
         d.PressKey(Key::kTab);
       },
       1,
       u"a\t"},
  };
  for (const EditCase& c : cases) {
    Handle editor = c.added.size() % 2 == 0 ? controls().SitesEditor : controls().LinksEditor;
    editor = CreateControl(ControlKind::kEditor, controls().EditorFrame, {0, 34, 250, 540}, u"",
                           controls().ControlFont);
    for (const Text& line : c.added) AddLine(editor, -1, line);
    c.edit(driver(), editor);
    driver().ProcessPending();
    EXPECT_EQ(LineCount(editor), c.count) << driver().name() << ": " << c.name;
    if (c.count > 0) {
      EXPECT_EQ(LineText(editor, c.count - 1), c.last_line) << driver().name() << ": " << c.name;
    }
  }
}

// --- Character fidelity: every character a list line can hold comes back as appended, one entry per line.

// Everything but CR, LF and NUL (they end a line when a list is read) and lone surrogates (UTF-8 cannot
// carry them).
bool LineCanHold(char32_t c) {
  return c != 0 && c != u'\n' && c != u'\r' && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
}

void AppendCodePoint(Text& text, char32_t c) {
  if (c < 0x10000) {
    text += static_cast<char16_t>(c);
  } else {
    text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

// Every code point a line can hold from `first` to `last`, each `step`-th one.
Text CodePoints(char32_t first, char32_t last, char32_t step = 1) {
  Text text;
  for (char32_t c = first; c <= last; c += step) {
    if (LineCanHold(c)) AppendCodePoint(text, c);
  }
  return text;
}

// "" when equal; else where the first difference is, short enough to read in a failure.
std::string Difference(const Text& expected, const Text& actual) {
  if (expected == actual) return "";
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  auto unit = [](const Text& t, std::size_t at) {
    if (at >= t.size()) return std::string("(end)");
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(t[at]));
    return std::string(hex);
  };
  return "lengths " + std::to_string(expected.size()) + " / " + std::to_string(actual.size()) +
         ", first difference at unit " + std::to_string(i) + ": expected " + unit(expected, i) + ", got " +
         unit(actual, i);
}

struct FidelityCase {
  std::string name;
  std::vector<Text> lines;
};

std::vector<FidelityCase> FidelityCases() {
  std::vector<FidelityCase> cases = {
      {"a byte-order mark alone as the first line", {u"\uFEFF", u"site.example"}},
      {"a byte-order mark before the first entry", {u"\uFEFFsite.example", u"\uFEFF"}},
      {"an empty first line, then a byte-order mark", {u"", u"\uFEFF"}},
      {"separators and markers as whole lines",
       {u"\u2028", u"\u2029", u"\uFFFC", u"\uFDD0", u"\uFDD1", u"\uFDEF", u"\uFFFE", u"\uFFFF", u"\uFFFD"}},
      {"separators at the edges of lines and side by side",
       {u"a\u2029", u"\u2029b", u"\u2028\u2028", u"", u"x\u2028y\u2029z", u"\u2029\u2028"}},
      {"C0 and C1 controls", {CodePoints(0x01, 0x1F), CodePoints(0x7F, 0x9F), u"\u00A0\u00AD\u200B\u200D"}},
      {"noncharacters",
       {CodePoints(0xFDD0, 0xFDEF), u"\uFFFE\uFFFF\U0001FFFE\U0001FFFF\U0010FFFE\U0010FFFF"}},
      {"private use", {CodePoints(0xE000, 0xF8FF, 7), u"\U000F0000\U0010FFFD"}},
      {"beyond the BMP, sampled", {CodePoints(0x10000, 0x10FFFF, 97), u"\U0001F600\U000E0001\U000E0100"}},
  };
  // The whole BMP, in chunks of 4,096 code points, each chunk a line of its own editor.
  for (char32_t first = 0; first < 0x10000; first += 0x1000) {
    char name[48];
    std::snprintf(name, sizeof name, "BMP U+%04X..U+%04X", static_cast<unsigned>(first),
                  static_cast<unsigned>(first + 0xFFF));
    cases.push_back({name, {u"first", CodePoints(first, first + 0xFFF), u"last"}});
  }
  return cases;
}

TEST_F(Contract, EveryCharacterALineCanHoldComesBackAsAppended) {
  for (const FidelityCase& c : FidelityCases()) {
    Handle editor = CreateControl(ControlKind::kEditor, controls().EditorFrame, {0, 34, 250, 540}, u"",
                                  controls().ControlFont);
    Text joined;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      AddLine(editor, -1, c.lines[i]);
      joined += (i == 0 ? u"" : u"\n") + c.lines[i];
    }
    driver().ProcessPending();  // as shown on the screen
    EXPECT_EQ(Difference(joined, GetText(editor)), "") << driver().name() << ": " << c.name;
    EXPECT_EQ(platform().TextLength(editor), static_cast<std::int64_t>(joined.size()))
        << driver().name() << ": " << c.name;
    if (LineCount(editor) != static_cast<std::int64_t>(c.lines.size())) {
      ADD_FAILURE() << driver().name() << ": " << c.name << ": " << LineCount(editor) << " lines instead of "
                    << c.lines.size();
      continue;
    }
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(Difference(c.lines[i], LineText(editor, static_cast<std::int64_t>(i))), "")
          << driver().name() << ": " << c.name << ", line " << i;
    }
  }
}

TEST_F(Contract, LongLinesComeBackWhole) {
  for (std::size_t length : {2000u, 65532u, 70000u}) {
    Handle editor = CreateControl(ControlKind::kEditor, controls().EditorFrame, {0, 34, 250, 540}, u"",
                                  controls().ControlFont);
    Text line(length, u'x');
    line.back() = u'y';
    AddLine(editor, -1, u"first");
    AddLine(editor, -1, line);
    AddLine(editor, -1, u"last");
    EXPECT_EQ(LineCount(editor), 3);
    EXPECT_EQ(LineText(editor, 1), line) << length;
    EXPECT_EQ(LineText(editor, 2), u"last");
  }
}

TEST_F(Contract, HandlesOfNothingReadAsEmptyAndIgnoreWrites) {
  for (Handle bogus : {Handle{0}, Handle{1}, Handle{0xdeadbeef}}) {
    platform().SetText(bogus, u"x");
    platform().AppendText(bogus, u"x");
    platform().SetEnabled(bogus, false);
    platform().SetTopmost(bogus, true);
    platform().FocusPromptField(bogus);
    platform().DestroyPromptWindow(bogus);
    EXPECT_EQ(platform().GetText(bogus), u"") << bogus;
    EXPECT_EQ(platform().TextLength(bogus), 0) << bogus;
    EXPECT_EQ(platform().TextRevision(bogus), 0u) << bogus;
    EXPECT_FALSE(platform().IsEnabled(bogus)) << bogus;
    EXPECT_FALSE(platform().IsTopmost(bogus)) << bogus;
    EXPECT_FALSE(platform().BelongsToThisProcess(bogus)) << bogus;
    EXPECT_EQ(platform().CreateControl(ControlKind::kLabel, bogus, {0, 0, 1, 1}, u"x", 0), 0u) << bogus;
    EXPECT_EQ(platform().PromptFieldText(bogus), u"") << bogus;
    // The line model answers for no control as for an empty one.
    EXPECT_EQ(AddLine(bogus, -1, u"x"), 0) << bogus;
    EXPECT_EQ(LineCount(bogus), 0) << bogus;
    EXPECT_EQ(LineText(bogus, 0), u"") << bogus;
  }
}

// --- Events.

TEST_F(Contract, ProgramChangesRaiseNoEvents) {
  AddLine(controls().SitesEditor, -1, u"one");
  AddLine(controls().SitesEditor, -1, u"");
  AddLine(controls().LinksEditor, -1, u"two");
  SetText(controls().LinkField, u"https://example.org/");
  EXPECT_EQ(Take(), std::vector<Seen>{});
  EXPECT_EQ(GetText(controls().LinkField), u"https://example.org/");
}

// Whatever the field shows for them, reading it gives back the characters the program put in, so the link
// tested is the one set: line breaks, a NUL (a C string would end there) and the invisible separators.
TEST_F(Contract, TheLinkFieldReadsBackExactlyWhatTheProgramSetIntoIt) {
  const Text cases[] = {u"a\r\nb\rc\n", Text(u"d") + u'\0' + u"e" + u'\0',
                        u"\u2028f\u2029\uFDD0\uFDD1\uFFFC"};
  for (const Text& text : cases) {
    SetText(controls().LinkField, text);
    EXPECT_EQ(GetText(controls().LinkField), text) << driver().name();
    EXPECT_EQ(platform().TextLength(controls().LinkField), static_cast<std::int64_t>(text.size()));
  }
}

TEST_F(Contract, AButtonPressGivesOneGadgetEventFromThatButton) {
  for (Handle button : {controls().TestLinkButton, controls().SaveAllButton}) {
    driver().Click(button);
    std::vector<Seen> seen = Take();
    int presses = 0;
    for (const Seen& e : seen) {
      if (e.code == GadgetEvent &&
          (e.source == controls().TestLinkButton || e.source == controls().SaveAllButton)) {
        EXPECT_EQ(e.source, button);
        ++presses;
      }
    }
    EXPECT_EQ(presses, 1) << driver().name();
  }
}

TEST_F(Contract, SpaceOnAFocusedButtonPressesItButEnterDoesNot) {
  driver().Click(controls().LinkField);
  driver().PressKey(Key::kTab);  // to TestLinkButton
  Take();
  ASSERT_EQ(driver().Focused(), controls().TestLinkButton);
  driver().PressKey(Key::kEnter);
  EXPECT_FALSE(HasSource(Take(), controls().TestLinkButton));
  driver().PressKey(Key::kSpace);
  EXPECT_TRUE(HasSource(Take(), controls().TestLinkButton));
}

TEST_F(Contract, TypingAndFocusChangesGiveEventsFromTheirControlOnly) {
  driver().Type(controls().SitesEditor, u"abc");
  driver().Type(controls().LinkField, u"x");
  std::vector<Seen> seen = Take();
  EXPECT_TRUE(HasSource(seen, controls().SitesEditor));
  EXPECT_TRUE(HasSource(seen, controls().LinkField));
  EXPECT_FALSE(HasSource(seen, controls().TestLinkButton));
  EXPECT_FALSE(HasSource(seen, controls().SaveAllButton));
  for (const Seen& e : seen) EXPECT_EQ(e.code, GadgetEvent);
}

TEST_F(Contract, AnEventEqualToTheLastOneWaitingIsQueuedOnce) {
  constexpr std::int64_t A = CloseWindowEvent;
  constexpr std::int64_t B = GadgetEvent;
  const struct {
    std::vector<std::int64_t> posted;
    std::vector<Seen> queued;
  } cases[] = {
      {{A, A, B}, {{A, 0}, {B, 0}}},
      {{A, B, B, B}, {{A, 0}, {B, 0}}},
      {{A, B, A}, {{A, 0}, {B, 0}, {A, 0}}},  // only the last one waiting counts, not any earlier one
      {{B, A, B, A}, {{B, 0}, {A, 0}, {B, 0}, {A, 0}}},
  };
  for (const auto& c : cases) {
    for (std::int64_t code : c.posted) EXPECT_EQ(PostEvent(code), 1);
    EXPECT_EQ(Take(), c.queued) << driver().name() << ", " << c.posted.size() << " posted";
  }
}

// Input handled in one wait (the Qt back end handles a whole batch of input at once) is queued in the order
// it happened, whatever its kind: a press of "Save All FIles" and then the close box give the press first, so
// the save runs before the program ends.
TEST_F(Contract, APressThenTheCloseBoxInOneWaitQueueThePressFirst) {
  driver().WhenWaiting([this] {
    driver().Click(controls().SaveAllButton);
    driver().CloseBox(controls().MainWindow);
  });
  std::vector<Seen> seen;
  for (int i = 0; i < 10000 && (seen.empty() || seen.back().code != CloseWindowEvent); ++i) {
    std::int64_t code = WaitEvent();
    if (code == CloseWindowEvent || (code == GadgetEvent && EventSource() == controls().SaveAllButton))
      seen.push_back({code, EventSource()});
  }
  ASSERT_FALSE(seen.empty()) << driver().name();
  EXPECT_EQ(seen.back().code, CloseWindowEvent) << driver().name();
  EXPECT_TRUE(HasSource(seen, controls().SaveAllButton))
      << driver().name() << ": no press before the close event";
}

TEST_F(Contract, APostedEventArrivesBeforeAPressMadeAfterIt) {
  EXPECT_EQ(PostEvent(CloseWindowEvent), 1);
  driver().WhenWaiting([this] { driver().Click(controls().TestLinkButton); });
  std::vector<std::int64_t> codes;
  for (int i = 0; i < 10000 && !(codes.size() >= 2 && codes.back() == GadgetEvent); ++i) {
    std::int64_t code = WaitEvent();
    if (code == CloseWindowEvent || (code == GadgetEvent && EventSource() == controls().TestLinkButton)) {
      codes.push_back(code);
    }
  }
  EXPECT_EQ(codes, (std::vector<std::int64_t>{CloseWindowEvent, GadgetEvent})) << driver().name();
}

TEST_F(Contract, TheCloseBoxQueuesOneCloseEventAndTheWindowStays) {
  driver().CloseBox(controls().MainWindow);
  std::vector<Seen> seen = Take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], (Seen{CloseWindowEvent, 0}));
  EXPECT_TRUE(driver().Exists(controls().MainWindow));
  EXPECT_TRUE(driver().IsVisible(controls().MainWindow));
}

// --- Keyboard focus.

TEST_F(Contract, TabFollowsCreationOrderAndTabInsideAnEditorTypesATab) {
  driver().Click(controls().LinkField);
  const Handle forward[] = {controls().TestLinkButton, controls().SaveAllButton, controls().SitesEditor};
  for (Handle expected : forward) {
    driver().PressKey(Key::kTab);
    EXPECT_EQ(driver().Focused(), expected) << driver().name();
  }
  driver().PressKey(Key::kTab);  // typed into the editor
  EXPECT_EQ(driver().Focused(), controls().SitesEditor);
  EXPECT_EQ(GetText(controls().SitesEditor), u"\t");
  const Handle backward[] = {controls().SaveAllButton, controls().TestLinkButton, controls().LinkField,
                             controls().LinksEditor, controls().SitesEditor};
  for (Handle expected : backward) {
    driver().PressKey(Key::kShiftTab);
    EXPECT_EQ(driver().Focused(), expected) << driver().name();
  }
}

TEST_F(Contract, TheFocusComesBackWhenTheWindowIsActivatedAgain) {
  driver().Click(controls().LinkField);
  driver().SwitchAwayAndBack(controls().MainWindow);
  driver().ProcessPending();
  EXPECT_EQ(driver().Focused(), controls().LinkField);
}

// No control has the focus at start, nor after the start-up prompt: keys pressed then reach no editor until
// the administrator chooses one.
TEST_F(Contract, NoControlHasTheFocusAtStartNorAfterTheStartUpPrompt) {
  AddLine(controls().SitesEditor, -1, u"site.example");
  driver().ProcessPending();
  EXPECT_EQ(FocusedControl(), 0u) << driver().name() << ": at start";
  Text answer = Ask([&](Handle w) {
    driver().Type(driver().PromptField(w), u"pw");
    driver().PressKey(Key::kEnter);
  });
  EXPECT_EQ(answer, u"pw");
  driver().ProcessPending();
  EXPECT_EQ(FocusedControl(), 0u) << driver().name() << ": after the prompt";
  driver().PressKey(Key::kEnter);  // a second Enter, a common slip
  driver().PressKey(Key::kTab);
  driver().ProcessPending();
  EXPECT_EQ(GetText(controls().SitesEditor), u"site.example") << driver().name();
  EXPECT_EQ(GetText(controls().LinksEditor), u"") << driver().name();
}

// After a message box the control that had the focus before it has it again (none if none had it).
TEST_F(Contract, AfterAMessageBoxTheFocusIsWhereItWasBefore) {
  const Handle focusable[] = {0,
                              controls().SitesEditor,
                              controls().LinksEditor,
                              controls().LinkField,
                              controls().TestLinkButton,
                              controls().SaveAllButton};
  for (Handle before : focusable) {
    if (before != 0) driver().Click(before);
    Take();
    EXPECT_EQ(FocusedControl(), before) << driver().name() << ": before the box";
    driver().WhenWaiting([&] { driver().DismissMessageBox(); });
    ShowMessage(u"Site Not Approved", u"example.org");
    driver().ProcessPending();
    EXPECT_EQ(FocusedControl(), before) << driver().name() << ": control " << before;
  }
}

// --- The input prompt.

struct PromptCase {
  const char* name;
  Text default_text;
  std::function<void(Driver&, Handle prompt)> act;
  Text expected;
};

TEST_F(Contract, ThePromptReturnsWhatWasConfirmedAndNothingOtherwise) {
  const PromptCase cases[] = {
      {"OK with an empty field", u"", [](Driver& d, Handle w) { d.Click(d.PromptOkButton(w)); }, u""},
      {"Escape", u"", [](Driver& d, Handle) { d.PressKey(Key::kEscape); }, u""},
      {"close box", u"", [](Driver& d, Handle w) { d.CloseBox(w); }, u""},
      {"Escape after typing", u"",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"secret");
         d.PressKey(Key::kEscape);
       },
       u""},
      {"close box never gives the default text", u"dflt",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"x");
         d.CloseBox(w);
       },
       u""},
      {"Enter at once gives the default text", u"dflt", [](Driver& d, Handle) { d.PressKey(Key::kEnter); },
       u"dflt"},
      {"typing adds to the end of the default text", u"ab",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"cd");
         d.PressKey(Key::kEnter);
       },
       u"abcd"},
      {"spaces are kept", u"",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"  pw  ");
         d.PressKey(Key::kEnter);
       },
       u"  pw  "},
      {"Enter confirms when Tab moved the focus to OK", u"",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"x");
         d.PressKey(Key::kTab);
         d.PressKey(Key::kEnter);
       },
       u"x"},
      {"Space presses the focused OK button", u"",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"y");
         d.PressKey(Key::kTab);
         d.PressKey(Key::kSpace);
       },
       u"y"},
      {"a click on OK", u"",
       [](Driver& d, Handle w) {
         d.Type(d.PromptField(w), u"z\u00e9");
         d.Click(d.PromptOkButton(w));
       },
       u"z\u00e9"},
  };
  for (const PromptCase& c : cases) {
    Text result = Ask([this, &c](Handle w) { c.act(driver(), w); }, c.default_text);
    EXPECT_EQ(result, c.expected) << driver().name() << ": " << c.name;
    EXPECT_FALSE(driver().StepsLeft());
  }
}

TEST_F(Contract, ThePromptOpensCentredOnTheScreenWithItsPartsInPlace) {
  Rect outer, label, field, ok;
  bool wraps = true;
  Handle field_handle = 0, focused = 0;
  Text long_prompt(400, u'w');
  Ask(
      [&](Handle w) {
        outer = driver().OuterRect(w);
        label = driver().ChildRect(driver().PromptLabel(w));
        field_handle = driver().PromptField(w);
        field = driver().ChildRect(field_handle);
        ok = driver().ChildRect(driver().PromptOkButton(w));
        wraps = driver().PromptLabelWraps(w);
        focused = driver().Focused();
        driver().PressKey(Key::kEscape);
      },
      u"", 0, long_prompt);
  Rect screen = driver().Screen();
  EXPECT_EQ(outer.x, screen.width / 2 - 250);
  EXPECT_EQ(outer.y, screen.height / 2 - 70);
  EXPECT_EQ(outer.width, 500);
  EXPECT_EQ(outer.height, 140);
  EXPECT_EQ((std::vector<int>{label.x, label.y, label.width, label.height}),
            (std::vector<int>{10, 10, 480, 22}));
  EXPECT_EQ((std::vector<int>{field.x, field.y, field.width, field.height}),
            (std::vector<int>{10, 32, 465, 21}));
  EXPECT_EQ((std::vector<int>{ok.x, ok.y, ok.width, ok.height}), (std::vector<int>{210, 67, 80, 25}));
  EXPECT_FALSE(wraps) << "a long prompt is cut off, never wrapped";
  EXPECT_EQ(focused, field_handle) << "the field has the focus when the prompt opens";
}

TEST_F(Contract, OnlyTheMaskFlagHidesTheTypedCharacters) {
  for (std::int64_t flags : {0, 1, 2, 3}) {
    bool masked = false;
    Ask(
        [&](Handle w) {
          masked = driver().IsMasked(driver().PromptField(w));
          driver().PressKey(Key::kEscape);
        },
        u"", flags);
    EXPECT_EQ(masked, (flags & 1) != 0) << "flags " << flags;
  }
}

TEST_F(Contract, WhileADialogIsOpenTheMainWindowIsDisabledAndAfterwardsGivenBackAsItWas) {
  struct Before {
    const char* name;
    bool enabled;
    bool topmost;
  };
  const Before befores[] = {
      {"enabled", true, false}, {"disabled before", false, false}, {"always on top", true, true}};
  for (const Before& b : befores) {
    platform().SetEnabled(controls().MainWindow, true);
    driver().SwitchAwayAndBack(controls().MainWindow);
    platform().SetEnabled(controls().MainWindow, b.enabled);
    platform().SetTopmost(controls().MainWindow, b.topmost);
    driver().ProcessPending();
    bool enabled_inside = true, topmost_inside = true;
    Ask([&](Handle) {
      enabled_inside = platform().IsEnabled(controls().MainWindow);
      topmost_inside = platform().IsTopmost(controls().MainWindow);
      driver().PressKey(Key::kEscape);
    });
    driver().ProcessPending();
    EXPECT_FALSE(enabled_inside) << b.name;
    EXPECT_FALSE(topmost_inside) << b.name;
    EXPECT_EQ(platform().IsEnabled(controls().MainWindow), b.enabled) << b.name;
    EXPECT_EQ(platform().IsTopmost(controls().MainWindow), b.topmost) << b.name;
    if (b.enabled) {
      EXPECT_EQ(platform().ForegroundWindow(), controls().MainWindow) << b.name;
    }
    EXPECT_TRUE(toolkit_.dialogs.records.empty()) << b.name;
    platform().SetTopmost(controls().MainWindow, false);
    platform().SetEnabled(controls().MainWindow, true);
  }
}

TEST_F(Contract, ClicksOnTheMainWindowDoNothingWhileThePromptIsOpen) {
  Text result = Ask([&](Handle w) {
    driver().Click(controls().TestLinkButton);
    driver().Type(controls().SitesEditor, u"typed");
    driver().Type(driver().PromptField(w), u"ok");
    driver().PressKey(Key::kEnter);
  });
  EXPECT_EQ(result, u"ok");
  EXPECT_EQ(GetText(controls().SitesEditor), u"");
  for (const Seen& e : Take()) {
    EXPECT_NE(e.source, controls().TestLinkButton);
    EXPECT_TRUE(e.code == GadgetEvent && IsMainControl(e.source)) << "the dialog queued event " << e.code;
  }
}

TEST_F(Contract, ComingBackToThePromptPutsTheCaretIntoItsField) {
  Handle field = 0, before = 0, after = 0;
  driver().WhenWaiting([&] {
    Handle w = platform().ForegroundWindow();
    field = driver().PromptField(w);
    driver().PressKey(Key::kTab);
    before = driver().Focused();
    driver().SwitchAwayAndBack(w);
  });
  driver().WhenWaiting([&] {
    after = driver().Focused();
    driver().PressKey(Key::kEscape);
  });
  InputRequester(u"t", u"p", u"", 0);
  EXPECT_NE(before, field) << "Tab moved the focus to OK";
  EXPECT_EQ(after, field);
}

TEST_F(Contract, ASecondPromptUsesTheFontObjectOfTheFirst) {
  Handle first = 0, second = 0;
  Ask([&](Handle w) {
    first = driver().FontOf(driver().PromptField(w));
    driver().PressKey(Key::kEscape);
  });
  Ask([&](Handle w) {
    second = driver().FontOf(driver().PromptField(w));
    driver().PressKey(Key::kEscape);
  });
  EXPECT_NE(first, 0u);
  EXPECT_EQ(first, second);
  EXPECT_EQ(toolkit_.dialogs.prompt_font, first);
}

// --- The message box.

TEST_F(Contract, TheMessageBoxShowsTitleTextAndOneOkButtonOverADisabledMainWindow) {
  ShownMessageBox shown;
  bool enabled_inside = true;
  driver().WhenWaiting([&] {
    shown = driver().CurrentMessageBox();
    enabled_inside = platform().IsEnabled(controls().MainWindow);
    driver().DismissMessageBox();
  });
  std::int64_t result = ShowMessage(u"This Link Found", u"example.org\r\n\r\nThis is a Safe Link !");
  EXPECT_EQ(result, 1);
  EXPECT_NE(shown.window, 0u);
  EXPECT_EQ(shown.title, u"This Link Found");
  EXPECT_EQ(shown.text, u"example.org\r\n\r\nThis is a Safe Link !");
  EXPECT_EQ(shown.button_count, 1);
  EXPECT_FALSE(shown.has_icon);
  EXPECT_FALSE(enabled_inside);
  driver().ProcessPending();
  EXPECT_TRUE(platform().IsEnabled(controls().MainWindow));
  EXPECT_EQ(platform().ForegroundWindow(), controls().MainWindow);
  EXPECT_TRUE(toolkit_.dialogs.records.empty());
}

// The box's rule for long text as each back end shows it: an ordinary long address is readable whole (its
// rows joined give it back), a huge one names what is left out, and either box lies within the screen.
TEST_F(Contract, ALongAddressIsShownInRowsInABoxWithinTheScreen) {
  const Text address150 = u"https://" + Text(137, u'a') + u".org/";
  const Text address1m = u"https://" + Text(999987, u'b') + u".org/";
  const struct {
    const char* name;
    Text address;
    Text shown;  // found in the box's text once its row breaks are taken out
  } cases[] = {
      {"150 characters: whole", address150, address150},
      {"1,000,000 characters: shortened", address1m, u"\u2026 997,000 characters left out \u2026"},
  };
  for (const auto& c : cases) {
    ShownMessageBox shown;
    Rect outer;
    driver().WhenWaiting([&] {
      shown = driver().CurrentMessageBox();
      outer = driver().OuterRect(shown.window);
      driver().DismissMessageBox();
    });
    ShowMessage(u"Site Not Approved", c.address + u"\r\n\r\nThis Site Not yet Approved.");
    Text joined;
    for (char16_t u : shown.text) {
      if (u != u'\r' && u != u'\n') joined += u;
    }
    EXPECT_NE(joined.find(c.shown), Text::npos) << driver().name() << ": " << c.name;
    EXPECT_LT(shown.text.size(), 2 * kBoxLineBound) << driver().name() << ": " << c.name;
    Rect screen = driver().Screen();
    EXPECT_TRUE(outer.width > 0 && outer.x >= screen.x && outer.y >= screen.y &&
                outer.x + outer.width <= screen.x + screen.width &&
                outer.y + outer.height <= screen.y + screen.height)
        << driver().name() << ": " << c.name << ": the box at " << outer.x << "," << outer.y << " size "
        << outer.width << "x" << outer.height << " on a screen of " << screen.width << "x" << screen.height;
  }
}

TEST_F(Contract, APostedEventReachesTheQueueWhileAMessageBoxIsOpen) {
  driver().WhenWaiting([&] { PostEvent(CloseWindowEvent); });
  driver().WhenWaiting([&] { driver().DismissMessageBox(); });
  ShowMessage(u"Information", u"Couldn't open  TrustFile_SafeSites.txt  file!");
  std::vector<Seen> seen = Take();
  bool closed = false;
  for (const Seen& e : seen) closed = closed || e.code == CloseWindowEvent;
  EXPECT_TRUE(closed) << driver().name();
}

}  // namespace
}  // namespace vw::testing
