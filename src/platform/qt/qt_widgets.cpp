#include "platform/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QResizeEvent>

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

Editor::Editor(QWidget* parent) : QPlainTextEdit(parent) {
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

bool Editor::focusNextPrevChild(bool next) {
  if (next) return false;  // Tab: typed into the text
  return QWidget::focusNextPrevChild(false);
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
