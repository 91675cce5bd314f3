#include "platform/qt/qt_widgets.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>

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
}

void Editor::Detach() {
  if (detached_) return;
  // The layout still learns of every change (it only marks the new rows as one row each, unlaid); its
  // signals, which make the view lay out and measure the last page of rows again, wait.
  text_->documentLayout()->blockSignals(true);
  detached_ = true;
  QTextCursor end(text_);
  end.movePosition(QTextCursor::End);
  append_format_ = end.charFormat();  // what insertText would look up at every insertion
  append_format_.clearProperty(QTextFormat::ObjectType);
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

bool Editor::focusNextPrevChild(bool next) {
  if (next) return false;  // Tab: typed into the text
  return QWidget::focusNextPrevChild(false);
}

void Editor::keyPressEvent(QKeyEvent* event) {
  if (!isReadOnly() && NeedsTyping(event->text())) {
    InsertTyped(event->text());
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void Editor::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || source == nullptr || !source->hasText()) return;
  InsertTyped(source->text());
}

void Editor::InsertTyped(const QString& typed) {
  QTextCursor cursor = textCursor();
  cursor.insertText(TypedText(typed));  // one undo step, replacing the selection
  setTextCursor(cursor);
  ensureCursorVisible();
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
