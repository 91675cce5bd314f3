#include "ui/controls.h"

#include <cassert>

namespace vw {
namespace {

Toolkit* current_toolkit = nullptr;

EditorLines* Lines(Handle editor) {
  auto& editors = CurrentToolkit().editors;
  auto it = editors.find(editor);
  return it == editors.end() ? nullptr : &it->second;
}

// Brings the cached copy of the editor's text up to date when the editor changed since it was taken.
const EditorLines& Refresh(Handle editor, EditorLines& lines) {
  Platform& platform = CurrentToolkit().platform;
  std::uint64_t revision = platform.TextRevision(editor);
  if (lines.cached && lines.revision == revision) return lines;
  lines.text = platform.GetText(editor);
  lines.starts.assign(1, 0);
  for (std::size_t i = 0; i < lines.text.size(); ++i) {
    if (lines.text[i] == u'\n') lines.starts.push_back(i + 1);
  }
  lines.revision = revision;
  lines.cached = true;
  return lines;
}

}  // namespace

Toolkit::Toolkit(Platform& p) : platform(p), events(p), dialogs(p), outer_(current_toolkit) {
  current_toolkit = this;
}

Toolkit::~Toolkit() {
  current_toolkit = outer_;
}

Toolkit& CurrentToolkit() {
  assert(current_toolkit != nullptr && "no toolkit in use");
  return *current_toolkit;
}

DialogState& CurrentDialogs() {
  return CurrentToolkit().dialogs;
}

Handle CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text, Handle font) {
  Toolkit& toolkit = CurrentToolkit();
  EventQueue::ProgramChange quiet(toolkit.events);
  Handle control = toolkit.platform.CreateControl(kind, parent, rect, text, font);
  if (control == 0) return 0;
  toolkit.events.Report(control);
  if (kind == ControlKind::kEditor) toolkit.editors[control] = EditorLines{};
  return control;
}

std::int64_t WaitEvent() {
  return CurrentToolkit().events.Wait();
}

Handle EventSource() {
  return CurrentToolkit().events.Source();
}

std::int64_t PostEvent(std::int64_t code) {
  return CurrentToolkit().events.Post(code) ? 1 : 0;
}

void SetText(Handle control, const Text& text) {
  Toolkit& toolkit = CurrentToolkit();
  EventQueue::ProgramChange quiet(toolkit.events);
  toolkit.platform.SetText(control, text);
}

Text GetText(Handle control) {
  return CurrentToolkit().platform.GetText(control);
}

std::int64_t AddLine(Handle editor, std::int64_t /*position*/, const Text& text) {
  EditorLines* lines = Lines(editor);
  if (lines == nullptr) return 0;
  Toolkit& toolkit = CurrentToolkit();
  EventQueue::ProgramChange quiet(toolkit.events);
  std::int64_t old_length = toolkit.platform.TextLength(editor);
  Text insert;
  insert.reserve(text.size() + 2);
  if (lines->state == EmptyLineState::kPending) {
    insert += u'\n';
    lines->state = EmptyLineState::kUsed;
  }
  if (old_length != 0) {
    insert += u'\n';
  } else if (text.empty() && lines->state == EmptyLineState::kNone) {
    // The editor now holds one empty line although its text is still empty.
    lines->state = EmptyLineState::kPending;
  }
  insert += text;
  if (!insert.empty()) toolkit.platform.AppendText(editor, insert);
  return 1;
}

void ForgetUndo(Handle editor) {
  if (Lines(editor) != nullptr) CurrentToolkit().platform.ForgetUndo(editor);
}

std::int64_t LineCount(Handle editor) {
  EditorLines* lines = Lines(editor);
  if (lines == nullptr) return 0;
  const EditorLines& current = Refresh(editor, *lines);
  if (current.text.empty() && current.state == EmptyLineState::kNone) return 0;
  return static_cast<std::int64_t>(current.starts.size());
}

Text LineText(Handle editor, std::int64_t index) {
  EditorLines* lines = Lines(editor);
  if (lines == nullptr || index < 0) return {};
  const EditorLines& current = Refresh(editor, *lines);
  auto i = static_cast<std::size_t>(index);
  if (i >= current.starts.size()) return {};
  std::size_t begin = current.starts[i];
  std::size_t end = i + 1 < current.starts.size() ? current.starts[i + 1] - 1 : current.text.size();
  // A platform whose copy of a line keeps a carriage return before the break: drop that one.
  if (end > begin && current.text[end - 1] == u'\r') --end;
  return current.text.substr(begin, end - begin);
}

}  // namespace vw
