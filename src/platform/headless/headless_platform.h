// An in-memory desktop with a scripted user, for tests and benchmarks. It behaves like a native toolkit: it
// reports program changes as a native control would, handles posted messages before user input, and a message
// box or prompt runs its own loop. Whenever the program waits for input, the next scripted step is taken;
// when the script has run out, waiting throws HeadlessScriptExhausted instead of hanging.
//
// Its code is split along the sections of platform.h, in files named as in every back end: window.cpp (the
// objects, activation, focus and the message loop), controls.cpp, text.cpp, clipboard.cpp, message_box.cpp,
// modal.cpp and prompt.cpp.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vw {

class HeadlessScriptExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Keys and chords the scripted user presses. In an editor every kind of Return inserts a plain line break.
enum class HeadlessKey {
  kTab,
  kShiftTab,
  kEnter,
  kEscape,
  kSpace,
  kBackspace,
  kSelectAllDelete,  // Ctrl+A then Delete
  kUndo,
  kShiftEnter,
  kCtrlEnter,
  kDelete,
  kLeft,
  kRight,
  kShiftLeft,  // extends the selection one character to the left
  kShiftRight,
  kHome,  // start of the line
  kEnd,
  kCtrlHome,  // start of the text
  kCtrlEnd,
  kSelectAll,
  kRedo,
  kCopy,  // in a message box: copies the box's whole text
  kCut,
  kPaste,
  kShiftInsert,  // pastes, as kPaste
};

class HeadlessPlatform final : public Platform {
 public:
  struct Options {
    Rect screen{0, 0, 1024, 768};
    bool message_font_available = true;
    bool prompt_window_fails = false;
    bool message_box_fails = false;
    // Editors whose creation fails (returns 0), by their order of creation: 0 the first editor, 1 the second.
    std::vector<int> editors_fail;
  };

  // One dialog as the user saw it.
  struct Shown {
    enum class Kind { kMessage, kPrompt };
    Kind kind;
    Text title;
    Text text;  // the message, or the prompt's label
    friend bool operator==(const Shown&, const Shown&) = default;
  };

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
    kMessageBox,
    kForeignWindow,
  };

  HeadlessPlatform();
  explicit HeadlessPlatform(Options options);
  ~HeadlessPlatform() override;

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
  void ForgetUndo(Handle editor) override;
  std::uint64_t TextRevision(Handle control) override;
  void WaitAndHandleMessage() override;
  bool PostToSelf(std::int64_t code) override;
  std::uint32_t CurrentThreadId() override { return current_thread_; }
  std::vector<TopLevelWindow> TopLevelWindows() override;
  Handle ForegroundWindow() override { return foreground_; }
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

  // --- The scripted user. A step runs when the program next waits for input; steps run in order.
  using Step = std::function<void(HeadlessPlatform&)>;
  void Then(std::string what, Step step);
  bool ScriptDone() const { return script_.empty(); }

  // --- User input, aimed at what is on the screen now. Input to a disabled window has no effect.
  void UserClick(Handle control);                   // a button is pressed, an edit gets the focus
  void UserType(Handle control, const Text& text);  // click into the control, type at the end of its text
  void UserClickTopLeft(Handle control);  // a click at a text control's top-left corner: caret at its start
  // Types each character (a surrogate pair as one) at the focused control's caret, over its selection.
  void UserTypeCharacters(const Text& text);
  void UserKey(HeadlessKey key);  // to the focused control
  void UserCloseBox(Handle window);
  void UserSwitchAway();                    // another program becomes active
  void UserActivate(Handle window);         // click on a window's title bar
  void UserDismissMessageBox();             // the OK button of the open message box
  void UserAnswerPrompt(const Text& text);  // type into the prompt's field, then Enter
  void PostQuitMessage() { quit_pending_ = true; }
  // Another program's clipboard: plain text (which may hold NUL, CR, LF), or nullopt for none (an image, or
  // nothing at all).
  void SetClipboard(std::optional<Text> text) { clipboard_ = std::move(text); }
  const std::optional<Text>& Clipboard() const { return clipboard_; }
  void HandlePending() {
    while (DeliverPosted()) {
    }
  }

  // --- Inspection.
  const std::vector<Shown>& Transcript() const { return transcript_; }
  Handle Focused() const { return focus_; }
  Handle FindControl(ControlKind kind,
                     int ordinal) const;  // the n-th (0-based) control of a kind, by creation
  Handle FindButton(TextView caption) const;
  Handle OpenPrompt() const;
  Handle OpenMessageBox() const;
  Handle PromptPart(Handle prompt, Kind part) const;
  bool Exists(Handle h) const;
  bool IsVisible(Handle h) const;
  bool IsMasked(Handle field) const;
  Handle FontOf(Handle control) const;
  Kind KindOf(Handle h) const;
  Rect OuterRect(Handle window) const;   // screen coordinates
  Rect ClientRect(Handle window) const;  // screen coordinates
  Rect ChildRect(Handle control) const;  // relative to the parent's inner area
  Handle ParentOf(Handle control) const;
  Rect Screen() const { return options_.screen; }
  std::size_t FontsMade() const { return fonts_made_; }

  // --- Test set-up.
  Handle AddForeignWindow(std::uint32_t thread, bool visible, bool other_process);
  void SetCurrentThreadId(std::uint32_t id) { current_thread_ = id; }

  // Frame of a top-level window: the outer rectangle adds these to the client area.
  static constexpr int kBorder = 3;
  static constexpr int kCaption = 26;

 private:
  struct Edit {  // one undoable change of an editor: `inserted` units at `pos` replaced `removed`
    std::size_t pos;
    std::size_t inserted;
    Text removed;
  };
  struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    Handle parent = 0;
    Handle owner = 0;
    Rect rect;  // top-level: client area on screen; child: relative to the parent's inner area
    Text text;
    std::uint64_t revision = 0;
    bool enabled = true, visible = true, topmost = false, masked = false, other_process = false;
    std::uint32_t thread = 1;
    Handle font = 0;
    Handle remembered_focus = 0;
    std::vector<Edit> undo;
    std::vector<Edit> redo;  // undone changes, latest last; any new change of the user clears it
    // The selection runs from `anchor` to `caret` (equal: none); both at character boundaries.
    std::size_t caret = 0, anchor = 0;
  };

  Object* Find(Handle h);
  const Object* Find(Handle h) const;
  Handle New(Object object);
  Handle TopOf(Handle h) const;
  bool TakesInput(Handle h) const;
  bool IsTextControl(Kind kind) const;
  void Notify(Handle control, Notice notice);
  void ChangeText(Handle control, std::size_t pos, std::size_t erase, const Text& insert, bool record_undo);
  void ReplaceSelection(Handle control, const Text& insert);  // as the user types or pastes
  void TypeCharacter(Handle control, TextView character);
  void Paste(Handle control);
  void MoveCaret(Object& o, HeadlessKey key);
  void UndoStep(Handle editor, bool redo);
  void TextKey(Object& f, HeadlessKey key);
  void ClipboardKey(Object& f, HeadlessKey key);
  void MessageBoxKey(const Object& box, HeadlessKey key);
  bool PromptKey(HeadlessKey key);
  void SetFocus(Handle control);
  void Activate(Handle window);
  void RunNextStep(const char* waiting_in);
  bool DeliverPosted();
  std::vector<Handle> TabOrder(Handle window) const;
  void PressButton(Handle button);
  void PromptCommand(int command);

  Options options_;
  EventSink* sink_ = nullptr;
  std::map<Handle, Object> objects_;
  std::vector<Handle> top_levels_;  // creation order
  Handle next_handle_ = 0x100;
  Handle focus_ = 0;
  Handle foreground_ = 0;
  std::deque<std::int64_t> posted_;
  std::deque<std::pair<std::string, Step>> script_;
  std::vector<Shown> transcript_;
  PromptHandler* prompt_handler_ = nullptr;
  Handle open_box_ = 0;
  bool box_done_ = false;
  bool quit_pending_ = false;
  std::optional<Text> clipboard_;
  std::uint32_t current_thread_ = 1;
  std::map<Handle, bool> fonts_;  // font handle -> is the default GUI font
  Handle default_font_ = 0;
  std::size_t fonts_made_ = 0;
  int editors_asked_ = 0;
};

}  // namespace vw
