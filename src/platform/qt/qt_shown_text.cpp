#include "platform/qt/qt_shown_text.h"

#include <QBrush>
#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace vw::qt {
namespace {

struct StandIn {
  char16_t real;
  char16_t glyph;
};

constexpr StandIn kStandIns[] = {
    {u'\u2028', u'\u21B5'}, {u'\u2029', u'\u204B'}, {u'\uFDD0', u'\u27E6'},
    {u'\uFDD1', u'\u27E7'}, {u'\uFFFC', u'\u2B1A'},
};

// Most text holds none of the five characters: one cheap test each before the table.
bool MaybeReal(char16_t c) {
  return c >= u'\u2028' && (c <= u'\u2029' || c == u'\uFDD0' || c == u'\uFDD1' || c == u'\uFFFC');
}

bool MaybeGlyph(char16_t c) {
  return c == u'\u21B5' || c == u'\u204B' || c == u'\u27E6' || c == u'\u27E7' || c == u'\u2B1A';
}

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

char16_t StandInFor(char16_t real) {
  if (!MaybeReal(real)) return 0;
  for (const StandIn& s : kStandIns) {
    if (s.real == real) return s.glyph;
  }
  return 0;
}

char16_t RealFor(char16_t glyph) {
  if (!MaybeGlyph(glyph)) return 0;
  for (const StandIn& s : kStandIns) {
    if (s.glyph == glyph) return s.real;
  }
  return 0;
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

}  // namespace vw::qt
