#include "platform/qt/qt_widgets.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

#include "platform/qt/qt_shown_text.h"

namespace vw::qt {

ReportingWindow::ReportingWindow() : QWidget(nullptr) {}

void ReportingWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (isEnabled() && on_close_request) on_close_request();
}

Panel::Panel(QWidget* parent) : QFrame(parent), inner_(new QWidget(this)) {
  setFrameStyle(QFrame::WinPanel | QFrame::Raised);
  setFocusPolicy(Qt::NoFocus);
  setAutoFillBackground(true);
  inner_->setGeometry(contentsRect());
}

void Panel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  inner_->setGeometry(contentsRect());
}

namespace {

// Return and Enter with or without Shift or Ctrl, and whatever the platform takes as "insert a line
// separator": each starts a new entry.
bool StartsNewRow(const QKeyEvent* event) {
  if (event->matches(QKeySequence::InsertLineSeparator) ||
      event->matches(QKeySequence::InsertParagraphSeparator)) {
    return true;
  }
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return false;
  const Qt::KeyboardModifiers chord =
      event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier | Qt::ShiftModifier);
  return chord == Qt::NoModifier || chord == Qt::ControlModifier;
}

// The key types its text, by Qt's own rule for text editors, widened to every character that is not a
// control character (Qt leaves out noncharacters such as U+FDD0, which a list line can hold).
bool TypesText(const QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;
  if (text.front().category() == QChar::Other_Format) return true;
  const Qt::KeyboardModifiers chord = event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
  if (chord == Qt::ControlModifier || chord == (Qt::ControlModifier | Qt::ShiftModifier)) return false;
  if (text == QStringLiteral("\t")) return chord == Qt::NoModifier;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.category() == QChar::Other_Control) return false;
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
    } else if (c.isSurrogate()) {
      return false;
    }
  }
  return true;
}

QString ToQString(const Text& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

}  // namespace

Editor::Editor(QWidget* parent) : QPlainTextEdit(parent), text_(new QTextDocument(this)) {
  text_->setDocumentLayout(new QPlainTextDocumentLayout(text_));
  setDocument(text_);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The selection stays visible, in the same colours, when the focus moves elsewhere.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
  // What an insertion into the empty document would look up.
  plain_format_ = QTextCursor(text_).charFormat();
  plain_format_.clearProperty(QTextFormat::ObjectType);
  stand_in_format_ = StandInFormat(plain_format_);
  appended_format_ = plain_format_;
  appended_format_.setProperty(kAppendedProperty, true);
  appended_stand_in_format_ = StandInFormat(appended_format_);
}

void Editor::Detach() {
  if (detached_) return;
  // The layout still learns of every change (it only marks the new rows as one row each, unlaid); its
  // signals, which make the view lay out and measure the last page of rows again, wait.
  text_->documentLayout()->blockSignals(true);
  detached_ = true;
}

void Editor::Attach() {
  if (!detached_) return;
  detached_ = false;
  QAbstractTextDocumentLayout* layout = text_->documentLayout();
  layout->blockSignals(false);
  emit layout->documentSizeChanged(layout->documentSize());  // the scroll bars, once
  emit layout->update(QRectF(0., -text_->documentMargin(), 1000000000., 1000000000.));
  QTextCursor end(text_);
  end.movePosition(QTextCursor::End);
  setTextCursor(end);  // the insertion point after the text, nothing selected, the last line in view
  horizontalScrollBar()->setValue(0);  // from the left edge, even when the last line is longer than the view
  // A scroll bar that comes with the new size takes its room from the view only once Qt has handled its
  // own queued layout: the last line is brought into view again after that.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (detached_) return;
        ensureCursorVisible();
        horizontalScrollBar()->setValue(0);
      },
      Qt::QueuedConnection);
}

void Editor::Replace(const QString& text) {
  Attach();
  setPlainText(QString());  // the view's own reset: history, scrolling, caret
  text_->setUndoRedoEnabled(false);
  QTextCursor cursor(text_);
  cursor.beginEditBlock();  // one change for the view to lay out
  InsertWithStandIns(cursor, text, plain_format_, stand_in_format_);
  cursor.endEditBlock();
  text_->setUndoRedoEnabled(true);
  moveCursor(QTextCursor::Start);
}

void Editor::Append(const QString& text) {
  QTextCursor cursor(text_);
  // One edit block: one step of the undo history. The block is opened before the cursor moves: inside it, a
  // cursor does not work out its place on the screen, which would lay out the last line (and keep that
  // layout) at every move and insertion; that was about half the time of a load and a third of its memory.
  cursor.beginEditBlock();
  cursor.setPosition(text_->characterCount() - 1);  // the end, without walking to it
  // Qt merges a plain insertion into the last insertion of the edit block before it when both have the
  // same format: text typed at the end right after a load would become part of the last loaded line's undo
  // step, and undoing the typing would take that line away too. The appended text's own format keeps them
  // apart.
  InsertWithStandIns(cursor, text, appended_format_, appended_stand_in_format_);
  cursor.endEditBlock();
}

bool Editor::focusNextPrevChild(bool next) {
  if (next) return false;  // Tab: typed into the text
  return QWidget::focusNextPrevChild(false);
}

void Editor::keyPressEvent(QKeyEvent* event) {
  if (!isReadOnly()) {
    if (StartsNewRow(event)) {
      InsertTyped(QStringLiteral("\n"), false);
      event->accept();
      return;
    }
    if (TypesText(event)) {
      InsertTyped(event->text(), false);
      event->accept();
      return;
    }
  }
  QPlainTextEdit::keyPressEvent(event);
}

void Editor::inputMethodEvent(QInputMethodEvent* event) {
  if (isReadOnly() || event->commitString().isEmpty() || event->replacementLength() != 0) {
    QPlainTextEdit::inputMethodEvent(event);
    return;
  }
  // The committed text goes in as typed text; Qt handles what remains (the text being composed).
  InsertTyped(event->commitString(), false);
  QInputMethodEvent rest(event->preeditString(), event->attributes());
  QPlainTextEdit::inputMethodEvent(&rest);
  event->accept();
}

void Editor::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || source == nullptr || !source->hasText()) return;
  const QString text = source->text();
  if (text.isEmpty()) return;  // nothing to put in: the selection stays
  InsertTyped(text, true);
}

QMimeData* Editor::createMimeDataFromSelection() const {
  const QTextCursor cursor = textCursor();
  auto* copied = new QMimeData;
  copied->setText(ToQString(RealText(*text_, cursor.selectionStart(), cursor.selectionEnd())));
  return copied;
}

void Editor::InsertTyped(const QString& typed, bool own_step) {
  const QString text = TypedText(typed);
  QTextCursor cursor = textCursor();
  // Stand-ins and plain characters go in as separate insertions: kept together as one step.
  const auto stand_in = [](QChar c) { return StandInFor(c.unicode()) != 0; };
  own_step = own_step || (std::any_of(text.begin(), text.end(), stand_in) &&
                          !std::all_of(text.begin(), text.end(), stand_in));
  if (own_step) cursor.beginEditBlock();
  // Never the format of the character before the caret: next to a stand-in that would mark what is typed.
  InsertWithStandIns(cursor, text, plain_format_, stand_in_format_);
  if (own_step) cursor.endEditBlock();
  setTextCursor(cursor);
  ensureCursorVisible();
}

void MessageBoxWindow::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(copied_text);
    event->accept();
    return;
  }
  QMessageBox::keyPressEvent(event);
}

Button::Button(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setDefault(true);
  setAutoDefault(false);
  setFocusPolicy(Qt::StrongFocus);
}

void Button::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QPushButton::keyPressEvent(event);
}

}  // namespace vw::qt
