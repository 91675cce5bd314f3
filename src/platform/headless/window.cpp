// The headless desktop: its objects, top-level windows, activation and focus, and the message loop that runs
// the scripted user.
#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <utility>

namespace vw {

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

void HeadlessPlatform::Notify(Handle control, Notice notice) {
  const Object* o = Find(control);
  if (sink_ == nullptr || o == nullptr) return;
  sink_->ControlNotice(control, TopOf(control), notice);
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

// --- Activation and focus.

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

// --- Inspection and set-up.

bool HeadlessPlatform::Exists(Handle h) const {
  return Find(h) != nullptr;
}

bool HeadlessPlatform::IsVisible(Handle h) const {
  const Object* o = Find(h);
  return o != nullptr && o->visible;
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

Handle HeadlessPlatform::AddForeignWindow(std::uint32_t thread, bool visible, bool other_process) {
  Object o(Kind::kForeignWindow);
  o.thread = thread;
  o.visible = visible;
  o.other_process = other_process;
  return New(std::move(o));
}

}  // namespace vw
