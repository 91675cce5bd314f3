// What the headless desktop's scripted user meets beyond the randomized editing test, which covers the
// editors: pastes into a one-line field, a clipboard with empty text, a password field, and Ctrl+C in a
// message box.
#include <gtest/gtest.h>

#include <functional>

#include "platform/headless/headless_platform.h"

namespace vw {
namespace {

// A main window with one text control of `kind` holding `text`, focused, everything selected.
Handle Selected(HeadlessPlatform& p, ControlKind kind, const Text& text) {
  Handle window = p.CreateMainWindow(u"w", {0, 0, 300, 200});
  Handle control = p.CreateControl(kind, window, {0, 0, 200, 100}, u"", 0);
  p.SetText(control, text);
  p.UserClick(control);
  p.UserKey(HeadlessKey::kSelectAll);
  return control;
}

Text Pasted(ControlKind kind, const Text& clipboard) {
  HeadlessPlatform p;
  Handle control = Selected(p, kind, u"old");
  p.SetClipboard(clipboard);
  p.UserKey(HeadlessKey::kPaste);
  return p.GetText(control);
}

struct Row {
  const char* name;
  std::function<std::optional<Text>()> observe;
  std::optional<Text> expected;
};

TEST(HeadlessUser, PastesCopiesAndTheMessageBox) {
  const Text nul_inside(u"a\0b", 3);
  const Row rows[] = {
      {"a paste of empty text into an editor changes nothing",
       [] { return Pasted(ControlKind::kEditor, u""); }, u"old"},
      {"a field takes a paste's first line (CR LF)",
       [] { return Pasted(ControlKind::kField, u"one\r\ntwo"); }, u"one"},
      {"a field takes a paste's first line (NUL)", [&] { return Pasted(ControlKind::kField, nul_inside); },
       u"a"},
      {"a field ignores a paste whose first line is empty",
       [] { return Pasted(ControlKind::kField, u"\nx"); }, u"old"},
      {"copy from a password field gives nothing away",
       [] {
         HeadlessPlatform p;
         p.CreatePromptWindow({u"t", u"p", u"secret", true, 0, 0});
         p.UserKey(HeadlessKey::kSelectAll);
         p.UserKey(HeadlessKey::kCopy);
         p.UserKey(HeadlessKey::kCut);
         // What the clipboard holds, and what the field still holds.
         return p.Clipboard().value_or(u"(no text)") + u"|" + p.PromptFieldText(p.OpenPrompt());
       },
       u"(no text)|secret"},
      {"Ctrl+C in a message box copies its whole text",
       [] {
         HeadlessPlatform p;
         p.Then("copies and closes", [](HeadlessPlatform& q) {
           q.UserKey(HeadlessKey::kCopy);
           q.UserDismissMessageBox();
         });
         p.MessageBox(0, u"Site Not Approved", u"example.org\r\n\r\nThis Site Not yet Approved.");
         return p.Clipboard();
       },
       u"example.org\r\n\r\nThis Site Not yet Approved."},
  };
  for (const Row& row : rows) EXPECT_EQ(row.observe(), row.expected) << row.name;
}

}  // namespace
}  // namespace vw
