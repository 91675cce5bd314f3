#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/qt/qt_internal.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_shown_text.h"
#include "platform/qt/qt_widgets.h"

namespace vw {
namespace qt {
namespace {

// Unit for unit. QString::fromStdU16String (fromUtf16) would drop a leading byte-order mark.
QString ToQ(const Text& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

QRect ToQ(const Rect& rect) {
  return QRect(rect.x, rect.y, rect.width, rect.height);
}

Text FromQ(const QString& text) {
  return text.toStdU16String();
}

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

std::uint32_t ThisThreadId() {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 256}) icon.addFile(QStringLiteral(":/veraway/veraway-%1.png").arg(size));
  return icon;
}

// A row of more than this many units is cut to its two ends before it is laid out. The program's box text
// never holds one (ui wraps it into rows of at most 100 units); a row of a million would take seconds to lay
// out and to paint.
constexpr qsizetype kLongestRow = 4000;

// The box's text as rows: "\r\n", a lone "\r" and "\n" each end a row. A character that would break a row
// or not show at all is shown by its stand-in (qt_shown_text.h).
QString BoxRows(const QString& given) {
  QString text = given;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  QStringList rows = text.split(QChar(u'\n'));
  for (QString& row : rows) {
    if (row.size() > kLongestRow) {
      row = row.left(kLongestRow / 2) + QChar(u'\u2026') + row.right(kLongestRow / 2);
    }
    for (QChar& c : row) {
      if (char16_t glyph = StandInFor(c.unicode())) c = QChar(glyph);
    }
  }
  return rows.join(QChar(u'\n'));
}

// How wide Qt lets a message box grow on this screen (QMessageBox's own limit).
int WidestBox(const QRect& available) {
  return available.width() <= 1024 ? available.width() : std::min(available.width() - 480, 1000);
}

// Room a window frame may take around the box, and what the box needs beside its text.
constexpr int kFrameRoom = 40;
constexpr int kSpareRoom = 24;

// The box shows `rows` each on one row of a label, never wrapped and never cut: Qt's own label would wrap
// the text to the box's width. When the rows are wider or taller than the screen leaves room for, the label
// scrolls inside the box, so the box always fits on the screen.
void ShowInRows(QMessageBox& box, const QString& rows) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (label == nullptr || grid == nullptr) return;
  auto* shown = new QLabel;
  shown->setObjectName(QStringLiteral("vw_shown_text"));
  shown->setTextFormat(Qt::PlainText);
  shown->setWordWrap(false);
  shown->setAlignment(label->alignment());
  shown->setFont(box.font());
  shown->setText(rows);

  const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  const QMargins margins = grid->contentsMargins();
  const int buttons = box.buttons().isEmpty() ? 0 : box.buttons().first()->sizeHint().height();
  const int max_width = std::max(1, std::min(WidestBox(available), available.width() - kFrameRoom) -
                                        margins.left() - margins.right() - kSpareRoom);
  const int max_height = std::max(1, available.height() - kFrameRoom - margins.top() - margins.bottom() -
                                         buttons - 2 * std::max(0, grid->verticalSpacing()) - kSpareRoom);

  auto* area = new QScrollArea(&box);
  area->setObjectName(QStringLiteral("vw_shown_rows"));
  area->setFrameShape(QFrame::NoFrame);
  area->setFocusPolicy(Qt::NoFocus);
  area->setWidgetResizable(false);
  area->setWidget(shown);
  shown->resize(shown->sizeHint());  // whole, however wide
  area->viewport()->setAutoFillBackground(false);
  const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
  int width = shown->width();
  int height = shown->height();
  // The scroll bars are decided here, once: left to the area, one that comes and goes while the box is laid
  // out can stay behind and hide a row's end.
  bool across = width > max_width;
  if (across) height += bar;
  const bool down = height > max_height;
  if (down) width += bar;
  if (!across && width > max_width) {  // the vertical bar left too little room across
    across = true;
    height += bar;
  }
  area->setHorizontalScrollBarPolicy(across ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  area->setVerticalScrollBarPolicy(down ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  area->setFixedSize(std::min(width, max_width), std::min(height, max_height));
  delete grid->replaceWidget(label, area);
  label->hide();

  // A box is only as wide as its text; a short text would leave the title cut off ("This Link Found" is the
  // answer the administrator looks for), so the box is made wide enough for the title and the frame's
  // buttons.
  const int title_width = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + 120;
  grid->addItem(
      new QSpacerItem(std::min(title_width, max_width), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
      grid->rowCount(), 0, 1, grid->columnCount());
}

int NonNegative(int value) {
  return std::max(0, value);
}

QSize PromptClientSize(const QMargins& frame) {
  return {std::max(1, kPromptLayout.outer_width - frame.left() - frame.right()),
          std::max(1, kPromptLayout.outer_height - frame.top() - frame.bottom())};
}

}  // namespace

// Turns Qt's notifications into the platform's: focus changes, activation, the prompt's keys, and the
// messages posted to ourselves.
class QtPlatform::Bridge final : public QObject {
 public:
  explicit Bridge(QtPlatform& platform) : platform_(platform) {}

  bool event(QEvent* event) override {
    if (event->type() == PostedType()) {
      platform_.PostedArrived(static_cast<PostedEvent*>(event)->code());
      return true;
    }
    return QObject::event(event);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
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
      case QEvent::KeyPress:
        return PromptKey(*entry, static_cast<QKeyEvent*>(event));
      default:
        return false;
    }
  }

 private:
  // Enter and Escape are the prompt's commands whichever of its controls has the focus.
  bool PromptKey(const Entry& entry, const QKeyEvent* key) {
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

  QtPlatform& platform_;
};

namespace {

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

}  // namespace

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

void QtPlatform::WindowActivated(QWidget* window) {
  auto it = handles_.find(window);
  if (it == handles_.end()) return;
  Entry* entry = Find(it->second);
  if (entry == nullptr) return;
  if (entry->kind == Kind::kPromptWindow) {
    PromptReact(it->second, Reaction::kActivated, 0);
  } else if (entry->kind == Kind::kMainWindow) {
    QWidget* focus = entry->remembered_focus.data();
    if (focus == nullptr || !focus->isEnabled() || !focus->isVisible()) {
      // No control had the focus (at start, after the start-up prompt): it goes to the window's empty
      // stand-in, where keys do nothing. Qt would otherwise give it to the first control, the sites editor,
      // where a second Enter pressed at the prompt would type a line break.
      focus = entry->focus_sink.data();
    }
    if (focus != nullptr) focus->setFocus(Qt::ActiveWindowFocusReason);
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

void QtPlatform::PostedArrived(std::int64_t code) {
  if (posted_pending_ > 0) --posted_pending_;
  if (sink_ != nullptr) sink_->PostedArrived(code);
}

// --- Windows and controls.

void QtPlatform::Activate(QWidget* window) {
  if (window == nullptr) return;
  window->raise();
  window->activateWindow();
  // The window system confirms activation later; the program relies on it at once (as a native activation
  // would), so Qt is told now as well.
  QT_WARNING_PUSH
  QT_WARNING_DISABLE_DEPRECATED
  QApplication::setActiveWindow(window);
  QT_WARNING_POP
}

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
      auto* field = new QLineEdit(container);
      field->setMaxLength(kFieldTextLimit);
      field->setText(ToQ(text));
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
      if (Entry* entry = Find(handle)) ++entry->revision;
      Notify(handle, Notice::kChanged);
    });
  } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    QObject::connect(field, &QLineEdit::textChanged, bridge_.get(), [this, handle] {
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

// --- Text.

Text QtPlatform::GetText(Handle control) {
  const Entry* entry = Find(control);
  if (entry == nullptr) return {};
  QWidget* widget = entry->widget;
  if (auto* editor = dynamic_cast<Editor*>(widget)) return RealText(*editor->text());
  if (auto* field = qobject_cast<QLineEdit*>(widget)) return FromQ(field->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return FromQ(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return FromQ(button->text());
  if (widget->isWindow()) return FromQ(widget->windowTitle());
  return {};
}

void QtPlatform::SetText(Handle control, const Text& text) {
  Entry* entry = Find(control);
  if (entry == nullptr) return;
  QWidget* widget = entry->widget;
  if (auto* editor = dynamic_cast<Editor*>(widget)) {
    editor->Replace(ToQ(text));  // counts the revision through contentsChanged
    return;
  }
  if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    field->setText(ToQ(text));
    return;
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQ(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQ(text));
  } else if (widget->isWindow()) {
    widget->setWindowTitle(ToQ(text));
  } else {
    return;
  }
  ++entry->revision;
}

std::int64_t QtPlatform::TextLength(Handle control) {
  Entry* entry = Find(control);
  if (entry == nullptr) return 0;
  if (auto* editor = dynamic_cast<Editor*>(entry->widget.data())) {
    // The document counts one more character than its text: the separator after the last block. A
    // stand-in is one unit, as the character it stands for.
    return std::max<std::int64_t>(0, editor->text()->characterCount() - 1);
  }
  return static_cast<std::int64_t>(GetText(control).size());
}

void QtPlatform::AppendText(Handle editor, const Text& text) {
  Entry* entry = Find(editor);
  if (entry == nullptr) return;
  auto* edit = dynamic_cast<Editor*>(entry->widget.data());
  if (edit == nullptr) return;
  if (text.empty()) {
    if (!edit->detached()) {
      QTextCursor end(edit->text());
      end.movePosition(QTextCursor::End);
      edit->setTextCursor(end);  // the insertion point after the text, no selection
    }
    return;
  }
  // Off the view until the next event is handled (AttachEditors), which leaves the caret after the text.
  if (!edit->detached()) {
    edit->Detach();
    detached_editors_.emplace_back(edit);
  }
  // The characters themselves, not copied: the document copies what it inserts.
  edit->Append(
      QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size())));
}

void QtPlatform::AttachEditors() {
  std::vector<QPointer<Editor>> editors;
  editors.swap(detached_editors_);
  for (QPointer<Editor>& editor : editors) {
    if (editor != nullptr) editor->Attach();
  }
}

std::uint64_t QtPlatform::TextRevision(Handle control) {
  const Entry* entry = Find(control);
  return entry == nullptr ? 0 : entry->revision;
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

// --- Modal primitives.

std::uint32_t QtPlatform::CurrentThreadId() {
  return ThisThreadId();
}

std::vector<TopLevelWindow> QtPlatform::TopLevelWindows() {
  std::vector<TopLevelWindow> result;
  const QWidgetList widgets = QApplication::topLevelWidgets();
  for (QWidget* widget : widgets) {
    Qt::WindowType type = widget->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop || type == Qt::SplashScreen) continue;
    if (!widget->isVisible() && handles_.find(widget) == handles_.end()) continue;  // nothing the program saw
    result.push_back({HandleOf(widget), gui_thread_, widget->isVisible()});
  }
  std::sort(result.begin(), result.end(),
            [](const TopLevelWindow& a, const TopLevelWindow& b) { return a.window < b.window; });
  return result;
}

Handle QtPlatform::ForegroundWindow() {
  return HandleOf(QApplication::activeWindow());
}

bool QtPlatform::BelongsToThisProcess(Handle window) {
  const Entry* entry = Find(window);
  return entry != nullptr && entry->widget->isWindow();
}

bool QtPlatform::IsEnabled(Handle window) {
  const Entry* entry = Find(window);
  return entry != nullptr && entry->widget->isEnabled();
}

void QtPlatform::SetEnabled(Handle window, bool enabled) {
  if (Entry* entry = Find(window)) entry->widget->setEnabled(enabled);
}

bool QtPlatform::IsTopmost(Handle window) {
  const Entry* entry = Find(window);
  return entry != nullptr && entry->widget->isWindow() &&
         entry->widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void QtPlatform::SetTopmost(Handle window, bool topmost) {
  Entry* entry = Find(window);
  if (entry == nullptr || !entry->widget->isWindow()) return;
  QWidget* widget = entry->widget;
  Qt::WindowFlags flags = widget->windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
  if (flags == widget->windowFlags()) return;
  if (QWindow* native = widget->windowHandle()) {
    // QWidget::setWindowFlags would hide the window (and so move the activation). The flag is changed on
    // the native window in place instead, which neither hides, moves nor resizes it.
    widget->overrideWindowFlags(flags);
    native->setFlags(flags);
  } else {
    widget->setWindowFlags(flags);  // not on the screen yet: nothing to hide
  }
}

void QtPlatform::ActivateWindow(Handle window) {
  if (const Entry* entry = Find(window); entry != nullptr && entry->widget->isWindow()) {
    Activate(entry->widget.data());
  }
}

// --- Dialogs.

int QtPlatform::MessageBox(Handle owner, const Text& title, const Text& text) {
  QPointer<QWidget> owner_window;
  if (const Entry* entry = Find(owner); entry != nullptr && entry->widget->isWindow()) {
    owner_window = entry->widget.data();
  }
  // No QWidget parent: disabling the owner would disable a child window as well. The owner is the box's
  // transient parent instead.
  auto box = std::make_unique<MessageBoxWindow>();
  box->setWindowTitle(ToQ(title));
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::NoTextInteraction);
  const QString rows = BoxRows(ToQ(text));
  box->setText(rows);
  box->setIcon(QMessageBox::NoIcon);
  box->setStandardButtons(QMessageBox::Ok);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  box->copied_text = ToQ(text);
  box->setProperty("vwText", box->copied_text);
  ShowInRows(*box, rows);  // after the setters: setIcon lays the box out anew
  HandleOf(box.get());
  if (owner_window != nullptr) {
    box->winId();
    if (box->windowHandle() != nullptr) box->windowHandle()->setTransientParent(owner_window->windowHandle());
  }
  // Like the native message boxes elsewhere: the owner is disabled while the box is open.
  bool disabled_owner = false;
  if (owner_window != nullptr && owner_window->isEnabled()) {
    owner_window->setEnabled(false);
    disabled_owner = true;
  }
  bool done = false;
  QObject::connect(box.get(), &QDialog::finished, bridge_.get(), [&done] { done = true; });
  box->show();
  Activate(box.get());
  while (!done && box->isVisible() && !TheQuitWatcher().requested) WaitForOneMessage();

  if (disabled_owner && owner_window != nullptr) owner_window->setEnabled(true);
  box->hide();
  box.reset();
  return 1;
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

}  // namespace qt

std::unique_ptr<Platform> MakeQtPlatform(int& argc, char** argv) {
  return std::make_unique<qt::QtPlatform>(argc, argv);
}

}  // namespace vw
