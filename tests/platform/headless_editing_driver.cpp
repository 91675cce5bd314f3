// The randomized editing test's driver for the headless back end: the scripted user acts directly.
#include "platform/editing_driver.h"
#include "platform/headless/headless_platform.h"

namespace vw::testing {
namespace {

HeadlessKey HeadlessFor(EditKey key) {
  switch (key) {
    case EditKey::kEnter:
      return HeadlessKey::kEnter;
    case EditKey::kShiftEnter:
      return HeadlessKey::kShiftEnter;
    case EditKey::kCtrlEnter:
      return HeadlessKey::kCtrlEnter;
    case EditKey::kTab:
      return HeadlessKey::kTab;
    case EditKey::kBackspace:
      return HeadlessKey::kBackspace;
    case EditKey::kDelete:
      return HeadlessKey::kDelete;
    case EditKey::kLeft:
      return HeadlessKey::kLeft;
    case EditKey::kRight:
      return HeadlessKey::kRight;
    case EditKey::kShiftLeft:
      return HeadlessKey::kShiftLeft;
    case EditKey::kShiftRight:
      return HeadlessKey::kShiftRight;
    case EditKey::kHome:
      return HeadlessKey::kHome;
    case EditKey::kEnd:
      return HeadlessKey::kEnd;
    case EditKey::kCtrlHome:
      return HeadlessKey::kCtrlHome;
    case EditKey::kCtrlEnd:
      return HeadlessKey::kCtrlEnd;
    case EditKey::kSelectAll:
      return HeadlessKey::kSelectAll;
    case EditKey::kUndo:
      return HeadlessKey::kUndo;
    case EditKey::kRedo:
      return HeadlessKey::kRedo;
    case EditKey::kCopy:
      return HeadlessKey::kCopy;
    case EditKey::kCut:
      return HeadlessKey::kCut;
    case EditKey::kPaste:
      return HeadlessKey::kPaste;
    case EditKey::kShiftInsert:
      return HeadlessKey::kShiftInsert;
  }
  return HeadlessKey::kEscape;
}

class HeadlessEditingDriver final : public EditingDriver {
 public:
  Platform& platform() override { return p_; }
  std::string name() const override { return "headless"; }

  void Focus(Handle editor) override { p_.UserClickTopLeft(editor); }
  void Press(EditKey key) override { p_.UserKey(HeadlessFor(key)); }
  void TypeCharacters(const Text& text) override { p_.UserTypeCharacters(text); }
  void SetClipboardText(const Text& text) override { p_.SetClipboard(text); }
  void SetClipboardWithoutText() override { p_.SetClipboard(std::nullopt); }
  std::optional<Text> ClipboardText() override { return p_.Clipboard(); }
  // The headless editor draws every character as itself, one row per line.
  std::vector<Text> ShownRows(Handle editor) override {
    std::vector<Text> rows(1);
    for (char16_t c : p_.GetText(editor)) {
      if (c == u'\n') {
        rows.emplace_back();
      } else {
        rows.back() += c;
      }
    }
    return rows;
  }
  void ProcessPending() override { p_.HandlePending(); }

 private:
  HeadlessPlatform p_;
};

}  // namespace

std::unique_ptr<EditingDriver> MakeEditingDriver() {
  return std::make_unique<HeadlessEditingDriver>();
}

}  // namespace vw::testing
