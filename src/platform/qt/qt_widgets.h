// The few Qt widget classes whose native behaviour the program changes. Only the Qt back end and its tests
// include this header.
#pragma once

#include <QFrame>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QWidget>

#include <functional>

class QCloseEvent;
class QMimeData;
class QInputMethodEvent;
class QKeyEvent;

namespace vw::qt {

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
// What the administrator sees is what is saved (qt_shown_text.h): every key that starts a new row (Return,
// Shift+Return, Ctrl+Return, Enter) inserts a plain line break, never a row break inside an entry; typed,
// committed and pasted text goes in at the caret, over the selection only, in the plain format, characters
// the document cannot hold as their marked stand-ins; a paste without text changes nothing; copy, cut and
// drag carry the real characters.
//
// A run of insertions can be held back from the view: laid out, measured and scrolled after every single
// insertion, 100,000 loaded lines would take many seconds. Detached, the layout still notes each new row
// (unlaid, one row each) but its signals to the view wait, so an insertion only changes the text and its undo
// history. Attach() lets the view know once: the scroll bars, a repaint of what shows, the caret after the
// text. (Taking the document off the view instead costs a fresh layout object for every row when it is put
// back.) The back end attaches before any event is handled, so the user never sees a view that lags.
class Editor : public QPlainTextEdit {
 public:
  explicit Editor(QWidget* parent);
  QTextDocument* text() const { return text_; }
  bool detached() const { return detached_; }
  void Detach();
  void Attach();
  // The whole text replaced by `text` ('\n' for line breaks), no undo history, the caret at the start.
  void Replace(const QString& text);
  // `text` inserted at the end as one undo step of its own (the program's AppendText).
  void Append(const QString& text);

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

// A push button drawn as the default button. Space presses it (the native behaviour); Enter does not, since
// the windows it lives in are not dialogs.
class Button : public QPushButton {
 public:
  Button(const QString& text, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vw::qt
