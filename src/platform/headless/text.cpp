// The text of the headless desktop's controls: what the program reads and writes, and what the user types,
// selects, deletes, undoes and redoes.
#include "platform/headless/headless_platform.h"

#include <algorithm>

namespace vw {
namespace {

// The character boundary before / after `pos`: a surrogate pair is one character.
std::size_t PreviousBoundary(const Text& text, std::size_t pos) {
  if (pos == 0) return 0;
  bool pair = pos >= 2 && IsLowSurrogate(text[pos - 1]) && IsHighSurrogate(text[pos - 2]);
  return pos - (pair ? 2 : 1);
}

std::size_t NextBoundary(const Text& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  bool pair = pos + 1 < text.size() && IsHighSurrogate(text[pos]) && IsLowSurrogate(text[pos + 1]);
  return pos + (pair ? 2 : 1);
}

}  // namespace

Text HeadlessPlatform::GetText(Handle control) {
  const Object* o = Find(control);
  return o == nullptr ? Text{} : o->text;
}

void HeadlessPlatform::ChangeText(Handle control, std::size_t pos, std::size_t erase, const Text& insert,
                                  bool record_undo) {
  Object* o = Find(control);
  if (o == nullptr) return;
  if (o->kind == Kind::kField) {
    constexpr auto kLimit = static_cast<std::size_t>(kFieldTextLimit);
    std::size_t room = kLimit - std::min(kLimit, o->text.size() - erase);
    Text cut = insert.substr(0, std::min(room, insert.size()));
    if (cut.size() != insert.size()) return ChangeText(control, pos, erase, cut, record_undo);
  }
  if (record_undo && o->kind == Kind::kEditor) {
    o->undo.push_back({pos, insert.size(), o->text.substr(pos, erase)});
    o->redo.clear();
  }
  o->text.replace(pos, erase, insert);
  o->caret = o->anchor = pos + insert.size();
  ++o->revision;
  Notify(control, Notice::kChanged);
}

void HeadlessPlatform::SetText(Handle control, const Text& text) {
  Object* o = Find(control);
  if (o == nullptr) return;
  o->undo.clear();
  o->redo.clear();
  ChangeText(control, 0, o->text.size(), text, false);
}

std::int64_t HeadlessPlatform::TextLength(Handle control) {
  const Object* o = Find(control);
  return o == nullptr ? 0 : static_cast<std::int64_t>(o->text.size());
}

void HeadlessPlatform::AppendText(Handle editor, const Text& text) {
  Object* o = Find(editor);
  if (o == nullptr || o->kind != Kind::kEditor) return;
  ChangeText(editor, o->text.size(), 0, text, true);
}

void HeadlessPlatform::ForgetUndo(Handle editor) {
  Object* o = Find(editor);
  if (o == nullptr) return;
  o->undo.clear();
  o->redo.clear();
}

std::uint64_t HeadlessPlatform::TextRevision(Handle control) {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->revision;
}

// --- The user's typing and editing.

void HeadlessPlatform::UserType(Handle control, const Text& text) {
  if (!TakesInput(control) || !IsTextControl(Find(control)->kind)) return;
  UserClick(control);
  Object* o = Find(control);
  o->caret = o->anchor = o->text.size();
  UserTypeCharacters(text);
}

void HeadlessPlatform::UserClickTopLeft(Handle control) {
  if (!TakesInput(control) || !IsTextControl(Find(control)->kind)) return;
  UserClick(control);
  Object* o = Find(control);
  o->caret = o->anchor = 0;
}

void HeadlessPlatform::UserTypeCharacters(const Text& text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t next = NextBoundary(text, i);
    TypeCharacter(focus_, TextView(text).substr(i, next - i));
    i = next;
  }
}

void HeadlessPlatform::TypeCharacter(Handle control, TextView character) {
  const Object* o = Find(control);
  if (o == nullptr || !IsTextControl(o->kind) || !TakesInput(control)) return;
  // Typed Enter and Tab in an editor become a line break and a tab; elsewhere Enter is a key.
  if (character == u"\n" || character == u"\r") return UserKey(HeadlessKey::kEnter);
  ReplaceSelection(control, Text(character));
}

void HeadlessPlatform::ReplaceSelection(Handle control, const Text& insert) {
  const Object* o = Find(control);
  std::size_t from = std::min(o->caret, o->anchor);
  ChangeText(control, from, std::max(o->caret, o->anchor) - from, insert, true);
}

void HeadlessPlatform::MoveCaret(Object& o, HeadlessKey key) {
  const Text& t = o.text;
  bool one_line = o.kind != Kind::kEditor;
  std::size_t from = std::min(o.caret, o.anchor), to = std::max(o.caret, o.anchor);
  std::size_t caret = o.caret;
  switch (key) {
    case HeadlessKey::kLeft:  // with a selection: to its start
      caret = from != to ? from : PreviousBoundary(t, caret);
      break;
    case HeadlessKey::kRight:
      caret = from != to ? to : NextBoundary(t, caret);
      break;
    case HeadlessKey::kShiftLeft:
      o.caret = PreviousBoundary(t, caret);
      return;
    case HeadlessKey::kShiftRight:
      o.caret = NextBoundary(t, caret);
      return;
    case HeadlessKey::kHome: {
      std::size_t before = one_line || caret == 0 ? Text::npos : t.rfind(u'\n', caret - 1);
      caret = before == Text::npos ? 0 : before + 1;
      break;
    }
    case HeadlessKey::kEnd: {
      std::size_t after = one_line ? Text::npos : t.find(u'\n', caret);
      caret = after == Text::npos ? t.size() : after;
      break;
    }
    case HeadlessKey::kCtrlHome:
      caret = 0;
      break;
    case HeadlessKey::kCtrlEnd:
      caret = t.size();
      break;
    case HeadlessKey::kSelectAll:
      o.anchor = 0;
      o.caret = t.size();
      return;
    default:
      return;
  }
  o.caret = o.anchor = caret;
}

// Undo puts the change's inverse on the redo list, redo the other way round; the caret ends after the text
// put back.
void HeadlessPlatform::UndoStep(Handle editor, bool redo) {
  Object* o = Find(editor);
  std::vector<Edit>& from = redo ? o->redo : o->undo;
  std::vector<Edit>& to = redo ? o->undo : o->redo;
  if (from.empty()) return;
  Edit e = std::move(from.back());
  from.pop_back();
  to.push_back({e.pos, e.removed.size(), o->text.substr(e.pos, e.inserted)});
  ChangeText(editor, e.pos, e.inserted, e.removed, false);
}

// A key to the focused text control `f`.
void HeadlessPlatform::TextKey(Object& f, HeadlessKey key) {
  const bool editor = f.kind == Kind::kEditor;
  const bool selection = f.caret != f.anchor;
  switch (key) {
    case HeadlessKey::kTab:  // only an editor gets here with Tab
      return ReplaceSelection(focus_, u"\t");
    case HeadlessKey::kEnter:
    case HeadlessKey::kShiftEnter:
    case HeadlessKey::kCtrlEnter:
      // Every kind of Return is the same plain line break: a row break on the screen is an entry's end.
      if (editor) ReplaceSelection(focus_, u"\n");
      return;
    case HeadlessKey::kSpace:
      return ReplaceSelection(focus_, u" ");
    case HeadlessKey::kBackspace:
    case HeadlessKey::kDelete:
      if (!selection && key == HeadlessKey::kBackspace) f.anchor = PreviousBoundary(f.text, f.caret);
      if (!selection && key == HeadlessKey::kDelete) f.anchor = NextBoundary(f.text, f.caret);
      if (f.caret != f.anchor) ReplaceSelection(focus_, Text{});
      return;
    case HeadlessKey::kSelectAllDelete:
      return ChangeText(focus_, 0, f.text.size(), Text{}, true);
    case HeadlessKey::kLeft:
    case HeadlessKey::kRight:
    case HeadlessKey::kShiftLeft:
    case HeadlessKey::kShiftRight:
    case HeadlessKey::kHome:
    case HeadlessKey::kEnd:
    case HeadlessKey::kCtrlHome:
    case HeadlessKey::kCtrlEnd:
    case HeadlessKey::kSelectAll:
      return MoveCaret(f, key);
    case HeadlessKey::kUndo:
    case HeadlessKey::kRedo:
      if (editor) UndoStep(focus_, key == HeadlessKey::kRedo);
      return;
    default:
      return;
  }
}

}  // namespace vw
