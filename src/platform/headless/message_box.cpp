// The headless desktop's message box: it holds the text it is given and runs its own loop until dismissed.
#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <utility>

namespace vw {

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

void HeadlessPlatform::UserDismissMessageBox() {
  if (open_box_ != 0) box_done_ = true;
}

Handle HeadlessPlatform::OpenMessageBox() const {
  return open_box_;
}

// Enter, Escape and Space press the box's OK button; Ctrl+C copies the box's whole text.
void HeadlessPlatform::MessageBoxKey(const Object& box, HeadlessKey key) {
  if (key == HeadlessKey::kEnter || key == HeadlessKey::kEscape || key == HeadlessKey::kSpace) {
    UserDismissMessageBox();
  } else if (key == HeadlessKey::kCopy) {
    clipboard_ = box.text;
  }
}

}  // namespace vw
