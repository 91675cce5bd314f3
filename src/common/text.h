// Text as the program sees it: 16-bit Unicode strings, lengths in 16-bit units, 1-based positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vw {

using Text = std::u16string;
using TextView = std::u16string_view;

// The letter `c` with its case removed: both cases of a letter give the same unit. Covers ASCII, Latin-1,
// Latin Extended-A, Greek and Coptic, and Cyrillic (with its supplement); every other unit is returned as it
// is. Follows the simple case folding of the Unicode character database, so one unit always maps to one unit.
char16_t FoldCase(char16_t c);

// Identical over the whole length, code for code; nothing trimmed, case significant.
bool TextEquals(TextView a, TextView b);

// The two halves of a character beyond the basic plane, as UTF-16 stores it.
constexpr bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// One character of UTF-8, the one decoder of the program: the code point at `bytes[at]` (at < size) and its
// length in bytes. A malformed sequence gives kNotUtf8 and the length of its "maximal subpart" (Unicode,
// chapter 3, U+FFFD substitution): the longest start of a well-formed sequence, or the one byte that cannot
// start or continue anything. Well-formed: no overlong form, no surrogate, nothing beyond U+10FFFF.
constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
struct Utf8Char {
  char32_t code;
  std::size_t length;
};
inline Utf8Char DecodeUtf8(std::string_view bytes, std::size_t at) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned b0 = s[at];
  if (b0 < 0x80) return {b0, 1};
  std::size_t need;
  unsigned lo = 0x80;
  unsigned hi = 0xBF;
  char32_t code;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    code = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    code = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    code = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;  // no overlong forms
    if (b0 == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return {kNotUtf8, 1};  // 80-BF without a lead, C0, C1, F5-FF: never part of a well-formed sequence
  }
  std::size_t j = at + 1;
  for (; need > 0; --need, ++j) {
    if (j == bytes.size() || s[j] < lo || s[j] > hi) return {kNotUtf8, j - at};
    code = (code << 6) | (s[j] & 0x3Fu);
    lo = 0x80;
    hi = 0xBF;
  }
  return {code, j - at};
}

// UTF-8 <-> UTF-16, the same code on every platform. Each malformed UTF-8 sequence (see DecodeUtf8) becomes
// one U+FFFD; an unpaired surrogate is encoded as U+FFFD.
Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(TextView text);
// TextToUtf8 appended to `out`, for callers that reuse one byte buffer.
void AppendUtf8(TextView text, std::string& out);

}  // namespace vw
