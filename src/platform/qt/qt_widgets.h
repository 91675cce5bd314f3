// The few Qt widget classes whose native behaviour the program changes. Only the Qt back end and its tests
// include this header.
#pragma once

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QWidget>

#include <functional>

class QCloseEvent;
class QMimeData;
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
// Its text lives in a document of its own, which can be taken off the view for a run of insertions: laid out
// and scrolled after every single insertion, 100,000 loaded lines would take many seconds; detached, each
// insertion only changes the text and its undo history. Attach() puts the document back, laid out once, with
// the caret after the text. The back end attaches before any event is handled, so the user never sees the
// empty stand-in.
class Editor : public QPlainTextEdit {
 public:
  explicit Editor(QWidget* parent);
  QTextDocument* text() const { return text_; }  // the text, whether attached or not
  bool detached() const { return detached_; }
  void Detach();
  void Attach();

 protected:
  bool focusNextPrevChild(bool next) override;
  // Typed and pasted text goes in as the editor shows it (qt_shown_text.h), at the caret, over the
  // selection only, as plain text.
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  void InsertTyped(const QString& typed);

  QTextDocument* text_;
  QTextDocument* stand_in_ = nullptr;  // on the view while the text is detached
  bool detached_ = false;
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
