// The Win32 back end's class, for the back end itself and its own tests, and what the back end's files
// share. Includes <windows.h>: never include this above the platform interface.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> maps MessageBox to MessageBoxW, which would rename Platform::MessageBox in this back end.
#undef MessageBox

#include <richedit.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace vw {

class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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

  // --- For this back end's own tests.
  // The window class the editors were created with (RICHEDIT50W, or an older rich-edit class).
  const wchar_t* EditorClassName() const { return editor_class_; }
  // The prompt's accelerator table, 0 for no open prompt.
  HACCEL PromptAccelerators(Handle prompt) const;
  // The font object CreateControl applied to a control (rich-edit controls do not answer WM_GETFONT).
  Handle AppliedFont(Handle control) const;
  // The hidden window that receives PostToSelf's messages.
  HWND PostWindow() const { return post_window_; }
  // The window a control handle stands for now: an editor's window is replaced when a large paste is undone
  // (see ReplaceEditor), its handle stays.
  HWND Live(Handle control) const;
  // The handle of a control's window (the window's own, unless it replaced an editor's).
  Handle HandleOf(HWND window) const;
  // Handles one message already taken from the queue as the innermost loop running now would: the prompt's
  // keys while PumpPromptMessage runs, else the main window's. Lets a test driver finish what it typed at
  // once.
  void HandleInInnermostLoop(MSG& msg);
  // What the program's next wait for input does first: editors that text was appended to draw again, with
  // the view brought to the insertion point. Lets a test driver or benchmark act as that wait would.
  void ShowAppended();

  // Window procedures (registered per process; each window finds its platform in GWLP_USERDATA).
  static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PromptProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                     DWORD_PTR platform);
  static LRESULT CALLBACK FieldProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                    DWORD_PTR platform);

 private:
  struct Control {
    ControlKind kind = ControlKind::kLabel;
    HWND root = nullptr;  // the main window it lives in
    Handle font = 0;
    std::uint64_t revision = 0;
    std::int64_t length = -1;   // an editor's length in UTF-16 units (pending text included), -1: not known
    bool drawing_held = false;  // drawing held back until the program waits again
    Text pending;               // appended text not yet in the control, in the editor's line breaks
    std::vector<std::size_t> pending_starts;  // where each append begins in `pending`
    // A field's text revision right after Ctrl+Z undid its last change: redo is undoing that undo, the edit
    // control's own one-step history, while nothing changed since. 0: nothing to redo.
    std::uint64_t undone_at = 0;
    // An editor's last paste of kOwnUndoLines lines or more, which the back end undoes and redoes itself
    // (see Paste). Texts in the editor's line breaks.
    struct OwnStep {
      LONG start = 0;
      Text removed;
      Text inserted;
      bool undone = false;
      std::uint64_t revision = 0;  // the editor's revision right after the paste, its undo or its redo
    };
    std::optional<OwnStep> own_step;
  };
  struct MainWindow {
    std::vector<HWND> tab_order;  // controls with WS_TABSTOP, in creation order
    HWND remembered_focus = nullptr;
  };
  struct Prompt {
    HWND label = nullptr;
    HWND field = nullptr;
    HWND ok = nullptr;
    HACCEL accelerators = nullptr;
    PromptHandler* handler = nullptr;  // set while PumpPromptMessage runs
  };

  Control* FindControl(Handle control);
  const Control* FindControl(Handle control) const;
  HWND OwnWindow(Handle window) const;  // a live window of this process, else nullptr
  Prompt* FindPrompt(Handle prompt);

  LRESULT OnMainWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnPromptMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void OnCommand(WPARAM wparam, LPARAM lparam);  // a child's notification, reaching a main window or panel
  void Forget(HWND root);                        // a main window is being destroyed
  bool HandleMainWindowKey(const MSG& msg);      // Tab navigation and the field's Ctrl+A
  void MoveFocus(HWND root, bool forward);
  void HandleMainMessage(MSG& msg);                 // after GetMessageW in WaitAndHandleMessage
  void HandlePromptMessage(HWND prompt, MSG& msg);  // after GetMessageW in PumpPromptMessage
  BOOL NextMessage(MSG& msg);                       // GetMessageW, with in_get_message_ set while it runs
  void WakeIfWaiting();  // a reaction inside GetMessageW: posts a message so that the call returns
  std::int64_t MeasureLength(HWND editor);  // asks the control, walking its text
  // Puts an editor's pending text into the control; `one_step`: as one undo step, its history forgotten next.
  void PutPending(HWND editor, Control& c, bool one_step = false);
  bool StepOwn(HWND editor, bool undo);  // the editor's own step undone or redone, when it is next
  void RemoveInPieces(HWND editor, LONG start, LONG end, const Text& now);  // `now` stands at [start, end)
  // Puts a new editor window in the place of `editor`, holding `text` (the editor's line breaks), the caret
  // at `caret`: what removing many lines costs under Wine, in time linear in the text. The new window.
  HWND ReplaceEditor(HWND editor, const Text& text, LONG caret);
  void SetUpEditor(HWND editor);      // what every editor window is given after it is created
  void Paste(HWND editor);            // the clipboard's text in place of the editor's selection
  void Copy(HWND editor, bool cut);   // the selection's text onto the clipboard; cut removes it
  void InsertLineBreak(HWND editor);  // what plain Return inserts, in place of the selection
  void FieldCopy(HWND field,
                 bool cut);  // the link field's selection, its real characters, onto the clipboard

  EventSink* sink_ = nullptr;
  HINSTANCE instance_ = nullptr;
  HMODULE rich_edit_library_ = nullptr;
  const wchar_t* editor_class_ = L"RICHEDIT50W";
  bool rich_edit_1_ = false;  // only the oldest class: "\r\n" breaks, no EM_GETTEXTEX
  HWND post_window_ = nullptr;
  int next_control_id_ = 100;
  std::unordered_map<HWND, Control> controls_;  // by the handle's window
  std::unordered_map<HWND, HWND> live_;         // a replaced editor's handle window -> its window now
  std::unordered_map<HWND, HWND> handle_of_;    // ... and back
  std::unordered_map<HWND, MainWindow> main_windows_;
  std::unordered_map<HWND, Prompt> prompts_;
  std::vector<HWND> pumping_;          // prompts whose PumpPromptMessage is running, innermost last
  bool in_get_message_ = false;        // a loop of this back end waits in GetMessageW
  std::vector<HWND> topmost_pending_;  // SetTopmost(true) did not take while an owned window was open (Wine)
  std::vector<HWND> appended_;         // editors appended to since the program last waited
  HWND putting_ = nullptr;             // the editor PutPending is putting text into: its changes are not news
  bool swallow_char_ = false;          // an editor handled a key whose WM_CHAR is still to come
};

// --- What the back end's files (window, controls, text, clipboard, message_box, modal, prompt) share.
namespace win32 {

inline constexpr wchar_t kMainWindowClass[] = L"VerawayEditWindow";
inline constexpr wchar_t kPanelClass[] = L"VerawayEditPanel";
inline constexpr wchar_t kPostWindowClass[] = L"VerawayEditPosted";
inline constexpr wchar_t kPromptClass[] = L"InputRequester";

// The editors keep this many undo steps (the rich-edit controls' default).
inline constexpr std::size_t kUndoLimit = 100;
// Wine's rich edit undoes and redoes a paste in time that grows with the square of its lines (10,000 lines:
// minutes), so from this many line breaks on a paste is the back end's own step.
inline constexpr std::size_t kOwnUndoLines = 500;
// How many lines the back end's own undo and redo take out of an editor at once (see StepOwn).
inline constexpr std::size_t kLinesRemovedAtOnce = 200;
// Removing lines costs about as much as keeping this many lines in a new window, each (see StepOwn).
inline constexpr std::uint64_t kLinesKeptPerLineOut = 1000;

inline Handle ToHandle(HWND window) {
  return reinterpret_cast<Handle>(window);
}
inline Handle ToHandle(HGDIOBJ object) {
  return reinterpret_cast<Handle>(object);
}
inline HWND ToWindow(Handle handle) {
  return reinterpret_cast<HWND>(handle);
}
inline const wchar_t* Wide(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Rich-edit controls keep '\r' as their line break; the interface speaks '\n'.
Text ToEditorBreaks(const Text& text);
// Rich edit 2.0 and later hand out '\r'; rich edit 1.0 hands out "\r\n". Both become '\n'.
Text FromEditorBreaks(const Text& text);
// A window's text through GetWindowTextW.
Text WindowText(HWND window);
// Up to `units` UTF-16 units of a rich edit's text (GT_DEFAULT) or selection (GT_SELECTION), through
// EM_GETTEXTEX, with the control's own line breaks; rich edit 2.0 and later only.
Text RichEditText(HWND editor, std::size_t units, DWORD flags);
// The platform a window was created for, stored at WM_NCCREATE.
Win32Platform* PlatformOf(HWND window, UINT message, LPARAM lparam);
// An editor's selection.
CHARRANGE Selection(HWND editor);
// Puts `text` on the clipboard as Unicode text; true when it is there.
bool PutOnClipboard(HWND owner, const Text& text);
// The clipboard's Unicode text, NULs inside it included (the block's last unit is the format's terminating
// NUL); empty when it holds no text.
Text ClipboardText(HWND owner);

}  // namespace win32
}  // namespace vw
