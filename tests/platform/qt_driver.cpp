// The contract suite's driver for the Qt back end: real Qt input through QTest on the offscreen platform.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "platform/driver.h"
#include "platform/qt/qt_internal.h"

namespace vw::testing {
namespace {

using qt::Kind;
using qt::QtPlatform;

QString ToQ(const Text& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
Text FromQ(const QString& text) {
  return text.toStdU16String();
}
Rect FromQ(const QRect& r) {
  return {r.x(), r.y(), r.width(), r.height()};
}

int& Argc() {
  static int argc = 1;
  return argc;
}

char** Argv() {
  static char name[] = "qt_contract_test";
  static char* argv[] = {name, nullptr};
  return argv;
}

class QtDriver final : public Driver {
 public:
  QtDriver() : platform_(MakePlatform()), steps_context_(std::make_unique<QObject>()) {}

  Platform& platform() override { return *platform_; }
  std::string name() const override { return "qt"; }

  // --- Input.

  void Click(Handle control) override {
    QWidget* widget = platform_->WidgetOf(control);
    if (!TakesInput(widget)) return;
    QWidget* window = widget->window();
    if (QApplication::activeWindow() != window) platform_->Activate(window);  // a click activates its window
    QWidget* target = widget;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) target = area->viewport();
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->rect().center());
  }

  void Type(Handle control, const Text& text) override {
    Click(control);
    QWidget* widget = platform_->WidgetOf(control);
    if (widget == nullptr || QApplication::focusWidget() != widget) return;  // the click did not reach it
    // To the end of its text, then the characters, each to whatever has the focus by then.
    if (qobject_cast<QPlainTextEdit*>(widget) != nullptr) {
      QTest::keyClick(widget, Qt::Key_End, Qt::ControlModifier);
    } else {
      QTest::keyClick(widget, Qt::Key_End);
    }
    QString chars = ToQ(text);
    for (qsizetype i = 0; i < chars.size(); ++i) {
      QWidget* focus = QApplication::focusWidget();
      if (focus == nullptr || !focus->isEnabled()) return;
      QChar c = chars.at(i);
      if (c == u'\n') {
        QTest::keyClick(focus, Qt::Key_Return);
      } else if (c == u'\t') {
        QTest::keyClick(focus, Qt::Key_Tab);
      } else {
        QString typed(c);
        if (c.isHighSurrogate() && i + 1 < chars.size() && chars.at(i + 1).isLowSurrogate())
          typed += chars.at(++i);
        Qt::Key key =
            c.unicode() < 0x80 ? QTest::asciiToKey(static_cast<char>(c.unicode())) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, focus, key, typed, Qt::NoModifier);
      }
    }
  }

  void PressKey(Key key) override {
    platform_->AttachEditors();  // as before any input the program's loop would handle
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr) target = QApplication::activeWindow();
    if (target == nullptr || !target->isEnabled()) return;
    switch (key) {
      case Key::kTab:
        return QTest::keyClick(target, Qt::Key_Tab);
      case Key::kShiftTab:
        return QTest::keyClick(target, Qt::Key_Backtab, Qt::ShiftModifier);
      case Key::kEnter:
        return QTest::keyClick(target, Qt::Key_Return);
      case Key::kEscape:
        return QTest::keyClick(target, Qt::Key_Escape);
      case Key::kSpace:
        return QTest::sendKeyEvent(QTest::Click, target, Qt::Key_Space, QStringLiteral(" "), Qt::NoModifier);
      case Key::kBackspace:
        return QTest::keyClick(target, Qt::Key_Backspace);
      case Key::kSelectAllDelete: {
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QWidget* now = QApplication::focusWidget();
        if (now != nullptr) QTest::keyClick(now, Qt::Key_Delete);
        return;
      }
      case Key::kUndo:
        return QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    }
  }

  void CloseBox(Handle window) override {
    QWidget* widget = platform_->WidgetOf(window);
    if (widget == nullptr || !widget->isWindow() || !TakesInput(widget)) return;
    widget->close();  // the close request a window manager sends
  }

  void SwitchAwayAndBack(Handle window) override {
    // Another program becomes active: no window of ours is.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(nullptr);
    QT_WARNING_POP
    QWidget* widget = platform_->WidgetOf(window);
    if (widget != nullptr && widget->isWindow() && TakesInput(widget)) platform_->Activate(widget);
  }

  void ProcessPending() override {
    platform_->AttachEditors();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }

  // --- What is on the screen.

  Handle Focused() override { return platform_->HandleOf(QApplication::focusWidget()); }

  Rect OuterRect(Handle window) override {
    QWidget* widget = platform_->WidgetOf(window);
    return widget == nullptr || !widget->isWindow() ? Rect{} : FromQ(widget->frameGeometry());
  }

  Rect ClientRect(Handle window) override {
    QWidget* widget = platform_->WidgetOf(window);
    if (widget == nullptr || !widget->isWindow()) return {};
    return FromQ(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()));
  }

  Rect ChildRect(Handle control) override {
    QWidget* widget = platform_->WidgetOf(control);
    return widget == nullptr || widget->isWindow() ? Rect{} : FromQ(widget->geometry());
  }

  Rect Screen() override {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? Rect{} : FromQ(screen->geometry());
  }

  bool Exists(Handle window) override { return platform_->WidgetOf(window) != nullptr; }

  bool IsVisible(Handle window) override {
    QWidget* widget = platform_->WidgetOf(window);
    return widget != nullptr && widget->isVisible();
  }

  Handle PromptField(Handle prompt) override { return platform_->PromptPart(prompt, Kind::kPromptField); }
  Handle PromptOkButton(Handle prompt) override {
    return platform_->PromptPart(prompt, Kind::kPromptOkButton);
  }
  Handle PromptLabel(Handle prompt) override { return platform_->PromptPart(prompt, Kind::kPromptLabel); }

  bool PromptLabelWraps(Handle prompt) override {
    auto* label = qobject_cast<QLabel*>(platform_->WidgetOf(PromptLabel(prompt)));
    return label != nullptr && label->wordWrap();
  }

  bool IsMasked(Handle field) override {
    auto* edit = qobject_cast<QLineEdit*>(platform_->WidgetOf(field));
    return edit != nullptr && edit->echoMode() != QLineEdit::Normal;
  }

  Handle FontOf(Handle control) override { return platform_->FontOf(control); }

  ShownMessageBox CurrentMessageBox() override {
    QMessageBox* box = OpenBox();
    if (box == nullptr) return {};
    ShownMessageBox shown;
    shown.window = platform_->HandleOf(box);
    shown.title = FromQ(box->windowTitle());
    // The text as the program gave it; the box shows its "\r\n" as line breaks.
    QVariant given = box->property("vwText");
    shown.text = FromQ(given.isValid() ? given.toString() : box->text());
    shown.button_count = static_cast<int>(box->buttons().size());
    shown.has_icon = box->icon() != QMessageBox::NoIcon || !box->iconPixmap().isNull();
    return shown;
  }

  void DismissMessageBox() override {
    QMessageBox* box = OpenBox();
    if (box == nullptr) return;
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    if (ok == nullptr && !box->buttons().isEmpty()) ok = box->buttons().first();
    if (ok == nullptr || !TakesInput(ok)) {
      // A user could not close it either; the test fails instead of waiting for ever.
      ADD_FAILURE() << "the message box's OK button cannot be pressed";
      box->done(QMessageBox::Ok);
      return;
    }
    QTest::mouseClick(ok, Qt::LeftButton);
  }

  // --- Scheduling. A zero-time timer fires once the program's loop has handled what was waiting; a step
  // runs only while the program waits in one of the back end's loops, and at most once per wait.

  void WhenWaiting(std::function<void()> step) override {
    steps_.push_back(std::move(step));
    Arm();
  }

  bool StepsLeft() override { return !steps_.empty(); }

 private:
  static std::unique_ptr<QtPlatform> MakePlatform() {
    // Tests run on the offscreen platform unless told otherwise.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static const QtMessageHandler previous = qInstallMessageHandler(QuietMessages);
    (void)previous;
    return std::make_unique<QtPlatform>(Argc(), Argv());
  }

  // The offscreen platform warns about every window operation it does not implement (raise, size hints);
  // those lines say nothing about the program and are left out of the test output.
  static void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support")) ||
        message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
      return;
    }
    qt_message_output(type, context, message);
  }

  // Input reaches a widget only when it and its window are enabled and visible, and no modal window of
  // another hierarchy is open.
  static bool TakesInput(QWidget* widget) {
    if (widget == nullptr || !widget->isVisible() || !widget->isEnabled()) return false;
    QWidget* window = widget->window();
    if (!window->isEnabled()) return false;
    QWidget* modal = QApplication::activeModalWidget();
    return modal == nullptr || modal == window;
  }

  static QMessageBox* OpenBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) return box;
    }
    return nullptr;
  }

  void Arm() {
    if (armed_ || steps_.empty()) return;
    armed_ = true;
    QTimer::singleShot(0, steps_context_.get(), [this] {
      armed_ = false;
      Tick();
    });
  }

  void Tick() {
    if (steps_.empty()) return;
    if (!platform_->Waiting() || platform_->WaitSerial() == last_serial_) {
      Arm();
      return;
    }
    last_serial_ = platform_->WaitSerial();
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    step();
    Arm();
  }

  std::unique_ptr<QtPlatform> platform_;
  std::unique_ptr<QObject> steps_context_;  // destroyed first: takes pending timers with it
  std::deque<std::function<void()>> steps_;
  bool armed_ = false;
  std::uint64_t last_serial_ = 0;
};

}  // namespace

std::unique_ptr<Driver> MakeDriver() {
  return std::make_unique<QtDriver>();
}

}  // namespace vw::testing
