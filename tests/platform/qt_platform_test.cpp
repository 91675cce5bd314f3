// What only the Qt back end can show: the Qt widgets and properties behind the platform's promises, and the
// Qt pitfalls it has to get around (a disabled parent disables its child windows; changing the stays-on-top
// flag hides a window; a close event must be refused).
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/driver.h"
#include "platform/qt/qt_internal.h"

namespace vw::testing {
namespace {

using qt::Kind;
using qt::QtPlatform;

struct Record {
  enum class What { kNotice, kClose, kPosted };
  What what;
  Handle control = 0;
  Handle window = 0;
  Notice notice = Notice::kPressed;
  std::int64_t code = 0;
};

class RecordingSink final : public EventSink {
 public:
  void ControlNotice(Handle control, Handle window, Notice notice) override {
    log.push_back({Record::What::kNotice, control, window, notice, 0});
  }
  void CloseRequested(Handle window) override { log.push_back({Record::What::kClose, 0, window, {}, 0}); }
  void PostedArrived(std::int64_t code) override { log.push_back({Record::What::kPosted, 0, 0, {}, code}); }

  int Count(Record::What what, Handle control, Notice notice) const {
    int n = 0;
    for (const Record& r : log) n += r.what == what && r.control == control && r.notice == notice ? 1 : 0;
    return n;
  }
  std::vector<Record> log;
};

// The main window as the program builds it: a panel and the seven controls at their places.
struct MainWindow {
  Handle window = 0, panel = 0, sites_label = 0, links_label = 0, sites = 0, links = 0, field = 0, test = 0,
         save = 0;
  Handle font = 0;
};

class QtPlatformTest : public ::testing::Test {
 protected:
  QtPlatformTest() : driver_(MakeDriver()), p_(static_cast<QtPlatform&>(driver_->platform())) {
    p_.SetSink(&sink_);
  }
  ~QtPlatformTest() override { p_.SetSink(nullptr); }

  MainWindow Build() {
    MainWindow m;
    m.font = p_.MessageFont();
    m.window = p_.CreateMainWindow(u"Main", {0, 0, 580, 718});
    m.panel = p_.CreateControl(ControlKind::kPanel, m.window, {8, 8, 572, 708}, u"", m.font);
    m.sites_label = p_.CreateControl(ControlKind::kLabel, m.panel, {74, 4, 150, 25}, u"Sites & more", m.font);
    m.links_label = p_.CreateControl(ControlKind::kLabel, m.panel, {364, 4, 150, 25}, u"Links", m.font);
    m.sites = p_.CreateControl(ControlKind::kEditor, m.panel, {0, 34, 250, 540}, u"", m.font);
    m.links = p_.CreateControl(ControlKind::kEditor, m.panel, {280, 34, 250, 540}, u"", m.font);
    m.field = p_.CreateControl(ControlKind::kField, m.panel, {0, 586, 528, 25}, u"", m.font);
    m.test = p_.CreateControl(ControlKind::kButton, m.panel, {0, 620, 528, 25}, u"Test This Link", m.font);
    m.save = p_.CreateControl(ControlKind::kButton, m.panel, {186, 662, 150, 25}, u"Save All FIles", m.font);
    return m;
  }

  template <typename W>
  W* As(Handle h) {
    return qobject_cast<W*>(p_.WidgetOf(h));
  }

  std::unique_ptr<Driver> driver_;
  QtPlatform& p_;
  RecordingSink sink_;
};

TEST_F(QtPlatformTest, MainWindowHasAFixedClientAreaWithItsOuterCornerAtTheOrigin) {
  MainWindow m = Build();
  QWidget* w = p_.WidgetOf(m.window);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->size(), QSize(580, 718));
  EXPECT_EQ(w->minimumSize(), QSize(580, 718));
  EXPECT_EQ(w->maximumSize(), QSize(580, 718));
  EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(0, 0));
  // The close box is the contract tests'; a window of fixed size offers no minimize or maximize button.
  EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(w->windowIcon().isNull()) << "the program's icon";
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(QApplication::activeWindow(), w);
  EXPECT_EQ(p_.ForegroundWindow(), m.window);
}

TEST_F(QtPlatformTest, ControlsSitAtTheirRectanglesInsideThePanelsBorder) {
  MainWindow m = Build();
  struct Case {
    Handle control;
    Rect rect;
  };
  const Case cases[] = {
      {m.panel, {8, 8, 572, 708}},  {m.sites_label, {74, 4, 150, 25}}, {m.links_label, {364, 4, 150, 25}},
      {m.sites, {0, 34, 250, 540}}, {m.links, {280, 34, 250, 540}},    {m.field, {0, 586, 528, 25}},
      {m.test, {0, 620, 528, 25}},  {m.save, {186, 662, 150, 25}},
  };
  for (const Case& c : cases) {
    Rect r = driver_->ChildRect(c.control);
    EXPECT_EQ(r.x, c.rect.x) << c.control;
    EXPECT_EQ(r.y, c.rect.y) << c.control;
    EXPECT_EQ(r.width, c.rect.width) << c.control;
    EXPECT_EQ(r.height, c.rect.height) << c.control;
  }
  // The panel's children count from its inner area: inside the raised border, not from its corner.
  auto* panel = As<QFrame>(m.panel);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
  EXPECT_GT(panel->frameWidth(), 0);
  EXPECT_EQ(panel->focusPolicy(), Qt::NoFocus);
  QWidget* sites = p_.WidgetOf(m.sites);
  QPoint in_window = sites->mapTo(p_.WidgetOf(m.window), QPoint(0, 0));
  EXPECT_EQ(in_window, QPoint(8 + panel->frameWidth(), 8 + panel->frameWidth() + 34));
}

TEST_F(QtPlatformTest, LabelsShowAnAmpersandAsTyped) {
  MainWindow m = Build();
  auto* label = As<QLabel>(m.sites_label);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->buddy(), nullptr);
  EXPECT_FALSE(label->wordWrap());
  EXPECT_EQ(label->text(), QStringLiteral("Sites & more"));
  EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
}

TEST_F(QtPlatformTest, EditorsDoNotWrapScrollAsNeededAndKeepTheSelectionVisible) {
  MainWindow m = Build();
  auto* editor = As<QPlainTextEdit>(m.sites);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(editor->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  EXPECT_EQ(editor->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  EXPECT_FALSE(editor->isReadOnly());
  EXPECT_FALSE(editor->tabChangesFocus());
  EXPECT_EQ(editor->maximumBlockCount(), 0);
  EXPECT_TRUE(editor->isUndoRedoEnabled());
  QPalette palette = editor->palette();
  EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight),
            palette.color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::HighlightedText),
            palette.color(QPalette::Active, QPalette::HighlightedText));
}

// After loading, both editors show their left edge and the last line, the insertion point after it, wherever
// the longest line is; a long line stays one row. The sites editor's load ends as the program's do, with the
// undo history forgotten (the appends then go in at once); the links editor keeps each line an undo step.
TEST_F(QtPlatformTest, AfterLoadingTheViewShowsTheLeftEdgeAndTheLastLine) {
  MainWindow m = Build();
  struct Case {
    const char* name;
    int shorts_before, long_length, shorts_after;
  };
  const Case cases[] = {
      {"a long line last", 100, 2000, 0},
      {"a 320-character line first", 0, 320, 100},
      {"a 320-character line amid short ones", 50, 320, 50},
      {"few lines, the long one last", 2, 320, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (Handle editor : {m.sites, m.links}) p_.SetText(editor, u"");
    Text text;
    auto add = [&](const Text& line) {
      for (Handle editor : {m.sites, m.links}) p_.AppendText(editor, text.empty() ? line : u"\n" + line);
      text += text.empty() ? line : u"\n" + line;
    };
    for (int i = 0; i < c.shorts_before; ++i) add(u"short");
    add(Text(static_cast<std::size_t>(c.long_length), u'x'));
    for (int i = 0; i < c.shorts_after; ++i) add(u"last");
    p_.ForgetUndo(m.sites);
    driver_->ProcessPending();
    for (Handle handle : {m.sites, m.links}) {
      auto* editor = As<QPlainTextEdit>(handle);
      EXPECT_EQ(editor->document()->isUndoAvailable(), handle == m.links);
      EXPECT_EQ(editor->document()->lineCount(), c.shorts_before + 1 + c.shorts_after);
      EXPECT_GT(editor->horizontalScrollBar()->maximum(), 0);
      EXPECT_EQ(editor->horizontalScrollBar()->value(), 0);
      const QRect caret = editor->cursorRect();  // the last line, whole, above the horizontal scroll bar
      EXPECT_GE(caret.top(), 0);
      EXPECT_LE(caret.bottom(), editor->viewport()->height());
      EXPECT_EQ(editor->textCursor().position(), editor->document()->characterCount() - 1);
      EXPECT_EQ(p_.GetText(handle), text);
    }
  }
}

// What the administrator types and copies is what a save writes: every key that starts a row starts an entry,
// typed glyphs are themselves, a stand-in changes no neighbour, and Ctrl+C puts the real characters on the
// clipboard.
TEST_F(QtPlatformTest, KeysAndTypedCharactersGiveWhatASaveWritesAndCopyCopiesIt) {
  MainWindow m = Build();
  struct Step {
    Text typed;  // typed at the end of the text; empty: the key below
    Qt::Key key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  };
  struct Case {
    const char* name;
    Text loaded;
    std::vector<Step> steps;
    Text saved;
  };
  const Case cases[] = {
      {"Shift+Return starts an entry",
       u"",
       {{u"s1"}, {u"", Qt::Key_Return, Qt::ShiftModifier}, {u"s2"}},
       u"s1\ns2"},
      {"Ctrl+Return starts an entry",
       u"",
       {{u"s1"}, {u"", Qt::Key_Return, Qt::ControlModifier}, {u"s2"}},
       u"s1\ns2"},
      {"Enter on the keypad", u"a", {{u"", Qt::Key_Enter, Qt::KeypadModifier}, {u"b"}}, u"a\nb"},
      {"typed glyphs are themselves", u"", {{u"q\u2E2E\u2E2Er\nx\u21B5y"}}, u"q\u2E2E\u2E2Er\nx\u21B5y"},
      {"typed U+2028 and a noncharacter stay themselves", u"", {{u"a\u2028b\uFDD0"}}, u"a\u2028b\uFDD0"},
      {"a glyph typed after a stand-in", u"a\u2028", {{u"\u21B5\u2E2E"}}, u"a\u2028\u21B5\u2E2E"},
      {"deleting a glyph before a stand-in",
       u"\u2E2E\u2028b",
       {{u"", Qt::Key_Home, Qt::ControlModifier}, {u"", Qt::Key_Delete}},
       u"\u2028b"},
      {"a no-break space and an astral character", u"a\u00A0b", {{u"\U0001F600"}}, u"a\u00A0b\U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    p_.SetText(m.sites, c.loaded);
    driver_->Click(m.sites);
    QWidget* editor = p_.WidgetOf(m.sites);
    for (const Step& step : c.steps) {
      if (!step.typed.empty()) {
        driver_->Type(m.sites, step.typed);
      } else {
        QTest::keyClick(editor, step.key, step.modifiers);
      }
    }
    EXPECT_EQ(p_.GetText(m.sites), c.saved);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdU16String(), c.saved);
  }
}

TEST_F(QtPlatformTest, LinkFieldTakesAMegaCharacterAndCtrlASelectsAll) {
  MainWindow m = Build();
  auto* field = As<QLineEdit>(m.field);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->maxLength(), 1048576);
  EXPECT_TRUE(field->hasFrame());
  driver_->Type(m.field, u"abc def");
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(field->selectedText(), QStringLiteral("abc def"));
}

// The field shows line breaks, NUL and separators by stand-ins, reads back the real characters, and undoes
// and redoes a paste whole with Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z.
TEST_F(QtPlatformTest, LinkFieldShowsWhatItHoldsAndUndoesAndRedoesAPasteWhole) {
  MainWindow m = Build();
  auto* field = As<QLineEdit>(m.field);
  ASSERT_NE(field, nullptr);
  const Text real(u"a\r\nb\0c\u2028d", 8);
  const QString shown = QString::fromUtf16(u"a\u240D\u240Ab\u2400c\u21B5d");
  p_.SetText(m.field, real);
  EXPECT_EQ(field->text(), shown);
  EXPECT_EQ(p_.GetText(m.field), real);
  p_.SetText(m.field, u"x");
  driver_->Click(m.field);
  QTest::keyClick(field, Qt::Key_End);
  QGuiApplication::clipboard()->setText(qt::ToQ(real));
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field->text(), QStringLiteral("x") + shown);
  EXPECT_EQ(p_.GetText(m.field), u"x" + real);
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(p_.GetText(m.field), u"x");
  QTest::keyClick(field, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(p_.GetText(m.field), u"x" + real);
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(p_.GetText(m.field), u"x" + real);
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), qt::ToQ(u"x" + real));
}

TEST_F(QtPlatformTest, ButtonsLookDefaultSpacePressesAndEnterDoesNot) {
  MainWindow m = Build();
  for (Handle button : {m.test, m.save}) {
    auto* b = As<QPushButton>(button);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->isDefault());
    b->setFocus();
    ASSERT_EQ(driver_->Focused(), button);
    driver_->PressKey(Key::kEnter);
    EXPECT_EQ(sink_.Count(Record::What::kNotice, button, Notice::kPressed), 0);
    driver_->PressKey(Key::kSpace);
    EXPECT_EQ(sink_.Count(Record::What::kNotice, button, Notice::kPressed), 1);
  }
  // The notice names the main window as the control's window.
  for (const Record& r : sink_.log) {
    if (r.what == Record::What::kNotice) {
      EXPECT_EQ(r.window, m.window);
    }
  }
}

TEST_F(QtPlatformTest, EveryControlGetsTheFontObjectItWasGiven) {
  MainWindow m = Build();
  const QFont* font = p_.FontObject(m.font);
  ASSERT_NE(font, nullptr);
  for (Handle control : {m.sites_label, m.links_label, m.sites, m.links, m.field, m.test, m.save}) {
    EXPECT_EQ(p_.FontOf(control), m.font);
    EXPECT_EQ(p_.WidgetOf(control)->font(), *font);
  }
  // A new message font object each call; one default GUI font.
  Handle second = p_.MessageFont();
  EXPECT_NE(second, m.font);
  EXPECT_NE(second, 0u);
  EXPECT_EQ(*p_.FontObject(second), *font);
  EXPECT_EQ(p_.DefaultGuiFont(), p_.DefaultGuiFont());
  EXPECT_NE(p_.DefaultGuiFont(), 0u);
}

TEST_F(QtPlatformTest, EditorTextRoundTripsWithNewlineAsTheOnlyLineBreak) {
  MainWindow m = Build();
  const Text cases[] = {
      u"",
      u"a",
      u"a\nb",
      u"a\n",
      u"\n",
      u"\n\nx",
      u"no\u00A0break space",  // kept as typed, not turned into a plain space
      u"line\u2028separator",  // a character inside a line, not a break
      u"smile \U0001F600 twice \U0001F600",
      u"tab\there",
      Text(5000, u'y') + u"\n" + Text(70000, u'z'),
  };
  for (const Text& text : cases) {
    p_.SetText(m.sites, text);
    EXPECT_EQ(p_.GetText(m.sites), text);
    EXPECT_EQ(p_.TextLength(m.sites), static_cast<std::int64_t>(text.size()));
    p_.SetText(m.links, u"");
    p_.AppendText(m.links, text);
    EXPECT_EQ(p_.GetText(m.links), text);
    EXPECT_EQ(p_.TextLength(m.links), static_cast<std::int64_t>(text.size()));
  }
}

TEST_F(QtPlatformTest, EachAppendIsItsOwnUndoStepAndLeavesTheCaretAfterIt) {
  MainWindow m = Build();
  // Plain appends right after each other would merge in Qt's undo history if they were not kept apart.
  const Text pieces[] = {u"one", u"two", u"\nthree", u"\n", u"four"};
  Text whole;
  std::vector<Text> states{whole};
  for (const Text& piece : pieces) {
    p_.AppendText(m.sites, piece);
    whole += piece;
    states.push_back(whole);
    QTextCursor cursor = As<QPlainTextEdit>(m.sites)->textCursor();
    EXPECT_EQ(cursor.position(), static_cast<int>(whole.size()));
    EXPECT_FALSE(cursor.hasSelection());
  }
  ASSERT_EQ(p_.GetText(m.sites), whole);
  driver_->Click(m.sites);
  for (std::size_t i = states.size() - 1; i > 0; --i) {
    driver_->PressKey(Key::kUndo);
    EXPECT_EQ(p_.GetText(m.sites), states[i - 1]) << "after undoing piece " << i;
  }
}

TEST_F(QtPlatformTest, RevisionMovesWithEveryChangeAndOnlyThen) {
  MainWindow m = Build();
  for (Handle control : {m.sites, m.field}) {
    std::uint64_t r0 = p_.TextRevision(control);
    p_.SetText(control, u"abc");
    std::uint64_t r1 = p_.TextRevision(control);
    EXPECT_NE(r1, r0);
    (void)p_.GetText(control);
    (void)p_.TextLength(control);
    EXPECT_EQ(p_.TextRevision(control), r1);
    driver_->Type(control, u"d");
    EXPECT_NE(p_.TextRevision(control), r1);
  }
  std::uint64_t r = p_.TextRevision(m.sites);
  p_.AppendText(m.sites, u"\nmore");
  std::uint64_t appended = p_.TextRevision(m.sites);
  EXPECT_NE(appended, r);
  // Putting the text back on the view after a run of appends is no change.
  p_.AttachEditors();
  EXPECT_EQ(p_.TextRevision(m.sites), appended);
}

TEST_F(QtPlatformTest, AppendedLinesAreOnTheViewOnceTheLoopHandlesAMessage) {
  MainWindow m = Build();
  auto* editor = As<QPlainTextEdit>(m.sites);
  ASSERT_NE(editor, nullptr);
  for (const char16_t* line : {u"one", u"\ntwo", u"\nthree"}) p_.AppendText(m.sites, line);
  EXPECT_EQ(p_.GetText(m.sites), u"one\ntwo\nthree");  // readable at once
  EXPECT_EQ(p_.TextLength(m.sites), 13);
  p_.PostToSelf(1);
  p_.WaitAndHandleMessage();
  EXPECT_EQ(editor->document()->toPlainText(), QStringLiteral("one\ntwo\nthree"));
  EXPECT_EQ(editor->textCursor().position(), 13);
  EXPECT_EQ(editor->document()->blockCount(), 3);
  EXPECT_EQ(editor->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(editor->document()->defaultTextOption().wrapMode(), QTextOption::NoWrap);
  EXPECT_EQ(editor->document()->defaultFont(), *p_.FontObject(m.font));
  editor->document()->undo();
  EXPECT_EQ(p_.GetText(m.sites), u"one\ntwo");
}

TEST_F(QtPlatformTest, ProgramChangesAndFocusAreReportedAsTheControlsReportThem) {
  MainWindow m = Build();
  p_.AppendText(m.sites, u"x");
  p_.SetText(m.field, u"https://example.org/");
  EXPECT_GE(sink_.Count(Record::What::kNotice, m.sites, Notice::kChanged), 1);
  EXPECT_GE(sink_.Count(Record::What::kNotice, m.field, Notice::kChanged), 1);
  driver_->Click(m.links);
  driver_->Click(m.field);
  EXPECT_EQ(sink_.Count(Record::What::kNotice, m.links, Notice::kFocusGained), 1);
  EXPECT_EQ(sink_.Count(Record::What::kNotice, m.links, Notice::kFocusLost), 1);
  EXPECT_EQ(sink_.Count(Record::What::kNotice, m.field, Notice::kFocusGained), 1);
  // Labels and the panel report nothing.
  for (const Record& r : sink_.log) {
    EXPECT_NE(r.control, m.sites_label);
    EXPECT_NE(r.control, m.panel);
  }
}

TEST_F(QtPlatformTest, CloseRequestIsReportedOnceAndTheWindowStays) {
  MainWindow m = Build();
  driver_->CloseBox(m.window);
  ASSERT_EQ(sink_.log.size(), 1u);
  EXPECT_EQ(sink_.log[0].what, Record::What::kClose);
  EXPECT_EQ(sink_.log[0].window, m.window);
  EXPECT_TRUE(driver_->Exists(m.window));
  EXPECT_TRUE(driver_->IsVisible(m.window));
  // Also when the request comes straight from the window system's side of Qt.
  sink_.log.clear();
  EXPECT_FALSE(p_.WidgetOf(m.window)->close());
  EXPECT_EQ(sink_.log.size(), 1u);
  EXPECT_TRUE(driver_->IsVisible(m.window));
  // A disabled window's close box does nothing.
  sink_.log.clear();
  p_.SetEnabled(m.window, false);
  p_.WidgetOf(m.window)->close();
  EXPECT_TRUE(sink_.log.empty());
  EXPECT_TRUE(driver_->IsVisible(m.window));
}

TEST_F(QtPlatformTest, PostedCodesArriveWhenTheLoopHandlesThemInOrder) {
  Build();
  ASSERT_TRUE(p_.PostToSelf(13116));
  ASSERT_TRUE(p_.PostToSelf(7));
  EXPECT_TRUE(sink_.log.empty());  // not before a loop handles them
  p_.WaitAndHandleMessage();
  ASSERT_EQ(sink_.log.size(), 2u);
  EXPECT_EQ(sink_.log[0].what, Record::What::kPosted);
  EXPECT_EQ(sink_.log[0].code, 13116);
  EXPECT_EQ(sink_.log[1].code, 7);
}

TEST_F(QtPlatformTest, SetTopmostNeitherHidesMovesNorResizes) {
  MainWindow m = Build();
  QWidget* w = p_.WidgetOf(m.window);
  QRect before = w->frameGeometry();
  p_.SetTopmost(m.window, true);
  EXPECT_TRUE(p_.IsTopmost(m.window));
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(w->frameGeometry(), before);
  EXPECT_EQ(p_.ForegroundWindow(), m.window);
  p_.SetTopmost(m.window, false);
  EXPECT_FALSE(p_.IsTopmost(m.window));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->frameGeometry(), before);
}

TEST_F(QtPlatformTest, MessageBoxIsOwnedButNoChildSoDisablingTheOwnerLeavesItUsable) {
  MainWindow m = Build();
  bool checked = false;
  driver_->WhenWaiting([&] {
    checked = true;
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) box = b;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(p_.IsEnabled(m.window));
    ASSERT_NE(box->windowHandle(), nullptr);
    EXPECT_EQ(box->windowHandle()->transientParent(), p_.WidgetOf(m.window)->windowHandle());
    // "\r\n" is shown as a line break.
    bool shown = false;
    for (QLabel* label : box->findChildren<QLabel*>())
      shown = shown || label->text() == QStringLiteral("one\ntwo");
    EXPECT_TRUE(shown);
    ShownMessageBox s = driver_->CurrentMessageBox();
    EXPECT_EQ(s.title, u"Title");
    EXPECT_EQ(s.text, u"one\r\ntwo");
    EXPECT_EQ(s.button_count, 1);
    EXPECT_FALSE(s.has_icon);
    EXPECT_EQ(p_.ForegroundWindow(), s.window);
    driver_->DismissMessageBox();
  });
  EXPECT_EQ(p_.MessageBox(m.window, u"Title", u"one\r\ntwo"), 1);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(p_.IsEnabled(m.window));
  EXPECT_EQ(driver_->CurrentMessageBox().window, 0u);
}

// Ctrl+V through the real clipboard into a filled editor: plain text at the caret, over the selection only;
// every CR, LF, CR LF and NUL is a line break, every other character is kept as it was copied.
struct PasteCase {
  const char* name;
  std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;  // where the caret goes first
  QString clipboard;                                            // null: an image, no text
  bool rich;                                                    // offered as HTML as well
  Text expected;
};

TEST_F(QtPlatformTest, PasteInsertsPlainTextAtTheCaretReplacingOnlyTheSelection) {
  MainWindow m = Build();
  const std::pair<Qt::Key, Qt::KeyboardModifiers> select_b[] = {
      {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_Down, Qt::NoModifier}, {Qt::Key_End, Qt::ShiftModifier}};
  const PasteCase cases[] = {
      {"end, Return, paste",
       {{Qt::Key_End, Qt::ControlModifier}, {Qt::Key_Return, Qt::NoModifier}},
       "AA",
       false,
       u"a\nb\nc\nAA"},
      {"at the start", {{Qt::Key_Home, Qt::ControlModifier}}, "AA", false, u"AAa\nb\nc"},
      {"over a selected line", {std::begin(select_b), std::end(select_b)}, "XY", false, u"a\nXY\nc"},
      {"rich text as plain", {{Qt::Key_End, Qt::ControlModifier}}, "B", true, u"a\nb\ncB"},
      {"line ends and NUL break the line, separators stay",
       {{Qt::Key_End, Qt::ControlModifier}},
       QString::fromUtf16(u"1\r\n2\r3\u20294\u20285\u00006\n7", 14),
       false,
       u"a\nb\nc1\n2\n3\u20294\u20285\n6\n7"},
      {"markers and glyphs stay themselves",
       {{Qt::Key_Home, Qt::ControlModifier}},
       QString::fromUtf16(u"\uFDD0\uFDD1\uFFFC\u21B5\u2E2E\u2E2E"),
       false,
       u"\uFDD0\uFDD1\uFFFC\u21B5\u2E2E\u2E2Ea\nb\nc"},
      {"no text over a selection", {std::begin(select_b), std::end(select_b)}, QString(), false, u"a\nb\nc"},
      {"empty text over a selection", {std::begin(select_b), std::end(select_b)}, "", false, u"a\nb\nc"},
  };
  for (const PasteCase& c : cases) {
    p_.SetText(m.sites, u"a\nb\nc");
    driver_->Click(m.sites);
    QWidget* editor = p_.WidgetOf(m.sites);
    for (const auto& [key, modifiers] : c.keys) QTest::keyClick(editor, key, modifiers);
    auto* data = new QMimeData;
    if (c.clipboard.isNull()) {
      data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    } else {
      data->setText(c.clipboard);
    }
    if (c.rich) data->setHtml(QStringLiteral("<b>bold</b>"));
    QGuiApplication::clipboard()->setMimeData(data);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(p_.GetText(m.sites), c.expected) << c.name;
  }
}

// The box shows the rows it is given (ui decides them), each on one row, never wrapped nor cut (what does not
// fit the screen scrolls inside the box), the box on the screen; Ctrl+C copies the text as given.
TEST_F(QtPlatformTest, AMessageBoxShowsEachGivenRowWholeOnTheScreenAndCtrlCCopiesTheText) {
  MainWindow m = Build();
  auto address_rows = [](std::size_t length, std::size_t row, char16_t unit) {
    Text text = u"https://";
    while (text.size() < length) text += unit;
    for (std::size_t at = length - length % row; at > 0; at -= row) {
      if (at < text.size()) text.insert(at, u"\r\n");
    }
    return text;
  };
  Text many_rows;
  for (int i = 0; i < 200; ++i) many_rows += u"row " + Utf8ToText(std::to_string(i)) + u"\r\n";
  const Text huge_row = Text(1000000, u'h') + u"\r\nend";
  struct Case {
    const char* name;
    Text text;
    std::vector<QString> rows;  // empty: the given lines
  };
  const Case cases[] = {
      {"a 150-character address in rows of 100",
       address_rows(150, 100, u'a') + u"\r\n\r\nThis Site is NOT Approved !",
       {}},
      {"thirty rows of 100 wide characters", address_rows(3000, 100, u'W'), {}},
      {"more rows than the screen holds", many_rows, {}},
      {"a separator shown by its stand-in", u"a\u2028b\nc\rd", {"a\u21B5b", "c", "d"}},
      {"a row of a million, not from ui: its two ends",
       huge_row,
       {QString(2000, u'h') + QChar(u'\u2026') + QString(2000, u'h'), "end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<QString> expected = c.rows;
    if (expected.empty()) {
      for (const QString& line : QString::fromStdU16String(c.text).split(QStringLiteral("\r\n"))) {
        expected.push_back(line);
      }
    }
    QString copied;
    driver_->WhenWaiting([&] {
      ShownMessageBox shown = driver_->CurrentMessageBox();
      auto* box = qobject_cast<QMessageBox*>(p_.WidgetOf(shown.window));
      ASSERT_NE(box, nullptr);
      QGuiApplication::clipboard()->clear();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
      copied = QGuiApplication::clipboard()->text();
      auto* label = box->findChild<QLabel*>(QStringLiteral("vw_shown_text"));
      auto* area = box->findChild<QScrollArea*>(QStringLiteral("vw_shown_rows"));
      if (label == nullptr || area == nullptr) {
        ADD_FAILURE() << "the box does not show its rows in a scrolling label";
        return driver_->DismissMessageBox();
      }
      EXPECT_FALSE(label->wordWrap());
      const QStringList rows = label->text().split(QChar(u'\n'));
      EXPECT_EQ(std::vector<QString>(rows.begin(), rows.end()), expected);
      EXPECT_EQ(label->size(), label->sizeHint()) << "a row is cut off";
      EXPECT_EQ(area->horizontalScrollBar()->isVisible(), label->width() > area->viewport()->width());
      EXPECT_EQ(area->verticalScrollBar()->isVisible(), label->height() > area->viewport()->height());
      EXPECT_TRUE(box->rect().contains(area->geometry()));
      EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().contains(box->frameGeometry()))
          << box->frameGeometry().width() << "x" << box->frameGeometry().height();
      driver_->DismissMessageBox();
    });
    p_.MessageBox(m.window, u"Site Not Approved", c.text);
    EXPECT_EQ(copied.toStdU16String(), c.text);
  }
}

TEST_F(QtPlatformTest, MessageBoxLeavesAnOwnerThatWasDisabledDisabled) {
  MainWindow m = Build();
  p_.SetEnabled(m.window, false);
  driver_->WhenWaiting([&] { driver_->DismissMessageBox(); });
  EXPECT_EQ(p_.MessageBox(m.window, u"T", u"x"), 1);
  EXPECT_FALSE(p_.IsEnabled(m.window));
}

TEST_F(QtPlatformTest, PostedCodesReachTheSinkInsideAMessageBox) {
  MainWindow m = Build();
  driver_->WhenWaiting([&] { p_.PostToSelf(13116); });
  driver_->WhenWaiting([&] {
    EXPECT_EQ(sink_.log.empty() ? 0 : sink_.log.back().code, 13116);
    driver_->DismissMessageBox();
  });
  p_.MessageBox(m.window, u"T", u"x");
  EXPECT_FALSE(driver_->StepsLeft());
}

// --- The prompt window.

class Reactions final : public PromptHandler {
 public:
  explicit Reactions(std::function<void()> on_any = {}) : on_any_(std::move(on_any)) {}
  void PromptCommand(int command) override {
    commands.push_back(command);
    if (on_any_) on_any_();
  }
  void PromptCloseRequested() override {
    ++close_requests;
    if (on_any_) on_any_();
  }
  void PromptActivated() override { ++activations; }
  std::vector<int> commands;
  int close_requests = 0;
  int activations = 0;

 private:
  std::function<void()> on_any_;
};

TEST_F(QtPlatformTest, PromptWindowHasItsOuterSizeInTheScreensMiddleAndItsThreeParts) {
  MainWindow m = Build();
  Handle font = p_.MessageFont();
  PromptWindowSpec request{u"Password", u"Type the password", u"abc", true, m.window, font};
  Handle prompt = p_.CreatePromptWindow(request);
  ASSERT_NE(prompt, 0u);
  QWidget* w = p_.WidgetOf(prompt);
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(w->frameGeometry(), QRect(screen.width() / 2 - 250, screen.height() / 2 - 70, 500, 140));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->parentWidget(), nullptr);
  EXPECT_EQ(w->windowHandle()->transientParent(), p_.WidgetOf(m.window)->windowHandle());
  Qt::WindowFlags flags = w->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(w->palette().color(QPalette::Window), w->palette().color(QPalette::Button));
  EXPECT_FALSE(w->windowIcon().isNull());

  struct Part {
    Handle handle;
    QRect rect;
  };
  const Part parts[] = {
      {driver_->PromptLabel(prompt), QRect(10, 10, 480, 22)},
      {driver_->PromptField(prompt), QRect(10, 32, 465, 21)},
      {driver_->PromptOkButton(prompt), QRect(210, 67, 80, 25)},
  };
  for (const Part& part : parts) {
    QWidget* widget = p_.WidgetOf(part.handle);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), part.rect);
    EXPECT_EQ(widget->font(), *p_.FontObject(font));
    EXPECT_EQ(driver_->FontOf(part.handle), font);
  }
  auto* field = As<QLineEdit>(driver_->PromptField(prompt));
  EXPECT_EQ(field->echoMode(), QLineEdit::Password);
  EXPECT_GT(field->maxLength(), 1 << 30);
  EXPECT_EQ(field->text(), QStringLiteral("abc"));
  EXPECT_EQ(field->cursorPosition(), 3);
  EXPECT_FALSE(field->hasSelectedText());
  EXPECT_EQ(driver_->Focused(), driver_->PromptField(prompt));
  EXPECT_EQ(p_.ForegroundWindow(), prompt);
  EXPECT_FALSE(driver_->PromptLabelWraps(prompt));
  EXPECT_TRUE(As<QPushButton>(driver_->PromptOkButton(prompt))->isDefault());
  EXPECT_EQ(As<QPushButton>(driver_->PromptOkButton(prompt))->text(), QStringLiteral("OK"));
  p_.DestroyPromptWindow(prompt);
  EXPECT_FALSE(driver_->Exists(prompt));
  EXPECT_EQ(driver_->PromptField(prompt), 0u);
}

// Without an owner there is no frame to go by beforehand: the outer size comes right once the window system
// has told the prompt's own frame.
TEST_F(QtPlatformTest, PromptOuterSizeHoldsWithoutAnOwnerToo) {
  Build();
  Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"", false, 0, p_.DefaultGuiFont()});
  driver_->ProcessPending();
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(p_.WidgetOf(prompt)->frameGeometry(),
            QRect(screen.width() / 2 - 250, screen.height() / 2 - 70, 500, 140));
  p_.DestroyPromptWindow(prompt);
}

TEST_F(QtPlatformTest, PromptLabelCutsALongTextOffOnOneLine) {
  Build();
  Text long_prompt(400, u'w');
  Handle prompt = p_.CreatePromptWindow({u"T", long_prompt, u"", false, 0, p_.DefaultGuiFont()});
  auto* label = As<QLabel>(driver_->PromptLabel(prompt));
  ASSERT_NE(label, nullptr);
  EXPECT_FALSE(label->wordWrap());
  EXPECT_EQ(label->height(), 22);
  EXPECT_EQ(label->text().size(), 400);
  EXPECT_GT(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  p_.DestroyPromptWindow(prompt);
}

// Which reaction each user action gives, from either of the prompt's focusable parts.
TEST_F(QtPlatformTest, PromptKeysAndButtonGiveTheirCommands) {
  MainWindow m = Build();
  enum class Action { kEnter, kEscape, kSpace, kClickOk, kCloseBox };
  struct Case {
    const char* name;
    bool focus_on_ok;
    Action action;
    std::vector<int> commands;
    int closes;
  };
  const Case cases[] = {
      {"Enter in field", false, Action::kEnter, {kPromptOk}, 0},
      {"Enter on OK", true, Action::kEnter, {kPromptOk}, 0},
      {"Escape in field", false, Action::kEscape, {kPromptCancel}, 0},
      {"Escape on OK", true, Action::kEscape, {kPromptCancel}, 0},
      {"Space on OK", true, Action::kSpace, {kPromptOk}, 0},
      {"Space in field", false, Action::kSpace, {}, 0},
      {"click on OK", false, Action::kClickOk, {kPromptOk}, 0},
      {"close box", false, Action::kCloseBox, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"", false, m.window, p_.DefaultGuiFont()});
    if (c.focus_on_ok) driver_->PressKey(Key::kTab);
    ASSERT_EQ(driver_->Focused(),
              c.focus_on_ok ? driver_->PromptOkButton(prompt) : driver_->PromptField(prompt));
    driver_->WhenWaiting([&] {
      switch (c.action) {
        case Action::kEnter:
          return driver_->PressKey(Key::kEnter);
        case Action::kEscape:
          return driver_->PressKey(Key::kEscape);
        case Action::kSpace:
          return driver_->PressKey(Key::kSpace);
        case Action::kClickOk:
          return driver_->Click(driver_->PromptOkButton(prompt));
        case Action::kCloseBox:
          return driver_->CloseBox(prompt);
      }
    });
    Reactions reactions;
    for (int i = 0; i < 20 && driver_->StepsLeft(); ++i) ASSERT_TRUE(p_.PumpPromptMessage(prompt, reactions));
    ASSERT_FALSE(driver_->StepsLeft());
    EXPECT_EQ(reactions.commands, c.commands);
    EXPECT_EQ(reactions.close_requests, c.closes);
    EXPECT_TRUE(driver_->IsVisible(prompt));  // the back end closes nothing by itself
    p_.DestroyPromptWindow(prompt);
    EXPECT_FALSE(driver_->Exists(prompt));
  }
}

TEST_F(QtPlatformTest, TabAndShiftTabMoveBetweenFieldAndOkOnly) {
  Build();
  Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"", false, 0, p_.DefaultGuiFont()});
  Handle field = driver_->PromptField(prompt);
  Handle ok = driver_->PromptOkButton(prompt);
  ASSERT_EQ(driver_->Focused(), field);
  driver_->PressKey(Key::kTab);
  EXPECT_EQ(driver_->Focused(), ok);
  driver_->PressKey(Key::kTab);
  EXPECT_EQ(driver_->Focused(), field);
  driver_->PressKey(Key::kShiftTab);
  EXPECT_EQ(driver_->Focused(), ok);
  p_.DestroyPromptWindow(prompt);
}

TEST_F(QtPlatformTest, HandlerMayDestroyThePromptFromItsReaction) {
  MainWindow m = Build();
  p_.SetEnabled(m.window, false);  // as the dialog code does before it opens the prompt
  Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"typed", false, m.window, p_.DefaultGuiFont()});
  Text confirmed;
  Reactions reactions([&] {
    confirmed = p_.PromptFieldText(prompt);
    p_.SetEnabled(m.window, true);
    p_.DestroyPromptWindow(prompt);
  });
  driver_->WhenWaiting([&] { driver_->PressKey(Key::kEnter); });
  for (int i = 0; i < 20 && driver_->StepsLeft(); ++i) ASSERT_TRUE(p_.PumpPromptMessage(prompt, reactions));
  EXPECT_EQ(confirmed, u"typed");
  EXPECT_FALSE(driver_->Exists(prompt));
  EXPECT_FALSE(p_.PumpPromptMessage(prompt, reactions));  // nothing left to pump for
  // The activation went back to the owner.
  EXPECT_EQ(p_.ForegroundWindow(), m.window);
}

TEST_F(QtPlatformTest, ComingBackToThePromptReportsItsActivation) {
  MainWindow m = Build();
  Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"", false, m.window, p_.DefaultGuiFont()});
  Reactions reactions;
  // Let the opening settle first: its own activation is reported too.
  driver_->WhenWaiting([] {});
  for (int i = 0; i < 20 && driver_->StepsLeft(); ++i) ASSERT_TRUE(p_.PumpPromptMessage(prompt, reactions));
  reactions.activations = 0;
  driver_->Click(driver_->PromptOkButton(prompt));  // the focus away from the field
  driver_->WhenWaiting([&] { driver_->SwitchAwayAndBack(prompt); });
  for (int i = 0; i < 20 && driver_->StepsLeft(); ++i) ASSERT_TRUE(p_.PumpPromptMessage(prompt, reactions));
  ASSERT_FALSE(driver_->StepsLeft());
  EXPECT_EQ(reactions.activations, 1);
  p_.DestroyPromptWindow(prompt);
}

TEST_F(QtPlatformTest, AQuitRequestEndsThePromptsPump) {
  Build();
  Handle prompt = p_.CreatePromptWindow({u"T", u"P", u"", false, 0, p_.DefaultGuiFont()});
  Reactions reactions;
  QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
  bool ended = false;
  for (int i = 0; i < 50 && !ended; ++i) ended = !p_.PumpPromptMessage(prompt, reactions);
  EXPECT_TRUE(ended);
  // Swallowed: a message box still runs its loop afterwards.
  driver_->WhenWaiting([&] { driver_->DismissMessageBox(); });
  EXPECT_EQ(p_.MessageBox(0, u"T", u"x"), 1);
  EXPECT_FALSE(driver_->StepsLeft());
  p_.DestroyPromptWindow(prompt);
}

TEST_F(QtPlatformTest, MainWindowGivesTheFocusBackAfterADialog) {
  MainWindow m = Build();
  driver_->Click(m.field);
  ASSERT_EQ(driver_->Focused(), m.field);
  driver_->WhenWaiting([&] { driver_->DismissMessageBox(); });
  p_.MessageBox(m.window, u"T", u"x");
  p_.ActivateWindow(m.window);  // the activation handed back, as ShowMessage does
  EXPECT_EQ(p_.ForegroundWindow(), m.window);
  EXPECT_EQ(driver_->Focused(), m.field);
}

// Handles of nothing at all are the contract suite's; here, handles of the wrong kind of object.
TEST_F(QtPlatformTest, HandlesOfTheWrongKindReadEmptyAndIgnoreWrites) {
  MainWindow m = Build();
  EXPECT_EQ(p_.GetText(m.font), u"");
  EXPECT_FALSE(p_.BelongsToThisProcess(m.font));
  EXPECT_EQ(p_.CreateControl(ControlKind::kLabel, m.font, {0, 0, 1, 1}, u"x", 0), 0u);
  // A control cannot be the parent of another (only the window and the panel are).
  EXPECT_EQ(p_.CreateControl(ControlKind::kLabel, m.sites, {0, 0, 1, 1}, u"x", 0), 0u);
  // AppendText on something that is not an editor changes nothing.
  p_.AppendText(m.field, u"x");
  EXPECT_EQ(p_.GetText(m.field), u"");
}

}  // namespace
}  // namespace vw::testing
