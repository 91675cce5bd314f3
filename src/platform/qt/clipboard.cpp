// The Qt back end, the clipboard: an editor's paste (plain text at the caret, nothing for a clipboard without
// text) and its copy, cut and drag (the real characters).
#include "platform/qt/qt_internal.h"

#include <QMimeData>
#include <QTextCursor>

namespace vw::qt {

void Editor::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || source == nullptr || !source->hasText()) return;
  const QString text = source->text();
  if (text.isEmpty()) return;  // nothing to put in: the selection stays
  InsertTyped(text, true);
}

QMimeData* Editor::createMimeDataFromSelection() const {
  const QTextCursor cursor = textCursor();
  auto* copied = new QMimeData;
  copied->setText(ToQ(RealText(*text_, cursor.selectionStart(), cursor.selectionEnd())));
  return copied;
}

}  // namespace vw::qt
