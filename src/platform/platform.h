// The narrow interface every back end implements: primitives only. What to create, in which order, what to
// do with a notification, and every text the user reads are decided above this interface.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/text.h"

namespace vw {

// A window, a control or a font; 0 is none. Values are opaque and stable for the life of the object.
using Handle = std::uintptr_t;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

enum class ControlKind {
  kPanel,   // raised dialog-frame panel; later controls with it as parent are its children
  kLabel,   // static text, left-aligned, no mnemonics
  kEditor,  // multi-line plain-text editor, no wrap, both scroll bars, Tab types a tab
  kField,   // one-line text field, at most kFieldTextLimit characters
  kButton,  // push button drawn as the default button; Space presses it, Enter does not
};

// The most characters a field (ControlKind::kField) takes; typing or pasting beyond it is cut off.
inline constexpr int kFieldTextLimit = 1048576;

// What a control reported. Part of an event's identity, so two different notices never merge.
enum class Notice : int {
  kPressed = 0,
  kChanged = 1,
  kFocusGained = 2,
  kFocusLost = 3,
};

// Where a back end reports native notifications, as they are handled (by any message loop, the dialogs'
// included). Implemented by the event queue.
class EventSink {
 public:
  virtual void ControlNotice(Handle control, Handle window, Notice notice) = 0;
  virtual void CloseRequested(Handle window) = 0;
  virtual void PostedArrived(std::int64_t code) = 0;

 protected:
  ~EventSink() = default;
};

// Commands of the input prompt: the OK button and Enter give kPromptOk, Escape gives kPromptCancel.
inline constexpr int kPromptOk = 1000;
inline constexpr int kPromptCancel = 1001;
inline constexpr int kPromptFieldId = 10;

// The prompt window's reactions; the back end calls these from PumpPromptMessage.
class PromptHandler {
 public:
  virtual void PromptCommand(int command) = 0;  // any WM_COMMAND-like command, by its identifier
  virtual void PromptCloseRequested() = 0;      // close box, system menu Close, Alt+F4
  virtual void PromptActivated() = 0;           // the prompt window became active, by whatever means

 protected:
  ~PromptHandler() = default;
};

struct TopLevelWindow {
  Handle window = 0;
  std::uint32_t thread = 0;
  bool visible = false;
};

// The input prompt's layout, the same on every back end: the window's outer size (frame included), centred on
// the primary screen, and the client-area rectangles of its label, field and OK button.
struct PromptLayout {
  int outer_width;
  int outer_height;
  Rect label;
  Rect field;
  Rect ok_button;
};
inline constexpr PromptLayout kPromptLayout{
    500, 140, {10, 10, 480, 22}, {10, 32, 465, 21}, {210, 67, 80, 25}};

struct PromptWindowSpec {
  Text title;
  Text prompt;
  Text default_text;
  bool masked = false;
  Handle owner = 0;  // owning window, or 0
  Handle font = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual void SetSink(EventSink* sink) = 0;

  // --- Windows and controls. Creation shows nothing else and decides nothing; results are not checked.
  virtual Handle MessageFont() = 0;     // the font of the platform's message boxes; 0 when unavailable
  virtual Handle DefaultGuiFont() = 0;  // the platform's default GUI font
  // A fixed-size top-level window whose client area is `client` (outer top-left corner at client.x,
  // client.y), shown and activated at once.
  virtual Handle CreateMainWindow(const Text& title, Rect client) = 0;
  virtual Handle CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font) = 0;

  // --- Text of controls. Editors use '\n' as their single line-break character in both directions.
  // An unknown handle reads as empty and ignores writes.
  virtual Text GetText(Handle control) = 0;
  virtual void SetText(Handle control, const Text& text) = 0;
  virtual std::int64_t TextLength(Handle control) = 0;
  // Inserts at the end of an editor's text as one undoable step, the selection hidden meanwhile; the
  // insertion point is left after the text.
  virtual void AppendText(Handle editor, const Text& text) = 0;
  // Empties an editor's undo and redo history (text appended so far included): what the program put in is
  // no step the user can undo.
  virtual void ForgetUndo(Handle editor) = 0;
  // Changes whenever the control's text changes, by the user or the program.
  virtual std::uint64_t TextRevision(Handle control) = 0;

  // --- Messages.
  // Blocks for one native message (or one batch the toolkit handles as one) and handles it, reporting what it
  // raises to the sink. Posted messages are handled before user input.
  virtual void WaitAndHandleMessage() = 0;
  // Posts `code` through the native queue; the sink receives it when the message is handled. false: refused.
  virtual bool PostToSelf(std::int64_t code) = 0;

  // --- Modal primitives.
  virtual std::uint32_t CurrentThreadId() = 0;
  virtual std::vector<TopLevelWindow> TopLevelWindows() = 0;  // every top-level window, in platform order
  virtual Handle ForegroundWindow() = 0;                      // 0 when none
  virtual bool BelongsToThisProcess(Handle window) = 0;
  virtual bool IsEnabled(Handle window) = 0;
  virtual void SetEnabled(Handle window, bool enabled) = 0;
  virtual bool IsTopmost(Handle window) = 0;
  virtual void SetTopmost(Handle window, bool topmost) = 0;  // neither moves nor resizes
  virtual void ActivateWindow(Handle window) = 0;            // makes it the active, foreground window

  // --- Dialogs.
  // The platform's standard message box, owned by `owner` (or none): title, text, one OK button, no icon.
  // Returns 1 once closed, 0 when it could not be shown. Runs its own message loop meanwhile.
  virtual int MessageBox(Handle owner, const Text& title, const Text& text) = 0;
  // Creates the prompt window (laid out as kPromptLayout: label, field, OK button),
  // visible, focus in the field holding the default text with the caret after it, brought to the foreground.
  // Returns 0 when it cannot be created.
  virtual Handle CreatePromptWindow(const PromptWindowSpec& request) = 0;
  virtual Text PromptFieldText(Handle prompt) = 0;
  virtual void FocusPromptField(Handle prompt) = 0;
  // Waits for one message for any window of the thread and handles it: Enter/Escape become commands, dialog
  // navigation inside the prompt, everything else dispatched. Calls `handler` for the prompt's reactions.
  // Returns false when a platform quit message arrived.
  virtual bool PumpPromptMessage(Handle prompt, PromptHandler& handler) = 0;
  virtual void DestroyPromptWindow(Handle prompt) = 0;
};

}  // namespace vw
