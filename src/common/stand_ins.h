// The visible stand-ins for characters a text widget would show as nothing or as a break, one unit for one
// unit, so that what the administrator sees tells every character apart. The editors show the five
// separators and markers below by their glyphs; the link field, a single line, also shows CR, LF and NUL as
// the pictures of those control characters.
#pragma once

#include "common/text.h"

namespace vw {

struct StandIn {
  char16_t real;
  char16_t glyph;
};

// In the editors and the link field alike.
inline constexpr StandIn kEditorStandIns[] = {
    {u'\u2028', u'\u21B5'},  // line separator: ↵
    {u'\u2029', u'\u204B'},  // paragraph separator: ⁋
    {u'\uFDD0', u'\u27E6'},  // ⟦
    {u'\uFDD1', u'\u27E7'},  // ⟧
    {u'\uFFFC', u'\u2B1A'},  // object replacement: ⬚
};
// In the link field only.
inline constexpr StandIn kFieldStandIns[] = {{u'\r', u'\u240D'}, {u'\n', u'\u240A'}, {u'\0', u'\u2400'}};

// The editors' glyph for `real`, or 0 when it is shown as itself.
constexpr char16_t EditorGlyphFor(char16_t real) {
  if (real < u'\u2028') return 0;  // most text: one comparison
  for (const StandIn& s : kEditorStandIns) {
    if (s.real == real) return s.glyph;
  }
  return 0;
}

// The character an editor's glyph stands for, or 0 when `glyph` is none of them.
constexpr char16_t EditorRealFor(char16_t glyph) {
  if (glyph < u'\u204B') return 0;  // below the lowest glyph: one comparison
  for (const StandIn& s : kEditorStandIns) {
    if (s.glyph == glyph) return s.real;
  }
  return 0;
}

// The link field's glyph for `real`, or 0 when it is shown as itself.
constexpr char16_t FieldGlyphFor(char16_t real) {
  for (const StandIn& s : kFieldStandIns) {
    if (s.real == real) return s.glyph;
  }
  return EditorGlyphFor(real);
}

// What the link field shows for `real`, unit for unit.
inline Text FieldShown(TextView real) {
  Text shown(real);
  for (char16_t& c : shown) {
    if (char16_t glyph = FieldGlyphFor(c); glyph != 0) c = glyph;
  }
  return shown;
}

// What the link field holds when it shows `shown`. The field keeps no mark of its own on a stand-in, so each
// of the eight glyphs reads as the character it stands for, typed as itself or not: the address tested is
// the one on the screen (an address holds none of these glyphs).
inline Text FieldReal(TextView shown) {
  Text real(shown);
  for (char16_t& c : real) {
    for (const StandIn& s : kFieldStandIns) {
      if (s.glyph == c) c = s.real;
    }
    if (char16_t original = EditorRealFor(c); original != 0) c = original;
  }
  return real;
}

}  // namespace vw
