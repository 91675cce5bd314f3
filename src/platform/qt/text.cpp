// The Qt back end, text of controls: reading and setting it, appending lines at a cost that does not grow
// with the text (held back, the view detached meanwhile), and the stand-ins for the characters Qt's document
// cannot hold.
#include "platform/qt/qt_internal.h"

#include "common/stand_ins.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>
#include <vector>

namespace vw::qt {
namespace {

// The format of the character at `position`; `block` caches the block last looked in.
QTextCharFormat FormatAt(const QTextDocument& document, int position, QTextBlock& block) {
  if (!block.isValid() || !block.contains(position)) block = document.findBlock(position);
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (fragment.contains(position)) return fragment.charFormat();
  }
  return {};
}

}  // namespace

// --- Stand-ins.

char16_t StandInFor(char16_t real) {
  return EditorGlyphFor(real);
}

char16_t RealFor(char16_t glyph) {
  return EditorRealFor(glyph);
}

QTextCharFormat StandInFormat(const QTextCharFormat& plain) {
  QTextCharFormat marked = plain;
  marked.setProperty(kStandInProperty, true);
  // A pale tint tells a stand-in from the same glyph typed as itself.
  marked.setBackground(QBrush(QColor(0xdd, 0xe6, 0xf5)));
  return marked;
}

bool IsStandIn(const QTextCharFormat& format) {
  return format.boolProperty(kStandInProperty);
}

bool InsertWithStandIns(QTextCursor& cursor, const QString& text, const QTextCharFormat& plain,
                        const QTextCharFormat& marked) {
  qsizetype start = 0;  // the first character not inserted yet
  bool any = false;
  QString glyphs;
  for (qsizetype i = 0; i < text.size();) {
    if (StandInFor(text[i].unicode()) == 0) {
      ++i;
      continue;
    }
    if (i > start) cursor.insertText(text.mid(start, i - start), plain);
    glyphs.clear();
    for (char16_t glyph; i < text.size() && (glyph = StandInFor(text[i].unicode())) != 0; ++i) {
      glyphs += QChar(glyph);
    }
    cursor.insertText(glyphs, marked);
    any = true;
    start = i;
  }
  if (start == 0) {
    cursor.insertText(text, plain);
  } else if (start < text.size()) {
    cursor.insertText(text.mid(start), plain);
  }
  return any;
}

Text RealText(const QTextDocument& document, int from, int to) {
  const int length = document.characterCount() - 1;  // less the separator after the last block
  const int end = to < 0 ? length : std::min(to, length);
  const int begin = std::clamp(from, 0, end);
  QString raw;
  if (begin == 0 && end == length) {
    raw = document.toRawText();
  } else {
    // Only the part asked for (copying a selection must not cost the whole text).
    QTextCursor part(const_cast<QTextDocument*>(&document));
    part.setPosition(begin);
    part.setPosition(end, QTextCursor::KeepAnchor);
    raw = part.selectedText();
  }
  Text real;
  real.reserve(static_cast<std::size_t>(raw.size()));
  QTextBlock block;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    char16_t c = raw[i].unicode();
    // Block breaks; a line separator in the document (none gets in, but it would show a row break) alike.
    if (c == u'\u2029' || c == u'\u2028') {
      c = u'\n';
    } else if (char16_t original = RealFor(c);
               original != 0 && IsStandIn(FormatAt(document, begin + static_cast<int>(i), block))) {
      c = original;
    }
    real += c;
  }
  return real;
}

QString FieldShown(const QString& real) {
  return ToQ(vw::FieldShown(FromQ(real)));
}

Text FieldReal(const QString& shown) {
  return vw::FieldReal(FromQ(shown));
}

QString TypedText(const QString& typed) {
  QString result;
  result.reserve(typed.size());
  for (qsizetype i = 0; i < typed.size(); ++i) {
    const char16_t c = typed[i].unicode();
    if (c == u'\r' || c == u'\n' || c == u'\0') {
      result += QChar(u'\n');
      if (c == u'\r' && i + 1 < typed.size() && typed[i + 1] == QChar(u'\n')) ++i;
    } else {
      result += QChar(c);
    }
  }
  return result;
}

// --- The editor's text.

void Editor::Detach() {
  if (detached_) return;
  // The layout still learns of every change (it only marks the new rows as one row each, unlaid); its
  // signals, which make the view lay out and measure the last page of rows again, wait.
  text_->documentLayout()->blockSignals(true);
  detached_ = true;
}

void Editor::Attach() {
  if (!detached_) return;
  detached_ = false;
  QAbstractTextDocumentLayout* layout = text_->documentLayout();
  layout->blockSignals(false);
  emit layout->documentSizeChanged(layout->documentSize());  // the scroll bars, once
  emit layout->update(QRectF(0., -text_->documentMargin(), 1000000000., 1000000000.));
  QTextCursor end(text_);
  end.movePosition(QTextCursor::End);
  setTextCursor(end);  // the insertion point after the text, nothing selected, the last line in view
  horizontalScrollBar()->setValue(0);  // from the left edge, even when the last line is longer than the view
  // A scroll bar that comes with the new size takes its room from the view only once Qt has handled its
  // own queued layout: the last line is brought into view again after that.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (detached_) return;
        ensureCursorVisible();
        horizontalScrollBar()->setValue(0);
      },
      Qt::QueuedConnection);
}

void Editor::Replace(const QString& text) {
  pending_.clear();
  pending_starts_.clear();
  Attach();
  setPlainText(QString());  // the view's own reset: history, scrolling, caret
  text_->setUndoRedoEnabled(false);
  QTextCursor cursor(text_);
  cursor.beginEditBlock();  // one change for the view to lay out
  InsertWithStandIns(cursor, text, plain_format_, stand_in_format_);
  cursor.endEditBlock();
  text_->setUndoRedoEnabled(true);
  moveCursor(QTextCursor::Start);
}

void Editor::Append(QStringView text) {
  pending_starts_.push_back(pending_.size());
  pending_ += text;
}

void Editor::Put(bool no_undo) {
  if (pending_.isEmpty()) return;
  const QString text = std::exchange(pending_, {});
  std::vector<qsizetype> starts = std::exchange(pending_starts_, {});
  starts.push_back(text.size());
  if (no_undo) {
    // As setPlainText fills a document: one insertion, no undo records (turning them off empties the
    // history, which is what the caller is about to do).
    text_->setUndoRedoEnabled(false);
    QTextCursor cursor(text_);
    cursor.beginEditBlock();
    cursor.setPosition(text_->characterCount() - 1);
    InsertWithStandIns(cursor, text, appended_format_, appended_stand_in_format_);
    cursor.endEditBlock();
    text_->setUndoRedoEnabled(true);
    return;
  }
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    QTextCursor cursor(text_);
    // One edit block: one step of the undo history. The block is opened before the cursor moves: inside it,
    // a cursor does not work out its place on the screen, which would lay out the last line (and keep that
    // layout) at every move and insertion.
    cursor.beginEditBlock();
    cursor.setPosition(text_->characterCount() - 1);  // the end, without walking to it
    // Qt merges a plain insertion into the last insertion of the edit block before it when both have the
    // same format: text typed at the end right after a load would become part of the last loaded line's
    // undo step, and undoing the typing would take that line away too. The appended text's own format keeps
    // them apart.
    InsertWithStandIns(cursor, QString::fromRawData(text.constData() + starts[i], starts[i + 1] - starts[i]),
                       appended_format_, appended_stand_in_format_);
    cursor.endEditBlock();
  }
}

// --- The platform's text calls.

Text QtPlatform::GetText(Handle control) {
  Entry* entry = Find(control);
  if (entry == nullptr) return {};
  QWidget* widget = entry->widget;
  if (auto* editor = dynamic_cast<Editor*>(widget)) {
    PutAppended(*editor, false);
    return RealText(*editor->text());
  }
  if (auto* field = dynamic_cast<Field*>(widget)) return FieldReal(field->text());
  if (auto* field = qobject_cast<QLineEdit*>(widget)) return FromQ(field->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return FromQ(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return FromQ(button->text());
  if (widget->isWindow()) return FromQ(widget->windowTitle());
  return {};
}

void QtPlatform::SetText(Handle control, const Text& text) {
  Entry* entry = Find(control);
  if (entry == nullptr) return;
  QWidget* widget = entry->widget;
  if (auto* editor = dynamic_cast<Editor*>(widget)) {
    editor->Replace(ToQ(text));  // counts the revision through contentsChanged
    return;
  }
  if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    field->setText(dynamic_cast<Field*>(field) != nullptr ? FieldShown(ToQ(text)) : ToQ(text));
    return;
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQ(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQ(text));
  } else if (widget->isWindow()) {
    widget->setWindowTitle(ToQ(text));
  } else {
    return;
  }
  ++entry->revision;
}

std::int64_t QtPlatform::TextLength(Handle control) {
  Entry* entry = Find(control);
  if (entry == nullptr) return 0;
  if (auto* editor = dynamic_cast<Editor*>(entry->widget.data())) {
    // The document counts one more character than its text: the separator after the last block. A
    // stand-in is one unit, as the character it stands for.
    return std::max<std::int64_t>(0, editor->text()->characterCount() - 1) + editor->pending_length();
  }
  return static_cast<std::int64_t>(GetText(control).size());
}

// Loading a list appends line after line. The text waits in the editor (Editor::Append) until something
// reads the editor or the program waits: then each append goes in as its own undo step, or, when the program
// empties the undo history (ForgetUndo, after every load), all of them in one insertion. The change is
// counted and reported here, when the program makes it.
void QtPlatform::AppendText(Handle editor, const Text& text) {
  Entry* entry = Find(editor);
  if (entry == nullptr) return;
  auto* edit = dynamic_cast<Editor*>(entry->widget.data());
  if (edit == nullptr) return;
  if (text.empty()) {
    if (!edit->detached()) {
      QTextCursor end(edit->text());
      end.movePosition(QTextCursor::End);
      edit->setTextCursor(end);  // the insertion point after the text, no selection
    }
    return;
  }
  // Off the view until the next event is handled (AttachEditors), which leaves the caret after the text.
  if (!edit->detached()) {
    edit->Detach();
    detached_editors_.emplace_back(edit);
  }
  edit->Append(QStringView(text.data(), static_cast<qsizetype>(text.size())));
  ++entry->revision;
  Notify(editor, Notice::kChanged);
}

void QtPlatform::PutAppended(Editor& editor, bool no_undo) {
  if (editor.pending_length() == 0) return;
  const QWidget* outer = std::exchange(putting_, &editor);
  editor.Put(no_undo);
  putting_ = outer;
}

// The appends still waiting go in first, so that they are forgotten too.
void QtPlatform::ForgetUndo(Handle editor) {
  Entry* entry = Find(editor);
  if (entry == nullptr) return;
  if (auto* edit = dynamic_cast<Editor*>(entry->widget.data())) {
    PutAppended(*edit, true);
    edit->text()->clearUndoRedoStacks();
  }
}

void QtPlatform::AttachEditors() {
  std::vector<QPointer<Editor>> editors;
  editors.swap(detached_editors_);
  for (QPointer<Editor>& editor : editors) {
    if (editor != nullptr) PutAppended(*editor, false);
    if (editor != nullptr) editor->Attach();
  }
}

std::uint64_t QtPlatform::TextRevision(Handle control) {
  const Entry* entry = Find(control);
  return entry == nullptr ? 0 : entry->revision;
}

}  // namespace vw::qt
