// The control operations the program uses, and the editor line model over the back end's raw text.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"
#include "ui/dialog_state.h"
#include "ui/event_queue.h"

namespace vw {

// What an editor remembers beyond its text: whether an empty first line was added while the text stayed
// empty. It only moves forward: none, pending, used.
enum class EmptyLineState { kNone, kPending, kUsed };

struct EditorLines {
  EmptyLineState state = EmptyLineState::kNone;
  // A copy of the text with its line starts, taken once per change of the editor, so reading every line of
  // an editor costs O(n) in total.
  std::uint64_t revision = 0;
  bool cached = false;
  Text text;
  std::vector<std::size_t> starts;
};

// The toolkit of one run: the back end, the event queue fed by it, the line model of each editor and what the
// dialogs keep. Making one makes it the current toolkit, which every operation below and the dialogs use,
// until it goes; then the one before it is current again.
struct Toolkit {
  explicit Toolkit(Platform& p);
  ~Toolkit();
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;

  Platform& platform;
  EventQueue events;
  std::unordered_map<Handle, EditorLines> editors;
  DialogState dialogs;

 private:
  Toolkit* outer_;
};

// The toolkit of the run in progress.
Toolkit& CurrentToolkit();

// Creates a control whose notices become events; an editor also gets its line model. Program-made changes
// raise no events.
Handle CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font);

std::int64_t WaitEvent();
Handle EventSource();
std::int64_t PostEvent(std::int64_t code);  // 1 when handed over, 0 when refused

void SetText(Handle control, const Text& text);
Text GetText(Handle control);
// Adds one line after the last one (position -1; no other position is used, and any is taken as -1).
std::int64_t AddLine(Handle editor, std::int64_t position, const Text& text);
std::int64_t LineCount(Handle editor);
// Empties the editor's undo history: what the program put in is not the user's to undo.
void ForgetUndo(Handle editor);
// The line without its line break, whole whatever its length; empty for an index out of range.
Text LineText(Handle editor, std::int64_t index);

}  // namespace vw
