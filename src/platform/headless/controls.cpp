// The headless desktop's controls: creation, fonts, clicks and the keyboard.
#include "platform/headless/headless_platform.h"

#include <algorithm>

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

}  // namespace

bool HeadlessPlatform::IsTextControl(Kind kind) const {
  return kind == Kind::kEditor || kind == Kind::kField || kind == Kind::kPromptField;
}

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

void HeadlessPlatform::PressButton(Handle button) {
  const Object* o = Find(button);
  if (o == nullptr) return;
  if (o->kind == Kind::kPromptOkButton) {
    PromptCommand(kPromptOk);
  } else if (o->kind == Kind::kButton) {
    Notify(button, Notice::kPressed);
  }
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

// The keyboard, to what has the focus: a message box and the prompt take their own keys first; Tab moves the
// focus (in an editor it types a tab), Space presses a button; the rest edits the focused text control.
void HeadlessPlatform::UserKey(HeadlessKey key) {
  Handle window = foreground_;
  Object* fg = Find(window);
  if (fg == nullptr || !fg->enabled) return;
  if (fg->kind == Kind::kMessageBox) return MessageBoxKey(*fg, key);
  if (fg->kind == Kind::kPromptWindow && PromptKey(key)) return;
  Object* f = Find(focus_);
  Kind focused = f == nullptr ? Kind::kForeignWindow : f->kind;
  if (key == HeadlessKey::kShiftTab || (key == HeadlessKey::kTab && focused != Kind::kEditor)) {
    std::vector<Handle> order = TabOrder(window);
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), focus_);
    std::size_t n = order.size();
    if (it == order.end()) return SetFocus(key == HeadlessKey::kTab ? order.front() : order.back());
    std::size_t i = static_cast<std::size_t>(it - order.begin());
    return SetFocus(order[key == HeadlessKey::kTab ? (i + 1) % n : (i + n - 1) % n]);
  }
  if (key == HeadlessKey::kSpace && (focused == Kind::kButton || focused == Kind::kPromptOkButton)) {
    return PressButton(focus_);
  }
  if (f == nullptr || !IsTextControl(focused)) return;
  switch (key) {
    case HeadlessKey::kCopy:
    case HeadlessKey::kCut:
    case HeadlessKey::kPaste:
    case HeadlessKey::kShiftInsert:
      return ClipboardKey(*f, key);
    default:
      return TextKey(*f, key);
  }
}

// --- Inspection.

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

bool HeadlessPlatform::IsMasked(Handle field) const {
  const Object* o = Find(field);
  return o != nullptr && o->masked;
}

Handle HeadlessPlatform::FontOf(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->font;
}

Rect HeadlessPlatform::ChildRect(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr || o->parent == 0 ? Rect{} : o->rect;
}

Handle HeadlessPlatform::ParentOf(Handle control) const {
  const Object* o = Find(control);
  return o == nullptr ? 0 : o->parent;
}

}  // namespace vw
