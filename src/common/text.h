// Text as the program sees it: 16-bit Unicode strings, lengths in 16-bit units, 1-based positions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vw {

using Text = std::u16string;
using TextView = std::u16string_view;

enum class FindMode {
  kExact,       // code for code: letter case is significant
  kIgnoreCase,  // letters compared without regard to case
};

// 1-based position of the first occurrence of `pattern` in `text` that begins at or after `start`; 0 when
// there is none. Empty text or pattern gives 0. A start of 1 or less searches from the first character; a
// start beyond the end of the text finds nothing.
std::int64_t FindText(TextView text, TextView pattern, std::int64_t start, FindMode mode = FindMode::kExact);

// The letter `c` with its case removed: both cases of a letter give the same unit. Covers ASCII, Latin-1,
// Latin Extended-A, Greek and Coptic, and Cyrillic (with its supplement); every other unit is returned as it
// is. Follows the simple case folding of the Unicode character database, so one unit always maps to one unit.
char16_t FoldCase(char16_t c);

// Identical over the whole length, code for code; nothing trimmed, case significant.
bool TextEquals(TextView a, TextView b);

// UTF-8 <-> UTF-16, the same code on every platform. Each malformed UTF-8 sequence becomes U+FFFD; an
// unpaired surrogate is encoded as U+FFFD.
// The two halves of a character beyond the basic plane, as UTF-16 stores it.
constexpr bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(TextView text);
// TextToUtf8 appended to `out`, for callers that reuse one byte buffer.
void AppendUtf8(TextView text, std::string& out);

}  // namespace vw
