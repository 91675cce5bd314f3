// The headless desktop's clipboard: copy, cut and paste in its text controls.
#include "platform/headless/headless_platform.h"

#include <algorithm>

namespace vw {
namespace {

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

void HeadlessPlatform::Paste(Handle control) {
  // A clipboard without text (or with an empty one) changes nothing; the selection stays.
  if (!clipboard_) return;
  Text pasted = PastedText(*clipboard_, Find(control)->kind != Kind::kEditor);
  if (!pasted.empty()) ReplaceSelection(control, pasted);
}

// Copy and cut put the characters as the control holds them on the clipboard; a password field gives nothing
// away. Paste and Shift+Insert paste.
void HeadlessPlatform::ClipboardKey(Object& f, HeadlessKey key) {
  if (key == HeadlessKey::kPaste || key == HeadlessKey::kShiftInsert) return Paste(focus_);
  if (f.caret == f.anchor || f.masked) return;
  std::size_t from = std::min(f.caret, f.anchor);
  clipboard_ = f.text.substr(from, std::max(f.caret, f.anchor) - from);
  if (key == HeadlessKey::kCut) ReplaceSelection(focus_, Text{});
}

}  // namespace vw
