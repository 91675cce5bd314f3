// How the editors show the characters Qt's text document cannot keep or show as themselves.
//
// QTextDocument turns U+2029 (paragraph separator) and U+FDD0 / U+FDD1 (its own frame markers) into block
// breaks when they are inserted, lays U+2028 (line separator) out as a second row inside its entry, and draws
// U+FFFC (object replacement) as an empty inline object, that is not at all. Measured over every code point
// on Qt 6.4 (offscreen): every other character a list line can hold stays in the document as it is and on
// one row (a leading U+FEFF too, once it is not lost converting to QString: QString::fromUtf16 drops a
// byte-order mark, so the back end never uses it).
//
// So each of these five is shown as a visible stand-in, one unit for one unit, and each entry stays one row:
//   U+2028 line separator       -> U+21B5 (downwards arrow with corner leftwards)
//   U+2029 paragraph separator  -> U+204B (reversed pilcrow sign)
//   U+FDD0 (noncharacter)       -> U+27E6 (left white square bracket)
//   U+FDD1 (noncharacter)       -> U+27E7 (right white square bracket)
//   U+FFFC object replacement   -> U+2B1A (dotted square)
// A stand-in that is in the list as itself, and the escape U+2E2E (reversed question mark) itself, are shown
// after the escape: "U+2E2E U+21B5" is a real U+21B5. The mapping is a prefix code, so it is injective and
// reading the editor gives back exactly what was appended. All six glyphs are in DejaVu Sans.
//
// What the administrator types or pastes follows the editor's rules: a typed or pasted U+2028 or U+2029 (and
// a pasted CR or CR LF) becomes a line break, so starts a new entry, as Qt itself does for U+2029; a typed or
// pasted U+FDD0, U+FDD1 or U+FFFC is kept (shown by its stand-in). Stand-ins and escapes typed or pasted are
// taken as they are shown: a pasted U+21B5 alone is read back as a line separator, so text copied from an
// editor pastes back as the same entries.
#pragma once

#include <QString>

#include <cstdint>

#include "common/text.h"

namespace vw::qt {

inline constexpr char16_t kShownEscape = u'\u2E2E';

// The text as the editor holds it ('\n' stays a line break). `escapes`, when given, gets the number of
// escapes added. Mostly the characters of `text` themselves, not copied: use the result while `text` lives.
QString ShownText(const Text& text, std::int64_t* escapes = nullptr);
// Back from what the editor holds ('\n' for each line break) to the characters it stands for.
Text RealText(QStringView shown);
// The number of escapes in what the editor holds: its length less this is the length of RealText.
std::int64_t ShownEscapes(QStringView shown);
// What a typed or pasted text puts into the editor.
QString TypedText(const QString& typed);
// True when `typed` holds a character the editor shows by a stand-in, or a separator (a key's own text: a
// plain Return, "\r", is left to the editor).
bool NeedsTyping(const QString& typed);

}  // namespace vw::qt
