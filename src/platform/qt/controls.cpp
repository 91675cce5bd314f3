// The Qt back end, controls: labels, editors, the link field and buttons, their notifications, and the keys
// and typed text the editors handle themselves, so that every row break on the screen is a line break in the
// list.
#include "platform/qt/qt_internal.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QTextCursor>

#include <algorithm>

namespace vw::qt {
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

}  // namespace

Handle QtPlatform::CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font) {
  const Entry* owner = Find(parent);
  if (owner == nullptr || (owner->kind != Kind::kMainWindow && owner->kind != Kind::kPanel)) return 0;
  QWidget* container = owner->widget;
  if (owner->kind == Kind::kPanel) container = static_cast<Panel*>(container)->inner();
  Handle window = owner->window;

  QWidget* widget = nullptr;
  Kind registered = Kind::kOtherWidget;
  switch (kind) {
    case ControlKind::kPanel:
      widget = new Panel(container);
      registered = Kind::kPanel;
      break;
    case ControlKind::kLabel: {
      auto* label = new QLabel(container);
      label->setTextFormat(Qt::PlainText);  // no mnemonics, no markup
      label->setWordWrap(false);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setText(ToQ(text));
      widget = label;
      registered = Kind::kLabel;
      break;
    }
    case ControlKind::kEditor: {
      auto* editor = new Editor(container);
      if (!text.empty()) editor->Replace(ToQ(text));
      widget = editor;
      registered = Kind::kEditor;
      break;
    }
    case ControlKind::kField: {
      auto* field = new Field(container);
      field->setMaxLength(kFieldTextLimit);
      field->setText(FieldShown(ToQ(text)));
      widget = field;
      registered = Kind::kField;
      break;
    }
    case ControlKind::kButton:
      widget = new Button(ToQ(text), container);
      registered = Kind::kButton;
      break;
  }
  if (widget == nullptr) return 0;
  widget->setGeometry(rect.x, rect.y, NonNegative(rect.width), NonNegative(rect.height));
  ApplyFont(widget, font);
  Handle handle = Register(widget, registered, window, font);

  if (auto* editor = dynamic_cast<Editor*>(widget)) {
    // The document's own signal: it fires also while the text is detached from the view.
    QObject::connect(editor->text(), &QTextDocument::contentsChanged, bridge_.get(), [this, handle] {
      Entry* entry = Find(handle);
      if (entry != nullptr && Putting(entry->widget)) return;  // counted and reported by AppendText
      if (entry != nullptr) ++entry->revision;
      Notify(handle, Notice::kChanged);
    });
  } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    QObject::connect(field, &QLineEdit::textChanged, bridge_.get(),
                     [this, handle, field](const QString& now) {
                       // A way in that Field does not handle itself (the context menu's Paste): the
                       // characters it cannot show are made their stand-ins at once, the caret kept.
                       if (QString shown = FieldShown(now); shown != now) {
                         const int caret = field->cursorPosition();
                         field->setText(shown);
                         field->setCursorPosition(caret);
                         return;  // setText reported the change
                       }
                       if (Entry* entry = Find(handle)) ++entry->revision;
                       Notify(handle, Notice::kChanged);
                     });
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    QObject::connect(button, &QPushButton::clicked, bridge_.get(),
                     [this, handle] { Notify(handle, Notice::kPressed); });
  }
  if (widget->focusPolicy() != Qt::NoFocus) widget->installEventFilter(bridge_.get());
  widget->show();  // the window is already on the screen
  return handle;
}

void QtPlatform::ControlFocused(QWidget* widget, bool gained) {
  auto it = handles_.find(widget);
  if (it == handles_.end()) return;
  Entry* entry = Find(it->second);
  if (entry == nullptr) return;
  if (gained) {
    // Remembered for the window, which gives the focus back to it when it is activated again.
    if (Entry* window = Find(entry->window); window != nullptr && window->widget != widget) {
      window->remembered_focus = widget;
    }
  }
  if (entry->kind == Kind::kEditor || entry->kind == Kind::kField) {
    Notify(it->second, gained ? Notice::kFocusGained : Notice::kFocusLost);
  }
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
  // What an insertion into the empty document would look up.
  plain_format_ = QTextCursor(text_).charFormat();
  plain_format_.clearProperty(QTextFormat::ObjectType);
  stand_in_format_ = StandInFormat(plain_format_);
  appended_format_ = plain_format_;
  appended_format_.setProperty(kAppendedProperty, true);
  appended_stand_in_format_ = StandInFormat(appended_format_);
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

Field::Field(QWidget* parent) : QLineEdit(parent) {}

void Field::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
    const QString pasted = QGuiApplication::clipboard()->text();
    if (!pasted.isEmpty()) insert(FieldShown(pasted));  // one undo step, over the selection
    event->accept();
    return;
  }
  const bool cut = event->matches(QKeySequence::Cut);
  if ((cut || event->matches(QKeySequence::Copy)) && hasSelectedText() && echoMode() == Normal) {
    QGuiApplication::clipboard()->setText(ToQ(FieldReal(selectedText())));
    if (cut && !isReadOnly()) del();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
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
