// The event queue and the editor line model on their own, over the headless desktop: what the program gets
// from WaitEvent for what a back end reports, and the lines it reads back for the lines it added.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "ui/controls.h"
#include "ui/event_queue.h"

namespace vw {
namespace {

// What a back end (or the program) does, in order; `on` picks the control: 0 or 1 (made with CreateControl),
// 2 a handle the queue was never told of.
enum class Act { kPress, kChange, kProgramChange, kClose, kPost, kHandlePosted, kWait };
struct Step {
  Act act;
  int on = 0;
};
struct Got {
  std::int64_t code;
  int source;  // 0 or 1 as above, -1 none
  friend bool operator==(const Got&, const Got&) = default;
};
void PrintTo(const Got& got, std::ostream* os) {
  *os << "{" << got.code << ", " << got.source << "}";
}

struct QueueCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<Got> events;  // what WaitEvent returned at each kWait, then what was left waiting
};

constexpr std::int64_t kPosted = 4242;

TEST(EventQueue, DeliversWhatWasReportedInOrderOnceAndOnlyWhatTheProgramMade) {
  using enum Act;
  const QueueCase cases[] = {
      {"first in, first out", {{kPress, 0}, {kPress, 1}}, {{GadgetEvent, 0}, {GadgetEvent, 1}}},
      {"an event equal to the last one waiting is queued once",
       {{kPress, 0}, {kPress, 0}},
       {{GadgetEvent, 0}}},
      {"equal to an earlier one, not the last: queued",
       {{kPress, 0}, {kPress, 1}, {kPress, 0}},
       {{GadgetEvent, 0}, {GadgetEvent, 1}, {GadgetEvent, 0}}},
      {"equal to one already taken: queued",
       {{kPress, 0}, {kWait}, {kPress, 0}},
       {{GadgetEvent, 0}, {GadgetEvent, 0}}},
      {"another notice of the same control is another event",
       {{kPress, 0}, {kChange, 0}},
       {{GadgetEvent, 0}, {GadgetEvent, 0}}},
      {"what the program itself changes raises nothing",
       {{kProgramChange, 0}, {kPress, 1}},
       {{GadgetEvent, 1}}},
      {"a control the program did not make raises nothing", {{kPress, 2}}, {}},
      {"a close request queues one close event", {{kClose}, {kClose}}, {{CloseWindowEvent, -1}}},
      {"a press, then the close box", {{kPress, 0}, {kClose}}, {{GadgetEvent, 0}, {CloseWindowEvent, -1}}},
      {"a posted event waits until a loop handles it", {{kPost}, {kPress, 0}}, {{GadgetEvent, 0}}},
      {"a posted event is queued when handled, after what came before",
       {{kPress, 0}, {kPost}, {kHandlePosted}, {kPress, 1}},
       {{GadgetEvent, 0}, {kPosted, -1}, {GadgetEvent, 1}}},
      {"waiting with nothing queued handles one native message",
       {{kPost}, {kWait}, {kWait}},
       {{NativeMessageEvent, -1}, {kPosted, -1}}},
  };
  for (const QueueCase& c : cases) {
    HeadlessPlatform desk;
    Toolkit toolkit(desk);
    const Handle window = desk.CreateMainWindow(u"main", {0, 0, 200, 100});
    const Handle controls[] = {CreateControl(ControlKind::kButton, window, {0, 0, 50, 20}, u"a", 0),
                               CreateControl(ControlKind::kField, window, {0, 30, 50, 20}, u"", 0),
                               desk.CreateControl(ControlKind::kButton, window, {0, 60, 50, 20}, u"c", 0)};
    EventQueue& queue = toolkit.events;
    std::vector<Got> got;
    const auto take = [&] {
      const std::int64_t code = WaitEvent();
      const Handle source = EventSource();
      got.push_back(
          {code, source == 0 ? -1 : static_cast<int>(std::find(controls, controls + 3, source) - controls)});
    };
    for (const Step& step : c.steps) {
      switch (step.act) {
        case kPress:
          queue.ControlNotice(controls[step.on], window, Notice::kPressed);
          break;
        case kChange:
          queue.ControlNotice(controls[step.on], window, Notice::kChanged);
          break;
        case kProgramChange:
          SetText(controls[step.on], u"set by the program");  // the headless desktop reports it as a change
          break;
        case kClose:
          queue.CloseRequested(window);
          break;
        case kPost:
          ASSERT_EQ(PostEvent(kPosted), 1) << c.name;
          break;
        case kHandlePosted:
          desk.HandlePending();
          break;
        case kWait:
          take();
          break;
      }
    }
    while (queue.Waiting() > 0) take();
    EXPECT_EQ(got, c.events) << c.name;
  }
}

// Lines added to an empty editor, what the editor then holds, and what the line model reads back.
struct LinesCase {
  const char* name;
  std::vector<Text> added;
  Text text;                // the editor's text
  std::vector<Text> lines;  // LineText of 0 .. LineCount - 1
};

TEST(LineModel, TheLinesAddedAreTheLinesReadBack) {
  const LinesCase cases[] = {
      {"nothing added", {}, u"", {}},
      {"one line", {u"a"}, u"a", {u"a"}},
      {"lines are joined by line breaks", {u"a", u"b", u"c"}, u"a\nb\nc", {u"a", u"b", u"c"}},
      {"one empty line: the text stays empty", {u""}, u"", {u""}},
      {"two empty lines", {u"", u""}, u"\n", {u"", u""}},
      {"an empty line, then a line", {u"", u"a"}, u"\na", {u"", u"a"}},
      {"a line, then an empty one", {u"a", u""}, u"a\n", {u"a", u""}},
      {"empty lines around one", {u"", u"a", u""}, u"\na\n", {u"", u"a", u""}},
      {"one carriage return before a break is not part of the line",
       {u"a\r", u"b\r\r"},
       u"a\r\nb\r\r",
       {u"a", u"b\r"}},
      {"a long line comes back whole", {Text(100000, u'x')}, Text(100000, u'x'), {Text(100000, u'x')}},
  };
  for (const LinesCase& c : cases) {
    HeadlessPlatform desk;
    Toolkit toolkit(desk);
    const Handle window = desk.CreateMainWindow(u"main", {0, 0, 200, 100});
    const Handle editor = CreateControl(ControlKind::kEditor, window, {0, 0, 100, 100}, u"", 0);
    for (const Text& line : c.added) EXPECT_EQ(AddLine(editor, -1, line), 1) << c.name;
    EXPECT_EQ(GetText(editor), c.text) << c.name;
    std::vector<Text> lines;
    for (std::int64_t i = 0; i < LineCount(editor); ++i) lines.push_back(LineText(editor, i));
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_EQ(LineText(editor, LineCount(editor)), u"") << c.name;
    EXPECT_EQ(LineText(editor, -1), u"") << c.name;
    EXPECT_EQ(toolkit.events.Waiting(), 0u) << c.name << ": adding lines raises no event";
  }
}

TEST(LineModel, AnEditorChangedAfterItWasReadIsReadAfresh) {
  HeadlessPlatform desk;
  Toolkit toolkit(desk);
  const Handle window = desk.CreateMainWindow(u"main", {0, 0, 200, 100});
  const Handle editor = CreateControl(ControlKind::kEditor, window, {0, 0, 100, 100}, u"", 0);
  AddLine(editor, -1, u"a");
  ASSERT_EQ(LineCount(editor), 1);
  desk.UserType(editor, u"\nb");
  EXPECT_EQ(LineCount(editor), 2);
  EXPECT_EQ(LineText(editor, 1), u"b");
  SetText(editor, u"c");
  EXPECT_EQ(LineCount(editor), 1);
  EXPECT_EQ(LineText(editor, 0), u"c");
}

TEST(LineModel, WhatIsNoEditorHasNoLines) {
  HeadlessPlatform desk;
  Toolkit toolkit(desk);
  const Handle window = desk.CreateMainWindow(u"main", {0, 0, 200, 100});
  const Handle field = CreateControl(ControlKind::kField, window, {0, 0, 100, 20}, u"text", 0);
  for (const Handle h : {field, Handle{0}, Handle{0xDEAD}}) {
    EXPECT_EQ(AddLine(h, -1, u"a"), 0);
    EXPECT_EQ(LineCount(h), 0);
    EXPECT_EQ(LineText(h, 0), u"");
  }
  EXPECT_EQ(GetText(field), u"text");
}

}  // namespace
}  // namespace vw
