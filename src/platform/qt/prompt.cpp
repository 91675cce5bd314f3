// The Qt back end, the prompt window: its native parts (label, field, OK button), the Enter and Escape keys
// whichever part has the focus, its outer size whatever the frame, and one turn of its loop.
#include "platform/qt/qt_internal.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace vw::qt {
namespace {

QSize PromptClientSize(const QMargins& frame) {
  return {std::max(1, kPromptLayout.outer_width - frame.left() - frame.right()),
          std::max(1, kPromptLayout.outer_height - frame.top() - frame.bottom())};
}

}  // namespace

// Enter and Escape are the prompt's commands whichever of its controls has the focus.
bool QtPlatform::Bridge::PromptKey(const Entry& entry, const QKeyEvent* key) {
  bool in_prompt = entry.kind == Kind::kPromptWindow || entry.kind == Kind::kPromptField ||
                   entry.kind == Kind::kPromptOkButton || entry.kind == Kind::kPromptLabel;
  if (!in_prompt) return false;
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  int command = 0;
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    command = kPromptOk;
  } else if (key->key() == Qt::Key_Escape) {
    command = kPromptCancel;
  } else {
    return false;
  }
  platform_.PromptReact(entry.window, Reaction::kCommand, command);
  return true;
}

Handle QtPlatform::PromptPart(Handle prompt, Kind part) const {
  const Entry* entry = Find(prompt);
  if (entry == nullptr || entry->kind != Kind::kPromptWindow) return 0;
  switch (part) {
    case Kind::kPromptLabel:
      return entry->label;
    case Kind::kPromptField:
      return entry->field;
    case Kind::kPromptOkButton:
      return entry->ok;
    default:
      return 0;
  }
}

void QtPlatform::FitPromptFrame(Handle prompt) {
  Entry* entry = Find(prompt);
  if (entry == nullptr || entry->kind != Kind::kPromptWindow) return;
  QWidget* window = entry->widget;
  QWindow* native = window->windowHandle();
  if (native == nullptr || !window->isVisible()) return;
  QSize client = PromptClientSize(native->frameMargins());
  if (window->size() != client) window->setFixedSize(client);
  if (window->frameGeometry().topLeft() != entry->corner) window->move(entry->corner);
}

void QtPlatform::PromptReact(Handle prompt, Reaction reaction, int command) {
  // Handed to the handler by PumpPromptMessage once Qt has finished with the event, so the handler may
  // destroy the prompt.
  prompt_events_.push_back({prompt, reaction, command});
}

Handle QtPlatform::CreatePromptWindow(const PromptWindowSpec& request) {
  QPointer<QWidget> owner_window;
  if (const Entry* entry = Find(request.owner); entry != nullptr && entry->widget->isWindow()) {
    owner_window = entry->widget.data();
  }
  auto* window = new ReportingWindow();
  window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window->setWindowTitle(ToQ(request.title));
  window->setWindowIcon(ProgramIcon());
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  owned_windows_.emplace_back(window);
  Handle handle = Register(window, Kind::kPromptWindow, 0, 0);

  auto* label = new QLabel(window);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(false);  // one line; what does not fit is cut off at the right
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setText(ToQ(request.prompt));
  label->setGeometry(ToQ(kPromptLayout.label));
  ApplyFont(label, request.font);

  auto* field = new QLineEdit(window);
  field->setGeometry(ToQ(kPromptLayout.field));
  field->setMaxLength(std::numeric_limits<int>::max());
  field->setEchoMode(request.masked ? QLineEdit::Password : QLineEdit::Normal);
  field->setProperty("vwControlId", kPromptFieldId);
  ApplyFont(field, request.font);
  field->setText(ToQ(request.default_text));  // the caret after the text, nothing selected
  field->deselect();
  field->end(false);

  auto* ok = new Button(QStringLiteral("OK"), window);
  ok->setGeometry(ToQ(kPromptLayout.ok_button));
  ApplyFont(ok, request.font);

  Handle label_handle = Register(label, Kind::kPromptLabel, handle, request.font);
  Handle field_handle = Register(field, Kind::kPromptField, handle, request.font);
  Handle ok_handle = Register(ok, Kind::kPromptOkButton, handle, request.font);
  Entry& entry = entries_.at(handle);
  entry.owner = owner_window != nullptr ? request.owner : 0;
  entry.label = label_handle;
  entry.field = field_handle;
  entry.ok = ok_handle;

  window->on_close_request = [this, handle] { PromptReact(handle, Reaction::kClose, 0); };
  QObject::connect(field, &QLineEdit::textChanged, bridge_.get(), [this, field_handle] {
    if (Entry* e = Find(field_handle)) ++e->revision;
  });
  QObject::connect(ok, &QPushButton::clicked, bridge_.get(),
                   [this, handle] { PromptReact(handle, Reaction::kCommand, kPromptOk); });
  for (QWidget* widget :
       {static_cast<QWidget*>(window), static_cast<QWidget*>(field), static_cast<QWidget*>(ok)}) {
    widget->installEventFilter(bridge_.get());
  }

  // Outer size of kPromptLayout, centred on the primary screen. Qt sizes the client area, so the frame's
  // share comes off: guessed from the owner's frame until the window system tells this window's own
  // (FitPromptFrame).
  QRect screen = QGuiApplication::primaryScreen() != nullptr ? QGuiApplication::primaryScreen()->geometry()
                                                             : QRect(0, 0, 800, 600);
  entry.corner = QPoint(screen.x() + screen.width() / 2 - kPromptLayout.outer_width / 2,
                        screen.y() + screen.height() / 2 - kPromptLayout.outer_height / 2);
  QMargins guess;
  if (owner_window != nullptr && owner_window->windowHandle() != nullptr) {
    guess = owner_window->windowHandle()->frameMargins();
  }
  window->setFixedSize(PromptClientSize(guess));
  window->move(entry.corner);  // before it exists natively: the outer corner goes there
  window->winId();
  if (owner_window != nullptr && window->windowHandle() != nullptr) {
    window->windowHandle()->setTransientParent(owner_window->windowHandle());
  }
  field->setFocus(Qt::OtherFocusReason);
  window->show();
  FitPromptFrame(handle);
  Activate(window);
  return handle;
}

Text QtPlatform::PromptFieldText(Handle prompt) {
  return GetText(PromptPart(prompt, Kind::kPromptField));
}

void QtPlatform::FocusPromptField(Handle prompt) {
  if (QWidget* field = WidgetOf(PromptPart(prompt, Kind::kPromptField)))
    field->setFocus(Qt::ActiveWindowFocusReason);
}

bool QtPlatform::PumpPromptMessage(Handle prompt, PromptHandler& handler) {
  if (Find(prompt) == nullptr) return false;
  if (prompt_events_.empty() && !TheQuitWatcher().requested) WaitForOneMessage();
  while (!prompt_events_.empty()) {
    PromptEvent event = prompt_events_.front();
    prompt_events_.pop_front();
    if (event.prompt != prompt || Find(prompt) == nullptr) continue;  // a prompt that is gone
    switch (event.reaction) {
      case Reaction::kCommand:
        handler.PromptCommand(event.command);
        break;
      case Reaction::kClose:
        handler.PromptCloseRequested();
        break;
      case Reaction::kActivated:
        handler.PromptActivated();
        break;
    }
  }
  if (TheQuitWatcher().requested) {
    TheQuitWatcher().requested = false;
    return false;
  }
  return true;
}

void QtPlatform::DestroyPromptWindow(Handle prompt) {
  Entry* entry = Find(prompt);
  if (entry == nullptr || entry->kind != Kind::kPromptWindow) return;
  QPointer<QWidget> window = entry->widget;
  QWidget* owner = WidgetOf(entry->owner);
  bool was_active = QApplication::activeWindow() == window;
  // Gone for the program at once; the object itself is deleted at the next wait, outside any Qt handler.
  for (QObject* child : window->findChildren<QWidget*>()) Forget(child);
  Forget(window);
  window->hide();
  graveyard_.push_back(window);
  std::erase_if(prompt_events_, [prompt](const PromptEvent& e) { return e.prompt == prompt; });
  if (was_active && owner != nullptr && owner->isEnabled() && owner->isVisible()) Activate(owner);
}

}  // namespace vw::qt
