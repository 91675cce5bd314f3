// Drives one editor of a back end the way a person edits text in it: keys, typed characters, the clipboard.
// The randomized editing test (one program per back end) runs the same random sessions through it and checks
// that what the editor shows, what a save would write and a plain model of a text editor agree. Each back
// end's editing test executable provides MakeEditingDriver().
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

namespace vw::testing {

// Keys and chords a person presses in an editor, delivered through the back end's real input path.
enum class EditKey {
  kEnter,
  kShiftEnter,
  kCtrlEnter,
  kTab,
  kBackspace,
  kDelete,
  kLeft,
  kRight,
  kShiftLeft,    // extends the selection one character to the left
  kShiftRight,   // extends the selection one character to the right
  kHome,         // start of the row
  kEnd,          // end of the row
  kCtrlHome,     // start of the text
  kCtrlEnd,      // end of the text
  kSelectAll,    // Ctrl+A
  kUndo,         // Ctrl+Z
  kRedo,         // Ctrl+Y (or the platform's own redo chord)
  kCopy,         // Ctrl+C
  kCut,          // Ctrl+X
  kPaste,        // Ctrl+V
  kShiftInsert,  // paste by Shift+Insert
};

class EditingDriver {
 public:
  virtual ~EditingDriver() = default;
  virtual Platform& platform() = 0;
  virtual std::string name() const = 0;

  // Gives `editor` the keyboard focus (as a click into it would, without moving the caret elsewhere than
  // where a click at its top-left corner puts it).
  virtual void Focus(Handle editor) = 0;
  // One key or chord to the control that has the focus.
  virtual void Press(EditKey key) = 0;
  // Types each character of `text` as its own key press, the way a keyboard layout, an input method or a
  // character picker delivers it (a character outside the basic plane arrives as one character).
  virtual void TypeCharacters(const Text& text) = 0;
  // Another program puts plain text on the clipboard (it may hold NUL, CR, LF, separators).
  virtual void SetClipboardText(const Text& text) = 0;
  // Another program puts something without text on the clipboard (an image), or empties it.
  virtual void SetClipboardWithoutText() = 0;
  // The clipboard's plain text as another program would read it; nullopt when it holds no text.
  virtual std::optional<Text> ClipboardText() = 0;
  // The rows the editor shows, top to bottom: one entry per row break on the screen, each the characters
  // drawn on it, except that a stand-in the back end draws for a character it cannot show (marked as such on
  // the screen) reads as the character it stands for.
  virtual std::vector<Text> ShownRows(Handle editor) = 0;
  // Handles whatever native messages are waiting, without blocking.
  virtual void ProcessPending() = 0;
};

std::unique_ptr<EditingDriver> MakeEditingDriver();

}  // namespace vw::testing
