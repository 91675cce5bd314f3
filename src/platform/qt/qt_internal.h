// The Qt 6 Widgets back end's internal header: the Platform over QApplication and Qt widgets, the few widget
// classes whose native behaviour it changes, and the editors' stand-ins. Includes Qt; only this folder and
// the Qt tests include it (the entry procedure uses qt_platform.h). The code is split along the sections of
// platform.h, in files named as in every back end: window.cpp, controls.cpp, text.cpp, clipboard.cpp,
// modal.cpp, message_box.cpp, prompt.cpp.
//
// Handles are small numbers from one counter, never pointers, so a destroyed object's handle is never reused.
// Windows that the program did not create itself (a QMessageBox) get a handle when first seen.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

class QApplication;
class QCloseEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QObject;
class QTextCursor;

namespace vw::qt {

// --- Shared by the back end's files.

// Unit for unit. QString::fromStdU16String (fromUtf16) would drop a leading byte-order mark.
inline QString ToQ(const Text& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline QRect ToQ(const Rect& rect) {
  return QRect(rect.x, rect.y, rect.width, rect.height);
}

inline Text FromQ(const QString& text) {
  return text.toStdU16String();
}

// The calling thread's number: the same for its whole life, another for every other thread of the process
// (counted here, so any system Qt runs on has one).
inline std::uint32_t ThisThreadId() {
  static std::atomic<std::uint32_t> next{1};
  thread_local const std::uint32_t id = next++;
  return id;
}

inline int NonNegative(int value) {
  return std::max(0, value);
}

QIcon ProgramIcon();  // in every size the program ships

// --- Stand-ins (text.cpp): how the editors hold the characters Qt's text document cannot keep or show as
// themselves.
//
// QTextDocument turns U+2029 (paragraph separator) and U+FDD0 / U+FDD1 (its own frame markers) into block
// breaks when they are inserted, lays U+2028 (line separator) out as a second row inside its entry, and draws
// U+FFFC (object replacement) as an empty inline object, that is not at all. Measured over every code point
// on Qt 6.4 (offscreen): every other character a list line can hold stays in the document as it is and on
// one row (a leading U+FEFF too, once it is not lost converting to QString: QString::fromUtf16 drops a
// byte-order mark, so the back end never uses it).
//
// So each of these five is held as a visible stand-in glyph, one unit for one unit, and each entry stays one
// row:
//   U+2028 line separator       -> U+21B5 (downwards arrow with corner leftwards)
//   U+2029 paragraph separator  -> U+204B (reversed pilcrow sign)
//   U+FDD0 (noncharacter)       -> U+27E6 (left white square bracket)
//   U+FDD1 (noncharacter)       -> U+27E7 (right white square bracket)
//   U+FFFC object replacement   -> U+2B1A (dotted square)
// What makes a glyph a stand-in is its character format (kStandInProperty, drawn on a tinted background), not
// the glyph itself: a ↵ the administrator types is a plain ↵ and is saved as one. The mark travels with the
// character through the document's own undo and redo, and nothing else can put it on a character: every
// insertion the editor makes for the user (keys, input method, paste, drop) uses the plain format. So
// deleting or typing next to a stand-in never changes another character, and reading the editor gives back
// exactly what was appended or typed.

// The character format property that marks a stand-in (a bool).
inline constexpr int kStandInProperty = QTextFormat::UserProperty + 0x7657;
// The property of text the program appended (a bool; no look of its own).
inline constexpr int kAppendedProperty = QTextFormat::UserProperty + 0x7658;

// The stand-in glyph of a character the document cannot hold, else 0.
char16_t StandInFor(char16_t real);
// The character a stand-in glyph stands for, else 0.
char16_t RealFor(char16_t glyph);
// `plain` with the mark and look of a stand-in.
QTextCharFormat StandInFormat(const QTextCharFormat& plain);
bool IsStandIn(const QTextCharFormat& format);

// Inserts `text` (its '\n' as line breaks) at `cursor`: each character the document cannot hold as its
// stand-in glyph in `marked`, everything else as it is in `plain`. True when it inserted a stand-in.
bool InsertWithStandIns(QTextCursor& cursor, const QString& text, const QTextCharFormat& plain,
                        const QTextCharFormat& marked);
// The characters the document's positions [from, to) stand for, with '\n' for every row break (to < 0: up
// to the end). Stand-ins read as their characters; any other glyph reads as itself.
Text RealText(const QTextDocument& document, int from = 0, int to = -1);
// The link field is one row without formats: it shows CR, LF and NUL as the pictures of control characters
// (U+240D, U+240A, U+2400) and the five above as the editors do, one unit for one unit, so the address tested
// is the address seen. Having no format to mark them, the field reads each of these glyphs as the character
// it stands for (addresses hold neither).
QString FieldShown(const QString& real);
Text FieldReal(const QString& shown);
// What a typed or pasted text puts into the editor: every CR, LF, CR LF and NUL is one line break ('\n'),
// so a row break on the screen is always a line break in the list; every other character is kept.
QString TypedText(const QString& typed);

// --- Widgets.

// A top-level window whose close request (close box, window menu, Alt+F4) is reported and refused: the window
// stays until the program itself removes it. A disabled window reports nothing, as a disabled window's close
// box does nothing on other desktops either.
class ReportingWindow : public QWidget {
 public:
  ReportingWindow();
  std::function<void()> on_close_request;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// The raised panel. Its children go into inner(), the area inside the border, so their positions count from
// there.
class Panel : public QFrame {
 public:
  explicit Panel(QWidget* parent);
  QWidget* inner() const { return inner_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* inner_;
};

// Multi-line plain-text editor: a plain Tab types a tab character, Shift+Tab moves the focus backwards.
//
// What the administrator sees is what is saved (the stand-ins above): every key that starts a new row
// (Return, Shift+Return, Ctrl+Return, Enter) inserts a plain line break, never a row break inside an entry;
// typed, committed and pasted text goes in at the caret, over the selection only, in the plain format,
// characters the document cannot hold as their marked stand-ins; a paste without text changes nothing; copy,
// cut and drag carry the real characters.
//
// A run of insertions can be held back from the view: laid out, measured and scrolled after every single
// insertion, 100,000 loaded lines would take many seconds. Detached, the layout still notes each new row
// (unlaid, one row each) but its signals to the view wait, so an insertion only changes the text and its undo
// history. Attach() lets the view know once: the scroll bars, a repaint of what shows, the caret after the
// text. (Taking the document off the view instead costs a fresh layout object for every row when it is put
// back.) The back end attaches before any event is handled, so the user never sees a view that lags.
//
// Appended text itself waits too (Append), until Put: each separate insertion into the document costs its own
// edit (moving to the end, the formats, the layout and the change signals, an undo record), which for a
// loaded list is most of the time above that of one insertion of the whole text. Put either inserts each
// append as the undo step of its own it would have been, or, when its undo history is about to be emptied
// anyway, all of them in one insertion without any.
class Editor : public QPlainTextEdit {
 public:
  explicit Editor(QWidget* parent);
  QTextDocument* text() const { return text_; }
  bool detached() const { return detached_; }
  void Detach();
  void Attach();
  // The whole text replaced by `text` ('\n' for line breaks), no undo history, the caret at the start. Text
  // still waiting to go in is dropped.
  void Replace(const QString& text);
  // `text` to be inserted at the end as one undo step of its own (the program's AppendText); it waits until
  // Put. pending_length(): the units waiting, as the document will count them (one for one: a stand-in for
  // its character, a block break for '\n'; a line holds no CR, which the document would count as one break
  // with a following LF).
  void Append(QStringView text);
  qsizetype pending_length() const { return pending_.size(); }
  // Inserts the text waiting: each append its own undo step, or with `no_undo` all at once, leaving no undo
  // step (the history is about to be emptied).
  void Put(bool no_undo);

 protected:
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  QMimeData* createMimeDataFromSelection() const override;

 private:
  // `typed` at the caret over the selection; `own_step`: one undo step of its own (a paste), else it may
  // join the typing before it, as typed keys do.
  void InsertTyped(const QString& typed, bool own_step);

  QTextDocument* text_;
  bool detached_ = false;
  // The appended text waiting, and where each append in it starts.
  QString pending_;
  std::vector<qsizetype> pending_starts_;
  // The format of every character but the stand-ins, and that of the stand-ins; text the program appends
  // has the same look with a property of its own (see Append).
  QTextCharFormat plain_format_;
  QTextCharFormat stand_in_format_;
  QTextCharFormat appended_format_;
  QTextCharFormat appended_stand_in_format_;
};

// The program's message box. Ctrl+C copies the text the program gave it (the desktop's own box copies on
// Windows only).
class MessageBoxWindow : public QMessageBox {
 public:
  QString copied_text;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// The link field: pasted, dropped and program-set text shown through FieldShown; copy and cut put the real
// characters on the clipboard; Ctrl+Y redoes (see the event filter).
class Field : public QLineEdit {
 public:
  explicit Field(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A push button drawn as the default button. Space presses it (the native behaviour); Enter does not, since
// the windows it lives in are not dialogs.
class Button : public QPushButton {
 public:
  Button(const QString& text, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// --- The platform.

enum class Kind {
  kMainWindow,
  kPanel,
  kLabel,
  kEditor,
  kField,
  kButton,
  kPromptWindow,
  kPromptLabel,
  kPromptField,
  kPromptOkButton,
  kOtherWindow,  // a top-level window the program did not create itself, such as a message box
  kOtherWidget,
};

class QtPlatform final : public Platform {
 public:
  // Uses the QApplication that exists, or creates one (and then owns it).
  QtPlatform(int& argc, char** argv);
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  // --- Platform.
  void SetSink(EventSink* sink) override { sink_ = sink; }
  Handle MessageFont() override;
  Handle DefaultGuiFont() override;
  Handle CreateMainWindow(const Text& title, Rect client) override;
  Handle CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font) override;
  Text GetText(Handle control) override;
  void SetText(Handle control, const Text& text) override;
  std::int64_t TextLength(Handle control) override;
  void AppendText(Handle editor, const Text& text) override;
  void ForgetUndo(Handle editor) override;
  std::uint64_t TextRevision(Handle control) override;
  void WaitAndHandleMessage() override;
  bool PostToSelf(std::int64_t code) override;
  std::uint32_t CurrentThreadId() override;
  std::vector<TopLevelWindow> TopLevelWindows() override;
  Handle ForegroundWindow() override;
  bool BelongsToThisProcess(Handle window) override;
  bool IsEnabled(Handle window) override;
  void SetEnabled(Handle window, bool enabled) override;
  bool IsTopmost(Handle window) override;
  void SetTopmost(Handle window, bool topmost) override;
  void ActivateWindow(Handle window) override;
  int MessageBox(Handle owner, const Text& title, const Text& text) override;
  Handle CreatePromptWindow(const PromptWindowSpec& request) override;
  Text PromptFieldText(Handle prompt) override;
  void FocusPromptField(Handle prompt) override;
  bool PumpPromptMessage(Handle prompt, PromptHandler& handler) override;
  void DestroyPromptWindow(Handle prompt) override;

  // --- For the test driver and the Qt tests.
  QWidget* WidgetOf(Handle handle);  // nullptr for an unknown handle or a font
  // Puts editors' text back on their views after a run of AppendText calls, the appends still waiting
  // inserted first, each its own undo step (done before every wait).
  void AttachEditors();
  Handle HandleOf(QWidget* widget);  // gives a window or widget seen for the first time a handle
  Kind KindOf(Handle handle) const;
  Handle FontOf(Handle control) const;  // the font object applied when the control was made
  const QFont* FontObject(Handle font) const;
  Handle PromptPart(Handle prompt, Kind part) const;
  // Makes `window` the active window at once, as a click on it would (also tells the window system).
  void Activate(QWidget* window);
  // True while the program waits for the next message in any of the back end's loops; the serial counts
  // the waits, so a test can act once per wait.
  bool Waiting() const { return waiting_depth_ > 0; }
  std::uint64_t WaitSerial() const { return wait_serial_; }

 private:
  class Bridge;
  struct Entry {
    QPointer<QWidget> widget;
    Kind kind = Kind::kOtherWidget;
    Handle window = 0;  // the top-level window it belongs to (itself for a window)
    Handle font = 0;
    std::uint64_t revision = 0;
    QPointer<QWidget> remembered_focus;   // windows: the control to give the focus back to on activation
    QPointer<QWidget> focus_sink;         // main window: holds the focus when no control has it
    Handle owner = 0;                     // prompt: its owner
    Handle label = 0, field = 0, ok = 0;  // prompt: its parts
    QPoint corner;                        // prompt: where its outer top-left corner belongs
  };
  enum class Reaction { kCommand, kClose, kActivated };
  struct PromptEvent {
    Handle prompt;
    Reaction reaction;
    int command;
  };

  Entry* Find(Handle handle);
  const Entry* Find(Handle handle) const;
  Handle Register(QWidget* widget, Kind kind, Handle window, Handle font);
  void Forget(QObject* object);
  void ApplyFont(QWidget* widget, Handle font);
  void Notify(Handle control, Notice notice);
  void WaitForOneMessage();
  void PromptReact(Handle prompt, Reaction reaction, int command);
  void FitPromptFrame(Handle prompt);  // kPromptLayout's outer size at its corner, whatever the frame
  void ControlFocused(QWidget* widget, bool gained);
  void WindowActivated(QWidget* window);
  void PostedArrived(std::int64_t code);
  // The editor's appends that wait go in (Editor::Put); the document's change signal then counts no change:
  // AppendText counted and reported each when it was made.
  void PutAppended(Editor& editor, bool no_undo);
  bool Putting(const QWidget* widget) const { return widget != nullptr && widget == putting_; }

  std::unique_ptr<QApplication> owned_app_;
  std::unique_ptr<Bridge> bridge_;
  EventSink* sink_ = nullptr;
  std::unordered_map<Handle, Entry> entries_;
  std::unordered_map<const QObject*, Handle> handles_;
  std::unordered_map<Handle, QFont> fonts_;
  Handle next_handle_ = 0x100;
  Handle default_font_ = 0;
  std::uint32_t gui_thread_ = 0;
  std::vector<QPointer<QWidget>> owned_windows_;  // deleted with the platform
  std::vector<QPointer<QWidget>> graveyard_;      // hidden, unregistered, deleted at the next wait
  std::deque<PromptEvent> prompt_events_;
  std::vector<QPointer<Editor>> detached_editors_;
  const QWidget* putting_ = nullptr;
  std::int64_t posted_pending_ = 0;
  int waiting_depth_ = 0;
  std::uint64_t wait_serial_ = 0;

  friend class Bridge;
};

// Turns Qt's notifications into the platform's: focus changes, activation, the prompt's keys, and the
// messages posted to ourselves.
class QtPlatform::Bridge final : public QObject {
 public:
  explicit Bridge(QtPlatform& platform) : platform_(platform) {}
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool PromptKey(const Entry& entry, const QKeyEvent* key);

  QtPlatform& platform_;
};

// A quit request to the application (QEvent::Quit) is the platform's quit message: the prompt's loop ends on
// it. It is swallowed, so that no later event loop refuses to run.
class QuitWatcher final : public QObject {
 public:
  bool requested = false;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
      requested = true;
      return true;
    }
    return false;
  }
};

// One per application object (window.cpp).
QuitWatcher& TheQuitWatcher();

}  // namespace vw::qt
