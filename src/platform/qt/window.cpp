// The Qt back end, windows: set-up and release, the handles of windows and controls, fonts, the main window
// and its panels, the bridge that turns Qt's notifications into calls on the sink, and the messages (the wait
// for one message, posting to ourselves, the quit request).
#include "platform/qt/qt_internal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QResizeEvent>

#include <memory>
#include <utility>

namespace vw::qt {
namespace {

// The event type of a message posted to ourselves; registered once per process.
QEvent::Type PostedType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class PostedEvent final : public QEvent {
 public:
  explicit PostedEvent(std::int64_t code) : QEvent(PostedType()), code_(code) {}
  std::int64_t code() const { return code_; }

 private:
  std::int64_t code_;
};

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 256}) icon.addFile(QStringLiteral(":/veraway/veraway-%1.png").arg(size));
  return icon;
}

// Turns Qt's notifications into the platform's: focus changes, activation, the prompt's keys, and the
// messages posted to ourselves.
bool QtPlatform::Bridge::event(QEvent* event) {
  if (event->type() == PostedType()) {
    platform_.PostedArrived(static_cast<PostedEvent*>(event)->code());
    return true;
  }
  return QObject::event(event);
}

bool QtPlatform::Bridge::eventFilter(QObject* watched, QEvent* event) {
  auto it = platform_.handles_.find(watched);
  if (it == platform_.handles_.end()) return false;
  const Entry* entry = platform_.Find(it->second);
  if (entry == nullptr || entry->widget == nullptr) return false;
  switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      platform_.ControlFocused(entry->widget, event->type() == QEvent::FocusIn);
      return false;
    case QEvent::WindowActivate:
      platform_.WindowActivated(entry->widget);
      return false;
    case QEvent::Move:
    case QEvent::Resize:
      // The window system may report the prompt's frame only after it is shown.
      if (entry->kind == Kind::kPromptWindow) platform_.FitPromptFrame(it->second);
      return false;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      // Ctrl+Y redoes, as Ctrl+Shift+Z does: Qt gives redo only the latter on Linux.
      if (key->key() == Qt::Key_Y &&
          (key->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier)) == Qt::ControlModifier) {
        if (auto* editor = dynamic_cast<Editor*>(entry->widget.data())) {
          editor->redo();
          return true;
        }
        if (auto* field = qobject_cast<QLineEdit*>(entry->widget.data())) {
          field->redo();
          return true;
        }
      }
      return PromptKey(*entry, key);
    }
    default:
      return false;
  }
}

// One per application object: it lives as the application's child, so a later application gets its own.
QuitWatcher& TheQuitWatcher() {
  static QPointer<QuitWatcher> watcher;
  if (watcher == nullptr) {
    watcher = new QuitWatcher;
    watcher->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher);
  }
  return *watcher;
}

QtPlatform::QtPlatform(int& argc, char** argv) {
  if (QApplication::instance() == nullptr) owned_app_ = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ProgramIcon());
  TheQuitWatcher().requested = false;
  bridge_ = std::make_unique<Bridge>(*this);
  gui_thread_ = ThisThreadId();
}

QtPlatform::~QtPlatform() {
  sink_ = nullptr;
  prompt_events_.clear();
  detached_editors_.clear();
  for (QPointer<QWidget>& widget : graveyard_) delete widget.data();
  for (QPointer<QWidget>& widget : owned_windows_) delete widget.data();
  graveyard_.clear();
  owned_windows_.clear();
  bridge_.reset();  // also drops messages posted to ourselves and not handled yet
  entries_.clear();
  handles_.clear();
  owned_app_.reset();
}

// --- Registry.

QtPlatform::Entry* QtPlatform::Find(Handle handle) {
  auto it = entries_.find(handle);
  return it == entries_.end() || it->second.widget == nullptr ? nullptr : &it->second;
}

const QtPlatform::Entry* QtPlatform::Find(Handle handle) const {
  auto it = entries_.find(handle);
  return it == entries_.end() || it->second.widget == nullptr ? nullptr : &it->second;
}

Handle QtPlatform::Register(QWidget* widget, Kind kind, Handle window, Handle font) {
  Handle handle = next_handle_++;
  Entry entry;
  entry.widget = widget;
  entry.kind = kind;
  entry.window = window == 0 ? handle : window;
  entry.font = font;
  entries_.emplace(handle, std::move(entry));
  handles_[widget] = handle;
  QObject::connect(widget, &QObject::destroyed, bridge_.get(), [this](QObject* gone) { Forget(gone); });
  return handle;
}

void QtPlatform::Forget(QObject* object) {
  auto it = handles_.find(object);
  if (it == handles_.end()) return;
  entries_.erase(it->second);
  handles_.erase(it);
}

QWidget* QtPlatform::WidgetOf(Handle handle) {
  AttachEditors();  // whoever looks at a widget sees it as the user would
  const Entry* entry = Find(handle);
  return entry == nullptr ? nullptr : entry->widget.data();
}

Handle QtPlatform::HandleOf(QWidget* widget) {
  if (widget == nullptr) return 0;
  auto it = handles_.find(widget);
  if (it != handles_.end()) return it->second;
  Handle window = widget->isWindow() ? 0 : HandleOf(widget->window());
  return Register(widget, widget->isWindow() ? Kind::kOtherWindow : Kind::kOtherWidget, window, 0);
}

Kind QtPlatform::KindOf(Handle handle) const {
  const Entry* entry = Find(handle);
  return entry == nullptr ? Kind::kOtherWidget : entry->kind;
}

Handle QtPlatform::FontOf(Handle control) const {
  const Entry* entry = Find(control);
  return entry == nullptr ? 0 : entry->font;
}

const QFont* QtPlatform::FontObject(Handle font) const {
  auto it = fonts_.find(font);
  return it == fonts_.end() ? nullptr : &it->second;
}

// --- Fonts.

Handle QtPlatform::MessageFont() {
  Handle handle = next_handle_++;
  fonts_.emplace(handle, QApplication::font("QMessageBox"));
  return handle;
}

Handle QtPlatform::DefaultGuiFont() {
  if (default_font_ == 0) {
    default_font_ = next_handle_++;
    fonts_.emplace(default_font_, QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  }
  return default_font_;
}

void QtPlatform::ApplyFont(QWidget* widget, Handle font) {
  if (const QFont* f = FontObject(font)) widget->setFont(*f);
}

// --- Notifications.

void QtPlatform::Notify(Handle control, Notice notice) {
  const Entry* entry = Find(control);
  if (sink_ == nullptr || entry == nullptr) return;
  sink_->ControlNotice(control, entry->window, notice);
}

void QtPlatform::PostedArrived(std::int64_t code) {
  if (posted_pending_ > 0) --posted_pending_;
  if (sink_ != nullptr) sink_->PostedArrived(code);
}

// --- The main window.

Handle QtPlatform::CreateMainWindow(const Text& title, Rect client) {
  auto* window = new ReportingWindow();
  window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window->setWindowTitle(ToQ(title));
  window->setWindowIcon(ProgramIcon());
  window->setAutoFillBackground(true);
  // The window is disabled only while a dialog is open over it. Qt would grey every control then; a window
  // behind a dialog looks merely inactive, on this desktop as elsewhere.
  QPalette palette = window->palette();
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    auto r = static_cast<QPalette::ColorRole>(role);
    palette.setColor(QPalette::Disabled, r, palette.color(QPalette::Inactive, r));
  }
  window->setPalette(palette);
  window->setFixedSize(NonNegative(client.width), NonNegative(client.height));
  // Holds the focus when no control has it: no size, outside the Tab order (Tab from it goes to the first
  // control). Not the window itself: a disabled window that has the focus hands it to its first child.
  auto* focus_sink = new QWidget(window);
  focus_sink->setFocusPolicy(Qt::NoFocus);
  focus_sink->setGeometry(0, 0, 0, 0);
  // Moved before it exists natively, the position is that of the outer corner, frame included.
  window->move(client.x, client.y);
  owned_windows_.emplace_back(window);
  Handle handle = Register(window, Kind::kMainWindow, 0, 0);
  entries_.at(handle).focus_sink = focus_sink;
  window->on_close_request = [this, handle] {
    if (sink_ != nullptr) sink_->CloseRequested(handle);
  };
  window->installEventFilter(bridge_.get());
  window->show();
  Activate(window);
  return handle;
}

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

// --- Messages.

void QtPlatform::WaitForOneMessage() {
  AttachEditors();
  for (QPointer<QWidget>& widget : graveyard_) delete widget.data();
  graveyard_.clear();
  ++waiting_depth_;
  ++wait_serial_;
  // Messages posted to ourselves come before user input.
  if (posted_pending_ > 0) {
    QCoreApplication::sendPostedEvents(bridge_.get(), PostedType());
  } else {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  --waiting_depth_;
}

void QtPlatform::WaitAndHandleMessage() {
  WaitForOneMessage();
}

bool QtPlatform::PostToSelf(std::int64_t code) {
  if (QCoreApplication::instance() == nullptr || bridge_ == nullptr) return false;
  ++posted_pending_;
  QCoreApplication::postEvent(bridge_.get(), new PostedEvent(code), Qt::HighEventPriority);
  return true;
}

}  // namespace vw::qt

namespace vw {

std::unique_ptr<Platform> MakeQtPlatform(int& argc, char** argv) {
  return std::make_unique<qt::QtPlatform>(argc, argv);
}

}  // namespace vw
