// The headless desktop's input prompt: its window and parts, its keys and its loop.
#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <utility>

namespace vw {

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

void HeadlessPlatform::PromptCommand(int command) {
  if (prompt_handler_ != nullptr) prompt_handler_->PromptCommand(command);
}

// The prompt's keys work whichever of its controls has the focus: Enter is OK, Escape cancels. true: taken.
bool HeadlessPlatform::PromptKey(HeadlessKey key) {
  if (key == HeadlessKey::kEnter) {
    PromptCommand(kPromptOk);
    return true;
  }
  if (key == HeadlessKey::kEscape) {
    PromptCommand(kPromptCancel);
    return true;
  }
  return false;
}

void HeadlessPlatform::UserAnswerPrompt(const Text& text) {
  Handle prompt = OpenPrompt();
  if (prompt == 0) return;
  UserType(PromptPart(prompt, Kind::kPromptField), text);
  UserKey(HeadlessKey::kEnter);
}

Handle HeadlessPlatform::OpenPrompt() const {
  for (const auto& [h, o] : objects_) {
    if (o.kind == Kind::kPromptWindow) return h;
  }
  return 0;
}

Handle HeadlessPlatform::PromptPart(Handle prompt, Kind part) const {
  for (const auto& [h, o] : objects_) {
    if (o.parent == prompt && o.kind == part) return h;
  }
  return 0;
}

}  // namespace vw
