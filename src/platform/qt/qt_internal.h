// The Qt 6 Widgets back end: the Platform over QApplication and Qt widgets. Includes Qt; only this folder and
// the Qt tests include it (the entry procedure uses qt_platform.h).
//
// Handles are small numbers from one counter, never pointers, so a destroyed object's handle is never reused.
// Windows that the program did not create itself (a QMessageBox) get a handle when first seen.
#pragma once

#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

class QApplication;
class QObject;

namespace vw::qt {

class Editor;

enum class Kind {
  kMainWindow,
  kPanel,
  kLabel,
  kEditor,
  kField,
  kButton,
  kPromptWindow,
  kPromptLabel,
  kPromptField,
  kPromptOkButton,
  kOtherWindow,  // a top-level window the program did not create itself, such as a message box
  kOtherWidget,
};

class QtPlatform final : public Platform {
 public:
  // Uses the QApplication that exists, or creates one (and then owns it).
  QtPlatform(int& argc, char** argv);
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  // --- Platform.
  void SetSink(EventSink* sink) override { sink_ = sink; }
  Handle MessageFont() override;
  Handle DefaultGuiFont() override;
  Handle CreateMainWindow(const Text& title, Rect client) override;
  Handle CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font) override;
  Text GetText(Handle control) override;
  void SetText(Handle control, const Text& text) override;
  std::int64_t TextLength(Handle control) override;
  void AppendText(Handle editor, const Text& text) override;
  std::uint64_t TextRevision(Handle control) override;
  void WaitAndHandleMessage() override;
  bool PostToSelf(std::int64_t code) override;
  std::uint32_t CurrentThreadId() override;
  std::vector<TopLevelWindow> TopLevelWindows() override;
  Handle ForegroundWindow() override;
  bool BelongsToThisProcess(Handle window) override;
  bool IsEnabled(Handle window) override;
  void SetEnabled(Handle window, bool enabled) override;
  bool IsTopmost(Handle window) override;
  void SetTopmost(Handle window, bool topmost) override;
  void ActivateWindow(Handle window) override;
  int MessageBox(Handle owner, const Text& title, const Text& text) override;
  Handle CreatePromptWindow(const PromptWindowSpec& request) override;
  Text PromptFieldText(Handle prompt) override;
  void FocusPromptField(Handle prompt) override;
  bool PumpPromptMessage(Handle prompt, PromptHandler& handler) override;
  void DestroyPromptWindow(Handle prompt) override;

  // --- For the test driver and the Qt tests.
  QWidget* WidgetOf(Handle handle);  // nullptr for an unknown handle or a font
  // Puts editors' text back on their views after a run of AppendText calls (done before every wait).
  void AttachEditors();
  Handle HandleOf(QWidget* widget);  // gives a window or widget seen for the first time a handle
  Kind KindOf(Handle handle) const;
  Handle FontOf(Handle control) const;  // the font object applied when the control was made
  const QFont* FontObject(Handle font) const;
  Handle PromptPart(Handle prompt, Kind part) const;
  // Makes `window` the active window at once, as a click on it would (also tells the window system).
  void Activate(QWidget* window);
  // True while the program waits for the next message in any of the back end's loops; the serial counts
  // the waits, so a test can act once per wait.
  bool Waiting() const { return waiting_depth_ > 0; }
  std::uint64_t WaitSerial() const { return wait_serial_; }

 private:
  class Bridge;
  struct Entry {
    QPointer<QWidget> widget;
    Kind kind = Kind::kOtherWidget;
    Handle window = 0;  // the top-level window it belongs to (itself for a window)
    Handle font = 0;
    std::uint64_t revision = 0;
    QPointer<QWidget> remembered_focus;   // windows: the control to give the focus back to on activation
    QPointer<QWidget> focus_sink;         // main window: holds the focus when no control has it
    Handle owner = 0;                     // prompt: its owner
    Handle label = 0, field = 0, ok = 0;  // prompt: its parts
    QPoint corner;                        // prompt: where its outer top-left corner belongs
  };
  enum class Reaction { kCommand, kClose, kActivated };
  struct PromptEvent {
    Handle prompt;
    Reaction reaction;
    int command;
  };

  Entry* Find(Handle handle);
  const Entry* Find(Handle handle) const;
  Handle Register(QWidget* widget, Kind kind, Handle window, Handle font);
  void Forget(QObject* object);
  void ApplyFont(QWidget* widget, Handle font);
  void Notify(Handle control, Notice notice);
  void WaitForOneMessage();
  void PromptReact(Handle prompt, Reaction reaction, int command);
  void FitPromptFrame(Handle prompt);  // kPromptLayout's outer size at its corner, whatever the frame
  void ControlFocused(QWidget* widget, bool gained);
  void WindowActivated(QWidget* window);
  void PostedArrived(std::int64_t code);

  std::unique_ptr<QApplication> owned_app_;
  std::unique_ptr<Bridge> bridge_;
  EventSink* sink_ = nullptr;
  std::unordered_map<Handle, Entry> entries_;
  std::unordered_map<const QObject*, Handle> handles_;
  std::unordered_map<Handle, QFont> fonts_;
  Handle next_handle_ = 0x100;
  Handle default_font_ = 0;
  std::uint32_t gui_thread_ = 0;
  std::vector<QPointer<QWidget>> owned_windows_;  // deleted with the platform
  std::vector<QPointer<QWidget>> graveyard_;      // hidden, unregistered, deleted at the next wait
  std::deque<PromptEvent> prompt_events_;
  std::vector<QPointer<Editor>> detached_editors_;
  std::int64_t posted_pending_ = 0;
  int waiting_depth_ = 0;
  std::uint64_t wait_serial_ = 0;

  friend class Bridge;
};

}  // namespace vw::qt
