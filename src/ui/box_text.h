// The message box's one rule for long text, decided here for every back end. A back end shows the text it is
// given one row per line and makes the box fit on the screen; what goes on each row is decided here, so an
// address of any length reads the same on every desktop.
#pragma once

#include <cstddef>

#include "common/text.h"

namespace vw {

// The most UTF-16 units on one row of a message box. Rows this wide still fit a small screen in the box font.
inline constexpr std::size_t kBoxRowUnits = 100;

// A line of at most this many UTF-16 units is shown whole; a longer one shows its first and its last
// kBoxLineBound / 2 units around one row naming how many characters are left out. 3,000 units are 30 rows:
// a long address is readable whole, and a box never grows taller than a screen can show.
inline constexpr std::size_t kBoxLineBound = 3000;

// The text as the box shows it. Lines (split at "\r\n", "\n" or "\r") are given back joined by "\r\n"; each
// is wrapped into rows of at most kBoxRowUnits units, joined by "\r\n", never splitting a surrogate pair. A
// line longer than kBoxLineBound keeps its head and tail (a surrogate pair at a cut goes with the left-out
// part) and gets the row "… N characters left out …" between them, N counting characters (code points) with
// thousands separated by ",". Linear in the length of the text.
Text BoxShownText(TextView text);

}  // namespace vw
