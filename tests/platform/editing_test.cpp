// The randomized editing test: what the administrator sees is what is saved. Random short sessions of typing,
// keys, pastes, selections, copy and cut, undo and redo run in one editor of a back end, through the back
// end's real input path (EditingDriver); after each session the rows the editor shows, the entries a save
// would write (LineText of every line) and a plain model of a text editor must agree. The same source runs
// on every back end; each test executable links its own MakeEditingDriver().
//
// The run is fixed by a seed, so a failure repeats. Session i uses seed + i; a failure prints the command
// that reruns that one session alone. A longer run by hand (any seed, any number of sessions):
//   VW_EDITING_SEED=7 VW_EDITING_SESSIONS=100000 build/default/tests/platform/editing_headless
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/editing_driver.h"
#include "ui/controls.h"

namespace vw::testing {
namespace {

constexpr std::uint64_t kDefaultSeed = 20261209;
constexpr std::uint64_t kDefaultSessions = 300;
constexpr int kMostActions = 30;

// Readable in a failure: printable ASCII as it is, everything else as \u{XXXX}.
std::string Show(const Text& text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "\\u{%X}", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out + "\"";
}

std::string Show(const std::vector<Text>& lines) {
  std::string out = "[";
  for (std::size_t i = 0; i < lines.size(); ++i) out += (i == 0 ? "" : ", ") + Show(lines[i]);
  return out + "]";
}

std::vector<Text> SplitLines(const Text& text) {
  std::vector<Text> lines(1);
  for (char16_t c : text) {
    if (c == u'\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

// The reference: a plain-text editor. Text with '\n' line breaks, a caret and a selection (anchor to caret)
// at character boundaries, and the clipboard. A pasted text's CR LF, CR, LF and NUL each become a line
// break, as when a list is read; a paste without text changes nothing.
struct Model {
  Text text;
  std::size_t caret = 0, anchor = 0;
  std::optional<Text> clipboard;

  std::size_t From() const { return std::min(caret, anchor); }
  std::size_t To() const { return std::max(caret, anchor); }
  bool HasSelection() const { return caret != anchor; }
  Text Selected() const { return text.substr(From(), To() - From()); }
  void Replace(const Text& with) {
    std::size_t from = From();
    text.replace(from, To() - from, with);
    caret = anchor = from + with.size();
  }
  std::size_t Before(std::size_t pos) const {
    if (pos == 0) return 0;
    return pos - (pos >= 2 && IsLowSurrogate(text[pos - 1]) && IsHighSurrogate(text[pos - 2]) ? 2 : 1);
  }
  std::size_t After(std::size_t pos) const {
    if (pos >= text.size()) return text.size();
    return pos +
           (pos + 1 < text.size() && IsHighSurrogate(text[pos]) && IsLowSurrogate(text[pos + 1]) ? 2 : 1);
  }
  void Paste() {
    if (!clipboard) return;
    Text pasted;
    const Text& c = *clipboard;
    for (std::size_t i = 0; i < c.size(); ++i) {
      if (c[i] == u'\r' && i + 1 < c.size() && c[i + 1] == u'\n') continue;  // the LF makes the break
      pasted += c[i] == u'\r' || c[i] == 0 ? u'\n' : c[i];
    }
    if (!pasted.empty()) Replace(pasted);
  }
  void Press(EditKey key) {
    switch (key) {
      case EditKey::kEnter:
      case EditKey::kShiftEnter:
      case EditKey::kCtrlEnter:
        return Replace(u"\n");
      case EditKey::kTab:
        return Replace(u"\t");
      case EditKey::kBackspace:
        if (!HasSelection()) anchor = Before(caret);
        return Replace(u"");
      case EditKey::kDelete:
        if (!HasSelection()) anchor = After(caret);
        return Replace(u"");
      case EditKey::kLeft:  // pressed without a selection only
        caret = anchor = Before(caret);
        return;
      case EditKey::kRight:
        caret = anchor = After(caret);
        return;
      case EditKey::kShiftLeft:
        caret = Before(caret);
        return;
      case EditKey::kShiftRight:
        caret = After(caret);
        return;
      case EditKey::kHome: {
        std::size_t before = caret == 0 ? Text::npos : text.rfind(u'\n', caret - 1);
        caret = anchor = before == Text::npos ? 0 : before + 1;
        return;
      }
      case EditKey::kEnd: {
        std::size_t after = text.find(u'\n', caret);
        caret = anchor = after == Text::npos ? text.size() : after;
        return;
      }
      case EditKey::kCtrlHome:
        caret = anchor = 0;
        return;
      case EditKey::kCtrlEnd:
        caret = anchor = text.size();
        return;
      case EditKey::kSelectAll:
        anchor = 0;
        caret = text.size();
        return;
      case EditKey::kCopy:  // pressed with a selection only
        clipboard = Selected();
        return;
      case EditKey::kCut:
        clipboard = Selected();
        return Replace(u"");
      case EditKey::kPaste:
      case EditKey::kShiftInsert:
        return Paste();
      case EditKey::kUndo:
      case EditKey::kRedo:
        return;  // the session follows the editor's own undo (see UndoThenRedo)
    }
  }
};

const char* KeyName(EditKey key) {
  static const char* const names[] = {
      "Enter",  "Shift+Enter", "Ctrl+Enter",  "Tab",    "Backspace", "Delete",    "Left",
      "Right",  "Shift+Left",  "Shift+Right", "Home",   "End",       "Ctrl+Home", "Ctrl+End",
      "Ctrl+A", "Undo",        "Redo",        "Ctrl+C", "Ctrl+X",    "Ctrl+V",    "Shift+Insert"};
  static_assert(std::size(names) == static_cast<std::size_t>(EditKey::kShiftInsert) + 1);
  return names[static_cast<int>(key)];
}

// What the sessions type, paste and load: letters, the glyphs a widget may use as stand-ins (typed, they are
// themselves), separators, noncharacters, the object replacement character and characters beyond the BMP.
const Text kTyped[] = {u"a",      u"b",      u"q",      u"Z",      u" ",      u"\u21B5",     u"\u204B",
                       u"\u27E6", u"\u27E7", u"\u2B1A", u"\u2E2E", u"\u2E2E", u"\U0001F600", u"\U0001D400"};
const Text kPasted[] = {u"x",      u"yz",           u"\r",     u"\n",     u"\r\n",   Text(1, u'\0'),
                        u"\u2028", u"\u2029",       u"\uFDD0", u"\uFDD1", u"\uFFFC", u"\u21B5",
                        u"\u2E2E", u"\u27E6\u27E7", u"\u204B", u"\u2B1A", u"\t",     u"\U0001F600"};
const Text kLoaded[] = {u"",
                        u"site.example",
                        u"a\u2028b",
                        u"\u2029",
                        u"x\uFDD0",
                        u"\uFDD1",
                        u"\uFFFC",
                        u"\u21B5",
                        u"\u2E2E\u21B5",
                        u"\u2E2E",
                        u"\U0001F600z",
                        u"\u2028\u2028",
                        u"\u27E6\u2B1A\u27E7"};

class Session {
 public:
  Session(EditingDriver& driver, Handle editor, std::uint64_t seed)
      : d_(driver), editor_(editor), random_(seed) {}

  void Run() {
    Load();
    d_.Focus(editor_);  // a click at the top-left corner: the caret at the start
    d_.ProcessPending();
    if (Pick(0, 1) == 0) {  // loading is no edit: nothing to undo yet
      Press(EditKey::kUndo);
      Check("after an undo right after the load");
    }
    int actions = Pick(1, kMostActions);
    for (int i = 0; i < actions && !::testing::Test::HasFatalFailure(); ++i) Act();
    if (Pick(0, 2) == 0) UndoEverythingTyped();
    Check("at the end");
  }

  const std::string& Log() const { return log_; }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  template <typename T, std::size_t N>
  const T& PickOf(const T (&pool)[N]) {
    return pool[static_cast<std::size_t>(Pick(0, static_cast<int>(N) - 1))];
  }

  void Load() {
    // A fresh editor for each session: empty, its line model new, nothing to undo.
    SetText(editor_, u"");
    CurrentToolkit().editors[editor_] = EditorLines{};
    std::vector<Text> lines;
    int count = Pick(0, 4);
    for (int i = 0; i < count; ++i) lines.push_back(PickOf(kLoaded));
    Text text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      AddLine(editor_, -1, lines[i]);
      text += (i == 0 ? u"" : u"\n") + lines[i];
    }
    ForgetUndo(editor_);  // as the program does once a list is loaded
    loaded_ = Entries();
    d_.SetClipboardWithoutText();  // so that a session reruns alone as it ran among the others
    m_.clipboard.reset();
    m_.text = text;
    m_.caret = m_.anchor = 0;
    log_ = "loaded " + Show(lines) + "\n";
    Check("after the load");
  }

  void Press(EditKey key) {
    log_ += std::string("  ") + KeyName(key) + "\n";
    d_.Press(key);
    m_.Press(key);
    switch (key) {  // the keys that may change the text, each one undoable step
      case EditKey::kEnter:
      case EditKey::kShiftEnter:
      case EditKey::kCtrlEnter:
      case EditKey::kTab:
      case EditKey::kBackspace:
      case EditKey::kDelete:
      case EditKey::kCut:
      case EditKey::kPaste:
      case EditKey::kShiftInsert:
        ++edits_;
        break;
      default:
        break;
    }
  }

  void Act() {
    Text before = m_.text;
    switch (Pick(0, 13)) {
      case 0:
      case 1: {  // typing
        Text typed;
        for (int n = Pick(1, 4); n > 0; --n) typed += PickOf(kTyped);
        log_ += "  type " + Show(typed) + "\n";
        d_.TypeCharacters(typed);
        m_.Replace(typed);
        edits_ += static_cast<int>(typed.size());
        break;
      }
      case 2:
        Press(PickOf({EditKey::kEnter, EditKey::kShiftEnter, EditKey::kCtrlEnter, EditKey::kTab}));
        break;
      case 3:
        Press(PickOf({EditKey::kBackspace, EditKey::kDelete}));
        break;
      case 4: {  // moving; a plain Left or Right only without a selection, where every widget agrees
        EditKey key = PickOf({EditKey::kLeft, EditKey::kRight, EditKey::kHome, EditKey::kEnd,
                              EditKey::kCtrlHome, EditKey::kCtrlEnd});
        if (m_.HasSelection() && key == EditKey::kLeft) key = EditKey::kHome;
        if (m_.HasSelection() && key == EditKey::kRight) key = EditKey::kEnd;
        Press(key);
        break;
      }
      case 5:
        Press(PickOf({EditKey::kShiftLeft, EditKey::kShiftRight, EditKey::kShiftLeft, EditKey::kSelectAll}));
        break;
      case 6:
      case 7: {  // another program's text, pasted
        Text pasted;
        for (int n = Pick(1, 6); n > 0; --n) pasted += PickOf(kPasted);
        log_ += "  clipboard " + Show(pasted) + "\n";
        d_.SetClipboardText(pasted);
        m_.clipboard = pasted;
        Press(PickOf({EditKey::kPaste, EditKey::kPaste, EditKey::kShiftInsert}));
        break;
      }
      case 8:  // a clipboard without text
        log_ += "  clipboard without text\n";
        d_.SetClipboardWithoutText();
        m_.clipboard.reset();
        Press(EditKey::kPaste);
        break;
      case 9:
        CopyOrCut();
        break;
      case 10:
        Press(EditKey::kPaste);  // whatever the clipboard holds now, perhaps copied from the editor
        break;
      case 11:
        UndoThenRedo();
        break;
      case 12:
        UndoThenType();
        break;
      case 13:
        PasteThenUndo();
        break;
    }
    changed_ = changed_ || m_.text != before;
  }

  // Copy and cut with a selection; the clipboard then holds the real characters, as a save would write them.
  void CopyOrCut() {
    if (!m_.HasSelection()) Press(m_.caret > 0 ? EditKey::kShiftLeft : EditKey::kShiftRight);
    if (!m_.HasSelection()) return;
    Text selected = m_.Selected();
    Press(Pick(0, 1) == 0 ? EditKey::kCopy : EditKey::kCut);
    d_.ProcessPending();
    std::optional<Text> held = d_.ClipboardText();
    Text text = held.value_or(u"(no text)");
    Text got;  // with a CR LF line break as "\n"
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) got += text[i];
    }
    if (got != selected) {
      ADD_FAILURE() << "the clipboard holds " << Show(got) << " after copying " << Show(selected);
    }
  }

  // Undo then redo as often gives back the same entries; every state on the way is shown as saved. Native
  // undo steps differ between widgets, so the steps themselves are not predicted.
  void UndoThenRedo() {
    std::vector<Text> before = Entries();
    int times = Pick(1, 3);
    for (int i = 0; i < times; ++i) {
      Press(EditKey::kUndo);
      Check("after an undo", false);
    }
    for (int i = 0; i < times; ++i) Press(EditKey::kRedo);
    d_.ProcessPending();
    if (Entries() != before) {
      ADD_FAILURE() << "undo then redo " << times << " times gives " << Show(Entries()) << " instead of "
                    << Show(before);
    }
    Resync();
  }

  // A paste is one undo step, however many lines it holds: Undo gives back the entries before it, Redo those
  // after it.
  void PasteThenUndo() {
    Text pasted;
    for (int n = Pick(2, 8); n > 0; --n) pasted += PickOf(kPasted);
    log_ += "  clipboard " + Show(pasted) + "\n";
    d_.SetClipboardText(pasted);
    m_.clipboard = pasted;
    d_.ProcessPending();
    const std::vector<Text> before = Entries();
    Press(EditKey::kPaste);
    Check("after a paste");
    const std::vector<Text> after = Entries();
    if (after == before) return Resync();
    Press(EditKey::kUndo);
    d_.ProcessPending();
    if (Entries() != before) {
      ADD_FAILURE() << "undoing a paste gives " << Show(Entries()) << " instead of " << Show(before);
    }
    Press(EditKey::kRedo);
    d_.ProcessPending();
    if (Entries() != after) {
      ADD_FAILURE() << "redoing a paste gives " << Show(Entries()) << " instead of " << Show(after);
    }
    Resync();
  }

  // A new edit after an undo leaves nothing to redo: Redo then changes nothing. The one undo stays within
  // what the session changed (a widget may group edits, never with the load).
  void UndoThenType() {
    if (changed_) {
      Press(EditKey::kUndo);
      Check("after an undo", false);
      Resync();
      log_ += "  type \"a\"\n";
      d_.TypeCharacters(u"a");
      m_.Replace(u"a");
      ++edits_;
    }
    Press(EditKey::kRedo);
  }

  // Undo, as often as there were undoable steps (each typed character counted as one, though widgets group
  // them), must pass through the entries as loaded.
  void UndoEverythingTyped() {
    log_ += "  undo everything typed (" + std::to_string(edits_) + " steps at most)\n";
    for (int i = 0; i <= edits_ && Entries() != loaded_; ++i) {
      Press(EditKey::kUndo);
      Check("while undoing everything", false);
    }
    if (Entries() != loaded_) {
      ADD_FAILURE() << "undoing " << edits_ + 1 << " times never gave back the loaded entries "
                    << Show(loaded_) << "; now " << Show(Entries());
    }
    Resync();
  }

  // After undo the caret is wherever the widget puts it: the model takes the editor's text and both move the
  // caret to the end.
  void Resync() {
    d_.ProcessPending();
    m_.text.clear();
    std::vector<Text> entries = Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) m_.text += (i == 0 ? u"" : u"\n") + entries[i];
    Press(EditKey::kCtrlEnd);
  }

  // The entries a save would write; an editor without lines reads as one empty line, as it shows one row.
  std::vector<Text> Entries() {
    std::vector<Text> entries;
    for (std::int64_t i = 0, n = LineCount(editor_); i < n; ++i) entries.push_back(LineText(editor_, i));
    if (entries.empty()) entries.emplace_back();
    return entries;
  }

  // The rows shown and the entries a save writes agree; and, unless the model has just lost track of the
  // editor (after an undo), both are the model's lines.
  void Check(const char* when, bool against_model = true) {
    d_.ProcessPending();
    std::vector<Text> rows = d_.ShownRows(editor_);
    if (rows.empty()) rows.emplace_back();
    std::vector<Text> entries = Entries();
    if (rows != entries) {
      ADD_FAILURE() << when << ": the editor shows " << Show(rows) << " but a save writes " << Show(entries);
    }
    if (!against_model) return;
    std::vector<Text> expected = SplitLines(m_.text);
    if (entries != expected) {
      ADD_FAILURE() << when << ": a save writes " << Show(entries) << " but a plain editor holds "
                    << Show(expected);
    }
  }

  EditingDriver& d_;
  Handle editor_;
  std::mt19937_64 random_;
  Model m_;
  std::vector<Text> loaded_;
  int edits_ = 0;         // undoable steps since the load, at most
  bool changed_ = false;  // whether an action since the load changed the text
  std::string log_;
};

// A number from the environment, or `fallback` when the variable is not set.
std::optional<std::uint64_t> FromEnvironment(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  unsigned long long n = std::strtoull(value, &end, 10);
  if (*end != '\0') return std::nullopt;
  return n;
}

TEST(Editing, RandomSessionsShowWhatASaveWritesAndWhatAPlainEditorHolds) {
  std::optional<std::uint64_t> seed = FromEnvironment("VW_EDITING_SEED", kDefaultSeed);
  std::optional<std::uint64_t> sessions = FromEnvironment("VW_EDITING_SESSIONS", kDefaultSessions);
  ASSERT_TRUE(seed && sessions) << "VW_EDITING_SEED and VW_EDITING_SESSIONS take a decimal number";

  std::unique_ptr<EditingDriver> driver = MakeEditingDriver();
  Toolkit toolkit(driver->platform());
  Platform& platform = driver->platform();
  Handle window = platform.CreateMainWindow(u"Editing", {0, 0, 580, 718});
  Handle font = platform.MessageFont();
  if (font == 0) font = platform.DefaultGuiFont();
  Handle editor = CreateControl(ControlKind::kEditor, window, {8, 42, 250, 540}, u"", font);
  ASSERT_NE(editor, 0u) << driver->name();

  for (std::uint64_t i = 0; i < *sessions; ++i) {
    Session session(*driver, editor, *seed + i);
    session.Run();
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << driver->name() << ": session " << i
                    << " failed; rerun it alone with VW_EDITING_SEED=" << *seed + i
                    << " VW_EDITING_SESSIONS=1. It did:\n"
                    << session.Log();
      return;
    }
  }
}

}  // namespace
}  // namespace vw::testing
