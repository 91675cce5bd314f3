// How the editors hold the characters Qt's text document cannot keep or show as themselves.
//
// QTextDocument turns U+2029 (paragraph separator) and U+FDD0 / U+FDD1 (its own frame markers) into block
// breaks when they are inserted, lays U+2028 (line separator) out as a second row inside its entry, and draws
// U+FFFC (object replacement) as an empty inline object, that is not at all. Measured over every code point
// on Qt 6.4 (offscreen): every other character a list line can hold stays in the document as it is and on
// one row (a leading U+FEFF too, once it is not lost converting to QString: QString::fromUtf16 drops a
// byte-order mark, so the back end never uses it).
//
// So each of these five is held as a visible stand-in glyph, one unit for one unit, and each entry stays one
// row:
//   U+2028 line separator       -> U+21B5 (downwards arrow with corner leftwards)
//   U+2029 paragraph separator  -> U+204B (reversed pilcrow sign)
//   U+FDD0 (noncharacter)       -> U+27E6 (left white square bracket)
//   U+FDD1 (noncharacter)       -> U+27E7 (right white square bracket)
//   U+FFFC object replacement   -> U+2B1A (dotted square)
// What makes a glyph a stand-in is its character format (kStandInProperty, drawn on a tinted background), not
// the glyph itself: a ↵ the administrator types is a plain ↵ and is saved as one. The mark travels with the
// character through the document's own undo and redo, and nothing else can put it on a character: every
// insertion the editor makes for the user (keys, input method, paste, drop) uses the plain format. So
// deleting or typing next to a stand-in never changes another character, and reading the editor gives back
// exactly what was appended or typed.
#pragma once

#include <QString>
#include <QTextCharFormat>

#include "common/text.h"

class QTextCursor;
class QTextDocument;

namespace vw::qt {

// The character format property that marks a stand-in (a bool).
inline constexpr int kStandInProperty = QTextFormat::UserProperty + 0x7657;
// The property of text the program appended (a bool; no look of its own).
inline constexpr int kAppendedProperty = QTextFormat::UserProperty + 0x7658;

// The stand-in glyph of a character the document cannot hold, else 0.
char16_t StandInFor(char16_t real);
// The character a stand-in glyph stands for, else 0.
char16_t RealFor(char16_t glyph);
// `plain` with the mark and look of a stand-in.
QTextCharFormat StandInFormat(const QTextCharFormat& plain);
bool IsStandIn(const QTextCharFormat& format);

// Inserts `text` (its '\n' as line breaks) at `cursor`: each character the document cannot hold as its
// stand-in glyph in `marked`, everything else as it is in `plain`. True when it inserted a stand-in.
bool InsertWithStandIns(QTextCursor& cursor, const QString& text, const QTextCharFormat& plain,
                        const QTextCharFormat& marked);
// The characters the document's positions [from, to) stand for, with '\n' for every row break (to < 0: up
// to the end). Stand-ins read as their characters; any other glyph reads as itself.
Text RealText(const QTextDocument& document, int from = 0, int to = -1);
// What a typed or pasted text puts into the editor: every CR, LF, CR LF and NUL is one line break ('\n'),
// so a row break on the screen is always a line break in the list; every other character is kept.
QString TypedText(const QString& typed);

}  // namespace vw::qt
