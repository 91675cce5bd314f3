// The contract suite's driver for the headless back end: the scripted user acts directly.
#include "platform/driver.h"
#include "platform/headless/headless_platform.h"

namespace vw::testing {
namespace {

class HeadlessDriver final : public Driver {
 public:
  Platform& platform() override { return p_; }
  std::string name() const override { return "headless"; }

  void Click(Handle control) override { p_.UserClick(control); }
  void Type(Handle control, const Text& text) override { p_.UserType(control, text); }
  void PressKey(Key key) override {
    switch (key) {
      case Key::kTab:
        return p_.UserKey(HeadlessKey::kTab);
      case Key::kShiftTab:
        return p_.UserKey(HeadlessKey::kShiftTab);
      case Key::kEnter:
        return p_.UserKey(HeadlessKey::kEnter);
      case Key::kEscape:
        return p_.UserKey(HeadlessKey::kEscape);
      case Key::kSpace:
        return p_.UserKey(HeadlessKey::kSpace);
      case Key::kBackspace:
        return p_.UserKey(HeadlessKey::kBackspace);
      case Key::kSelectAllDelete:
        return p_.UserKey(HeadlessKey::kSelectAllDelete);
      case Key::kUndo:
        return p_.UserKey(HeadlessKey::kUndo);
    }
  }
  void CloseBox(Handle window) override { p_.UserCloseBox(window); }
  void SwitchAwayAndBack(Handle window) override {
    p_.UserSwitchAway();
    p_.UserActivate(window);
  }
  void ProcessPending() override { p_.HandlePending(); }

  Handle Focused() override { return p_.Focused(); }
  Rect OuterRect(Handle window) override { return p_.OuterRect(window); }
  Rect ClientRect(Handle window) override { return p_.ClientRect(window); }
  Rect ChildRect(Handle control) override { return p_.ChildRect(control); }
  Rect Screen() override { return p_.Screen(); }
  bool Exists(Handle window) override { return p_.Exists(window); }
  bool IsVisible(Handle window) override { return p_.IsVisible(window); }
  Handle PromptField(Handle prompt) override {
    return p_.PromptPart(prompt, HeadlessPlatform::Kind::kPromptField);
  }
  Handle PromptOkButton(Handle prompt) override {
    return p_.PromptPart(prompt, HeadlessPlatform::Kind::kPromptOkButton);
  }
  Handle PromptLabel(Handle prompt) override {
    return p_.PromptPart(prompt, HeadlessPlatform::Kind::kPromptLabel);
  }
  bool PromptLabelWraps(Handle) override { return false; }  // labels are one line by construction here
  bool IsMasked(Handle field) override { return p_.IsMasked(field); }
  Handle FontOf(Handle control) override { return p_.FontOf(control); }
  ShownMessageBox CurrentMessageBox() override {
    Handle box = p_.OpenMessageBox();
    if (box == 0) return {};
    const auto& shown = p_.Transcript().back();
    return {box, shown.title, shown.text, 1, false};
  }
  void DismissMessageBox() override { p_.UserDismissMessageBox(); }

  void WhenWaiting(std::function<void()> step) override {
    p_.Then("a contract test step", [step = std::move(step)](HeadlessPlatform&) { step(); });
  }
  bool StepsLeft() override { return !p_.ScriptDone(); }

 private:
  HeadlessPlatform p_;
};

}  // namespace

std::unique_ptr<Driver> MakeDriver() {
  return std::make_unique<HeadlessDriver>();
}

}  // namespace vw::testing
