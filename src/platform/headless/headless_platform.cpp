#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <utility>

namespace vw {
namespace {

HeadlessPlatform::Kind KindFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPanel:
      return HeadlessPlatform::Kind::kPanel;
    case ControlKind::kLabel:
      return HeadlessPlatform::Kind::kLabel;
    case ControlKind::kEditor:
      return HeadlessPlatform::Kind::kEditor;
    case ControlKind::kField:
      return HeadlessPlatform::Kind::kField;
    case ControlKind::kButton:
      return HeadlessPlatform::Kind::kButton;
  }
  return HeadlessPlatform::Kind::kPanel;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

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

// Where a pasted text's lines end, as when a list is read: CR LF, CR, LF and NUL each end one. An editor gets
// each as its line break; a one-line field keeps the first line only.
Text PastedText(TextView text, bool one_line) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c != u'\r' && c != u'\n' && c != 0) {
      out += c;
      continue;
    }
    if (one_line) break;
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out += u'\n';
  }
  return out;
}

}  // namespace

HeadlessPlatform::HeadlessPlatform() : HeadlessPlatform(Options{}) {}
HeadlessPlatform::HeadlessPlatform(Options options) : options_(std::move(options)) {}
HeadlessPlatform::~HeadlessPlatform() = default;

HeadlessPlatform::Object* HeadlessPlatform::Find(Handle h) {
  auto it = objects_.find(h);
  return it == objects_.end() ? nullptr : &it->second;
}

const HeadlessPlatform::Object* HeadlessPlatform::Find(Handle h) const {
  auto it = objects_.find(h);
  return it == objects_.end() ? nullptr : &it->second;
}

Handle HeadlessPlatform::New(Object object) {
  Handle h = next_handle_++;
  bool top = object.parent == 0;
  objects_.emplace(h, std::move(object));
  if (top) top_levels_.push_back(h);
  return h;
}

Handle HeadlessPlatform::TopOf(Handle h) const {
  const Object* o = Find(h);
  while (o != nullptr && o->parent != 0) {
    h = o->parent;
    o = Find(h);
  }
  return o == nullptr ? 0 : h;
}

bool HeadlessPlatform::TakesInput(Handle h) const {
  const Object* o = Find(h);
  const Object* top = Find(TopOf(h));
  return o != nullptr && top != nullptr && o->enabled && o->visible && top->enabled && top->visible;
}

bool HeadlessPlatform::IsTextControl(Kind kind) const {
  return kind == Kind::kEditor || kind == Kind::kField || kind == Kind::kPromptField;
}

void HeadlessPlatform::Notify(Handle control, Notice notice) {
  const Object* o = Find(control);
  if (sink_ == nullptr || o == nullptr) return;
  sink_->ControlNotice(control, TopOf(control), notice);
}

// --- Creation.

Handle HeadlessPlatform::MessageFont() {
  if (!options_.message_font_available) return 0;
  Handle h = next_handle_++;
  fonts_[h] = false;
  ++fonts_made_;
  return h;
}

Handle HeadlessPlatform::DefaultGuiFont() {
  if (default_font_ == 0) {
    default_font_ = next_handle_++;
    fonts_[default_font_] = true;
  }
  return default_font_;
}

Handle HeadlessPlatform::CreateMainWindow(const Text& title, Rect client) {
  Object o(Kind::kMainWindow);
  o.text = title;
  // The outer top-left corner goes where asked; the client area sits inside the frame.
  o.rect = {client.x + kBorder, client.y + kCaption, client.width, client.height};
  Handle h = New(std::move(o));
  Activate(h);
  return h;
}

Handle HeadlessPlatform::CreateControl(ControlKind kind, Handle parent, Rect rect, const Text& text,
                                       Handle font) {
  if (Find(parent) == nullptr) return 0;
  if (kind == ControlKind::kEditor) {
    const auto& refused = options_.editors_fail;
    if (std::find(refused.begin(), refused.end(), editors_asked_++) != refused.end()) return 0;
  }
  Object o(KindFor(kind));
  o.parent = parent;
  o.rect = rect;
  o.text = text;
  o.font = font;
  return New(std::move(o));
}

// --- Text.

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

std::uint64_t HeadlessPlatform::TextRevision(Handle control) {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->revision;
}

// --- Messages.

bool HeadlessPlatform::DeliverPosted() {
  if (posted_.empty()) return false;
  std::int64_t code = posted_.front();
  posted_.pop_front();
  if (sink_ != nullptr) sink_->PostedArrived(code);
  return true;
}

void HeadlessPlatform::RunNextStep(const char* waiting_in) {
  if (script_.empty()) {
    std::string shown;
    for (const Shown& s : transcript_) shown += "\n  " + TextToUtf8(s.title) + ": " + TextToUtf8(s.text);
    throw HeadlessScriptExhausted(
        std::string("the scripted user has nothing left to do while the program waits in ") + waiting_in +
        "; dialogs so far:" + (shown.empty() ? " none" : shown));
  }
  auto step = std::move(script_.front());
  script_.pop_front();
  step.second(*this);
}

void HeadlessPlatform::WaitAndHandleMessage() {
  // Posted messages come before user input.
  if (DeliverPosted()) return;
  RunNextStep("the main event loop");
}

bool HeadlessPlatform::PostToSelf(std::int64_t code) {
  posted_.push_back(code);
  return true;
}

void HeadlessPlatform::Then(std::string what, Step step) {
  script_.emplace_back(std::move(what), std::move(step));
}

// --- Windows, activation and focus.

std::vector<TopLevelWindow> HeadlessPlatform::TopLevelWindows() {
  std::vector<TopLevelWindow> result;
  for (Handle h : top_levels_) {
    const Object* o = Find(h);
    if (o != nullptr && !o->other_process) result.push_back({h, o->thread, o->visible});
  }
  return result;
}

bool HeadlessPlatform::BelongsToThisProcess(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && !o->other_process;
}

bool HeadlessPlatform::IsEnabled(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && o->enabled;
}

void HeadlessPlatform::SetEnabled(Handle window, bool enabled) {
  if (Object* o = Find(window)) o->enabled = enabled;
}

bool HeadlessPlatform::IsTopmost(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && o->topmost;
}

void HeadlessPlatform::SetTopmost(Handle window, bool topmost) {
  if (Object* o = Find(window)) o->topmost = topmost;
}

void HeadlessPlatform::SetFocus(Handle control) {
  if (control == focus_) return;
  Handle old = focus_;
  focus_ = control;
  if (const Object* o = Find(old); o != nullptr && IsTextControl(o->kind)) Notify(old, Notice::kFocusLost);
  if (const Object* o = Find(control); o != nullptr && IsTextControl(o->kind))
    Notify(control, Notice::kFocusGained);
}

void HeadlessPlatform::Activate(Handle window) {
  if (window == foreground_) return;
  if (Object* old = Find(foreground_)) {
    if (focus_ != 0 && TopOf(focus_) == foreground_) old->remembered_focus = focus_;
    SetFocus(0);
  }
  foreground_ = window;
  Object* now = Find(window);
  if (now == nullptr) return;
  if (now->kind == Kind::kPromptWindow) {
    if (prompt_handler_ != nullptr) prompt_handler_->PromptActivated();
  } else if (Find(now->remembered_focus) != nullptr) {
    SetFocus(now->remembered_focus);
  }
}

std::vector<Handle> HeadlessPlatform::TabOrder(Handle window) const {
  std::vector<Handle> order;
  for (const auto& [h, o] : objects_) {
    bool focusable = o.kind == Kind::kEditor || o.kind == Kind::kField || o.kind == Kind::kButton ||
                     o.kind == Kind::kPromptField || o.kind == Kind::kPromptOkButton;
    if (focusable && TopOf(h) == window && o.enabled && o.visible) order.push_back(h);
  }
  return order;  // handles grow with creation, so this is creation order
}

// --- The scripted user's input.

void HeadlessPlatform::PressButton(Handle button) {
  const Object* o = Find(button);
  if (o == nullptr) return;
  if (o->kind == Kind::kPromptOkButton) {
    PromptCommand(kPromptOk);
  } else if (o->kind == Kind::kButton) {
    Notify(button, Notice::kPressed);
  }
}

void HeadlessPlatform::PromptCommand(int command) {
  if (prompt_handler_ != nullptr) prompt_handler_->PromptCommand(command);
}

void HeadlessPlatform::UserClick(Handle control) {
  if (!TakesInput(control)) return;
  Activate(TopOf(control));
  const Object* o = Find(control);
  if (o->kind == Kind::kButton || o->kind == Kind::kPromptOkButton) {
    SetFocus(control);
    PressButton(control);
  } else if (IsTextControl(o->kind)) {
    SetFocus(control);
  }
}

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

void HeadlessPlatform::Paste(Handle control) {
  // A clipboard without text (or with an empty one) changes nothing; the selection stays.
  if (!clipboard_) return;
  Text pasted = PastedText(*clipboard_, Find(control)->kind != Kind::kEditor);
  if (!pasted.empty()) ReplaceSelection(control, pasted);
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

void HeadlessPlatform::UserKey(HeadlessKey key) {
  Handle window = foreground_;
  Object* fg = Find(window);
  if (fg == nullptr || !fg->enabled) return;
  if (fg->kind == Kind::kMessageBox) {
    if (key == HeadlessKey::kEnter || key == HeadlessKey::kEscape || key == HeadlessKey::kSpace) {
      UserDismissMessageBox();
    } else if (key == HeadlessKey::kCopy) {
      clipboard_ = fg->text;
    }
    return;
  }
  Object* f = Find(focus_);
  Kind focused = f == nullptr ? Kind::kForeignWindow : f->kind;
  if (fg->kind == Kind::kPromptWindow) {
    // The prompt's keys work whichever of its controls has the focus.
    if (key == HeadlessKey::kEnter) return PromptCommand(kPromptOk);
    if (key == HeadlessKey::kEscape) return PromptCommand(kPromptCancel);
  }
  const bool text = f != nullptr && IsTextControl(focused);
  const bool editor = focused == Kind::kEditor;
  const bool selection = text && f->caret != f->anchor;
  switch (key) {
    case HeadlessKey::kTab:
    case HeadlessKey::kShiftTab: {
      if (key == HeadlessKey::kTab && editor) return ReplaceSelection(focus_, u"\t");
      std::vector<Handle> order = TabOrder(window);
      if (order.empty()) return;
      auto it = std::find(order.begin(), order.end(), focus_);
      std::size_t n = order.size();
      if (it == order.end()) return SetFocus(key == HeadlessKey::kTab ? order.front() : order.back());
      std::size_t i = static_cast<std::size_t>(it - order.begin());
      return SetFocus(order[key == HeadlessKey::kTab ? (i + 1) % n : (i + n - 1) % n]);
    }
    case HeadlessKey::kEnter:
    case HeadlessKey::kShiftEnter:
    case HeadlessKey::kCtrlEnter:
      // Every kind of Return is the same plain line break: a row break on the screen is an entry's end.
      if (editor) ReplaceSelection(focus_, u"\n");
      return;
    case HeadlessKey::kEscape:
      return;
    case HeadlessKey::kSpace:
      if (focused == Kind::kButton || focused == Kind::kPromptOkButton) return PressButton(focus_);
      if (text) ReplaceSelection(focus_, u" ");
      return;
    case HeadlessKey::kBackspace:
    case HeadlessKey::kDelete:
      if (!text) return;
      if (!selection && key == HeadlessKey::kBackspace) f->anchor = PreviousBoundary(f->text, f->caret);
      if (!selection && key == HeadlessKey::kDelete) f->anchor = NextBoundary(f->text, f->caret);
      if (f->caret != f->anchor) ReplaceSelection(focus_, Text{});
      return;
    case HeadlessKey::kSelectAllDelete:
      if (text) ChangeText(focus_, 0, f->text.size(), Text{}, true);
      return;
    case HeadlessKey::kLeft:
    case HeadlessKey::kRight:
    case HeadlessKey::kShiftLeft:
    case HeadlessKey::kShiftRight:
    case HeadlessKey::kHome:
    case HeadlessKey::kEnd:
    case HeadlessKey::kCtrlHome:
    case HeadlessKey::kCtrlEnd:
    case HeadlessKey::kSelectAll:
      if (text) MoveCaret(*f, key);
      return;
    case HeadlessKey::kUndo:
    case HeadlessKey::kRedo:
      if (editor) UndoStep(focus_, key == HeadlessKey::kRedo);
      return;
    case HeadlessKey::kCopy:
    case HeadlessKey::kCut:
      // The characters as the control holds them; a password field gives nothing away.
      if (!selection || f->masked) return;
      clipboard_ = f->text.substr(std::min(f->caret, f->anchor),
                                  std::max(f->caret, f->anchor) - std::min(f->caret, f->anchor));
      if (key == HeadlessKey::kCut) ReplaceSelection(focus_, Text{});
      return;
    case HeadlessKey::kPaste:
    case HeadlessKey::kShiftInsert:
      if (text) Paste(focus_);
      return;
  }
}

void HeadlessPlatform::UserCloseBox(Handle window) {
  Object* o = Find(window);
  if (o == nullptr || !o->enabled || o->parent != 0) return;
  switch (o->kind) {
    case Kind::kMainWindow:
      if (sink_ != nullptr) sink_->CloseRequested(window);
      return;
    case Kind::kPromptWindow:
      if (prompt_handler_ != nullptr) prompt_handler_->PromptCloseRequested();
      return;
    case Kind::kMessageBox:
      return UserDismissMessageBox();
    default:
      return;
  }
}

void HeadlessPlatform::UserSwitchAway() {
  Handle other = 0;
  for (const auto& [h, o] : objects_) {
    if (o.other_process) other = h;
  }
  if (other == 0) other = AddForeignWindow(99, true, true);
  Activate(other);
}

void HeadlessPlatform::UserActivate(Handle window) {
  const Object* o = Find(window);
  if (o != nullptr && o->enabled && o->visible) Activate(window);
}

void HeadlessPlatform::UserDismissMessageBox() {
  if (open_box_ != 0) box_done_ = true;
}

void HeadlessPlatform::UserAnswerPrompt(const Text& text) {
  Handle prompt = OpenPrompt();
  if (prompt == 0) return;
  UserType(PromptPart(prompt, Kind::kPromptField), text);
  UserKey(HeadlessKey::kEnter);
}

void HeadlessPlatform::ActivateWindow(Handle window) {
  if (Find(window) != nullptr) Activate(window);
}

// --- Dialogs.

int HeadlessPlatform::MessageBox(Handle owner, const Text& title, const Text& text) {
  if (options_.message_box_fails) return 0;
  Object box(Kind::kMessageBox);
  box.owner = owner;
  box.text = text;
  box.rect = {options_.screen.width / 2 - 150, options_.screen.height / 2 - 60, 300, 120};
  Handle h = New(std::move(box));
  bool disabled_owner = false;
  if (Object* o = Find(owner); o != nullptr && o->enabled) {
    o->enabled = false;
    disabled_owner = true;
  }
  transcript_.push_back({Shown::Kind::kMessage, title, text});
  Activate(h);
  Handle outer_box = std::exchange(open_box_, h);
  bool outer_done = std::exchange(box_done_, false);
  while (!box_done_) {
    if (!DeliverPosted()) RunNextStep("a message box");
  }
  open_box_ = outer_box;
  box_done_ = outer_done;
  if (disabled_owner) SetEnabled(owner, true);
  objects_.erase(h);
  top_levels_.erase(std::remove(top_levels_.begin(), top_levels_.end(), h), top_levels_.end());
  if (foreground_ == h) foreground_ = 0;
  return 1;
}

Handle HeadlessPlatform::CreatePromptWindow(const PromptWindowSpec& request) {
  if (options_.prompt_window_fails) return 0;
  Object w(Kind::kPromptWindow);
  w.owner = request.owner;
  w.text = request.title;
  // Centred on the primary screen; the client area sits inside the frame.
  const PromptLayout& layout = kPromptLayout;
  int x = options_.screen.width / 2 - layout.outer_width / 2;
  int y = options_.screen.height / 2 - layout.outer_height / 2;
  w.rect = {x + kBorder, y + kCaption, layout.outer_width - 2 * kBorder,
            layout.outer_height - kCaption - kBorder};
  Handle prompt = New(std::move(w));
  Object label(Kind::kPromptLabel);
  label.parent = prompt;
  label.rect = layout.label;
  label.text = request.prompt;
  label.font = request.font;
  New(std::move(label));
  Object field(Kind::kPromptField);
  field.parent = prompt;
  field.rect = layout.field;
  field.text = request.default_text;
  field.masked = request.masked;
  field.font = request.font;
  Handle field_handle = New(std::move(field));
  Object ok(Kind::kPromptOkButton);
  ok.parent = prompt;
  ok.rect = layout.ok_button;
  ok.text = u"OK";
  ok.font = request.font;
  New(std::move(ok));
  transcript_.push_back({Shown::Kind::kPrompt, request.title, request.prompt});
  Activate(prompt);
  SetFocus(field_handle);
  return prompt;
}

Text HeadlessPlatform::PromptFieldText(Handle prompt) {
  return GetText(PromptPart(prompt, Kind::kPromptField));
}

void HeadlessPlatform::FocusPromptField(Handle prompt) {
  if (Handle field = PromptPart(prompt, Kind::kPromptField)) SetFocus(field);
}

bool HeadlessPlatform::PumpPromptMessage(Handle prompt, PromptHandler& handler) {
  if (Find(prompt) == nullptr) return false;
  if (quit_pending_) {
    quit_pending_ = false;
    return false;
  }
  PromptHandler* outer = std::exchange(prompt_handler_, &handler);
  try {
    if (!DeliverPosted()) RunNextStep("the password prompt");
  } catch (...) {
    prompt_handler_ = outer;
    throw;
  }
  prompt_handler_ = outer;
  return true;
}

void HeadlessPlatform::DestroyPromptWindow(Handle prompt) {
  const Object* o = Find(prompt);
  if (o == nullptr || o->kind != Kind::kPromptWindow) return;
  Handle owner = o->owner;
  if (focus_ != 0 && TopOf(focus_) == prompt) focus_ = 0;
  for (auto it = objects_.begin(); it != objects_.end();) {
    it = (it->first == prompt || it->second.parent == prompt) ? objects_.erase(it) : std::next(it);
  }
  top_levels_.erase(std::remove(top_levels_.begin(), top_levels_.end(), prompt), top_levels_.end());
  if (foreground_ == prompt) {
    // Activation goes back to the owner when it can take it.
    foreground_ = 0;
    if (Find(owner) != nullptr && IsEnabled(owner)) Activate(owner);
  }
}

// --- Inspection and set-up.

Handle HeadlessPlatform::FindControl(ControlKind kind, int ordinal) const {
  const Kind wanted = KindFor(kind);
  for (const auto& [h, o] : objects_) {
    if (o.kind == wanted && ordinal-- == 0) return h;
  }
  return 0;
}

Handle HeadlessPlatform::FindButton(TextView caption) const {
  for (const auto& [h, o] : objects_) {
    if (o.kind == Kind::kButton && o.text == caption) return h;
  }
  return 0;
}

Handle HeadlessPlatform::OpenPrompt() const {
  for (const auto& [h, o] : objects_) {
    if (o.kind == Kind::kPromptWindow) return h;
  }
  return 0;
}

Handle HeadlessPlatform::OpenMessageBox() const {
  return open_box_;
}

Handle HeadlessPlatform::PromptPart(Handle prompt, Kind part) const {
  for (const auto& [h, o] : objects_) {
    if (o.parent == prompt && o.kind == part) return h;
  }
  return 0;
}

bool HeadlessPlatform::Exists(Handle h) const {
  return Find(h) != nullptr;
}

bool HeadlessPlatform::IsVisible(Handle h) const {
  const Object* o = Find(h);
  return o != nullptr && o->visible;
}

bool HeadlessPlatform::IsMasked(Handle field) const {
  const Object* o = Find(field);
  return o != nullptr && o->masked;
}

Handle HeadlessPlatform::FontOf(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->font;
}

HeadlessPlatform::Kind HeadlessPlatform::KindOf(Handle h) const {
  const Object* o = Find(h);
  return o == nullptr ? Kind::kForeignWindow : o->kind;
}

Rect HeadlessPlatform::ClientRect(Handle window) const {
  const Object* o = Find(window);
  return o == nullptr || o->parent != 0 ? Rect{} : o->rect;
}

Rect HeadlessPlatform::OuterRect(Handle window) const {
  Rect c = ClientRect(window);
  if (c.width == 0 && c.height == 0) return c;
  return {c.x - kBorder, c.y - kCaption, c.width + 2 * kBorder, c.height + kCaption + kBorder};
}

Rect HeadlessPlatform::ChildRect(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr || o->parent == 0 ? Rect{} : o->rect;
}

Handle HeadlessPlatform::ParentOf(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->parent;
}

Handle HeadlessPlatform::AddForeignWindow(std::uint32_t thread, bool visible, bool other_process) {
  Object o(Kind::kForeignWindow);
  o.thread = thread;
  o.visible = visible;
  o.other_process = other_process;
  return New(std::move(o));
}

}  // namespace vw
