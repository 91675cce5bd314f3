// The Qt back end, modal primitives: this thread's top-level windows, the foreground, enabled and
// always-on-top states, activation and the focus it gives back.
#include "platform/qt/qt_internal.h"

#include <QApplication>
#include <QWindow>

#include <algorithm>

namespace vw::qt {

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

}  // namespace vw::qt
