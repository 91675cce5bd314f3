#include "platform/qt/qt_shown_text.h"

#include <algorithm>

namespace vw::qt {
namespace {

struct StandIn {
  char16_t real;
  char16_t shown;
};

constexpr StandIn kStandIns[] = {
    {u'\u2028', u'\u21B5'}, {u'\u2029', u'\u204B'}, {u'\uFDD0', u'\u27E6'},
    {u'\uFDD1', u'\u27E7'}, {u'\uFFFC', u'\u2B1A'},
};

// The stand-in of a character the document cannot keep, else 0.
char16_t StandInFor(char16_t c) {
  for (const StandIn& s : kStandIns) {
    if (s.real == c) return s.shown;
  }
  return 0;
}

// The character a stand-in shows, else 0.
char16_t RealFor(char16_t c) {
  for (const StandIn& s : kStandIns) {
    if (s.shown == c) return s.real;
  }
  return 0;
}

bool Escaped(char16_t c) {
  return c == kShownEscape || RealFor(c) != 0;
}

// Most text holds none of the twelve units: one cheap test each before the table.
bool MaybeSpecial(char16_t c) {
  return c >= u'\u2028' && (c <= u'\u2029' || c == u'\u204B' || c == u'\u21B5' || c >= u'\u27E6');
}

}  // namespace

QString ShownText(const Text& text, std::int64_t* escapes) {
  if (escapes != nullptr) *escapes = 0;
  if (std::none_of(text.begin(), text.end(), MaybeSpecial)) {
    return QString::fromRawData(reinterpret_cast<const QChar*>(text.data()),
                                static_cast<qsizetype>(text.size()));
  }
  QString shown;
  shown.reserve(static_cast<qsizetype>(text.size()));
  std::int64_t added = 0;
  for (char16_t c : text) {
    if (MaybeSpecial(c)) {
      if (char16_t stand_in = StandInFor(c)) {
        shown += QChar(stand_in);
        continue;
      }
      if (Escaped(c)) {
        shown += QChar(kShownEscape);
        ++added;
      }
    }
    shown += QChar(c);
  }
  if (escapes != nullptr) *escapes = added;
  return shown;
}

Text RealText(QStringView shown) {
  Text real;
  real.reserve(static_cast<std::size_t>(shown.size()));
  for (qsizetype i = 0; i < shown.size(); ++i) {
    char16_t c = shown[i].unicode();
    if (MaybeSpecial(c)) {
      if (c == kShownEscape && i + 1 < shown.size() && Escaped(shown[i + 1].unicode())) {
        real += shown[++i].unicode();
        continue;
      }
      if (char16_t original = RealFor(c)) {
        real += original;
        continue;
      }
    }
    real += c;
  }
  return real;
}

std::int64_t ShownEscapes(QStringView shown) {
  std::int64_t escapes = 0;
  for (qsizetype i = 0; i + 1 < shown.size(); ++i) {
    if (shown[i].unicode() == kShownEscape && Escaped(shown[i + 1].unicode())) {
      ++escapes;
      ++i;
    }
  }
  return escapes;
}

QString TypedText(const QString& typed) {
  QString result;
  result.reserve(typed.size());
  for (qsizetype i = 0; i < typed.size(); ++i) {
    char16_t c = typed[i].unicode();
    if (c == u'\u2028' || c == u'\u2029' || c == u'\n') {
      result += QChar(u'\n');
    } else if (c == u'\r') {
      result += QChar(u'\n');
      if (i + 1 < typed.size() && typed[i + 1] == QChar(u'\n')) ++i;
    } else if (char16_t stand_in = StandInFor(c)) {
      result += QChar(stand_in);
    } else {
      result += QChar(c);
    }
  }
  return result;
}

bool NeedsTyping(const QString& typed) {
  for (QChar c : typed) {
    if (StandInFor(c.unicode()) != 0) return true;
  }
  return false;
}

}  // namespace vw::qt
