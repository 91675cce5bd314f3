#include "platform/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QResizeEvent>
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
  if (stand_in_ == nullptr) {
    stand_in_ = new QTextDocument(this);
    stand_in_->setDocumentLayout(new QPlainTextDocumentLayout(stand_in_));
  }
  setDocument(stand_in_);
  text_->setDocumentLayout(nullptr);  // no layout: insertions do no layout work
  detached_ = true;
}

void Editor::Attach() {
  if (!detached_) return;
  detached_ = false;
  text_->setDefaultFont(font());
  text_->setDocumentLayout(new QPlainTextDocumentLayout(text_));
  setDocument(text_);
  QTextCursor end(text_);
  end.movePosition(QTextCursor::End);
  setTextCursor(end);  // the insertion point after the text, nothing selected, scrolled into view
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
