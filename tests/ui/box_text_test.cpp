// The message box's rule for long text: rows, surrogate pairs at a row's edge, the bound, line breaks and the
// count of characters left out.
#include "ui/box_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace vw {
namespace {

const Text kPair = u"\U0001F600";  // one character, two units

Text Rep(std::size_t n, char16_t c) {
  return Text(n, c);
}

// `line` cut into rows of `widths` units each, joined by "\r\n" (the expected layout of a line).
Text Rows(const Text& line, const std::vector<std::size_t>& widths) {
  Text out;
  std::size_t at = 0;
  for (std::size_t w : widths) {
    if (at != 0) out += u"\r\n";
    out += line.substr(at, w);
    at += w;
  }
  EXPECT_EQ(at, line.size()) << "a bad expectation";
  return out;
}

std::vector<Text> SplitRows(const Text& shown) {
  std::vector<Text> rows;
  std::size_t begin = 0;
  for (std::size_t end; (end = shown.find(u"\r\n", begin)) != Text::npos; begin = end + 2) {
    rows.push_back(shown.substr(begin, end - begin));
  }
  rows.push_back(shown.substr(begin));
  return rows;
}

struct Case {
  const char* name;
  Text text;
  Text shown;
};

std::vector<Case> Cases() {
  const Text a150 = u"https://" + Rep(137, u'a') + u".org/";  // 150 units
  const Text edge99 = Rep(99, u'x') + kPair + u"y";           // the pair would straddle the row edge
  const Text edge98 = Rep(98, u'x') + kPair + u"y";           // the pair ends the first row exactly
  // A lone high surrogate in the part left out counts as one character, as it is shown as one.
  const Text astral =
      Rep(1499, u'a') + kPair + Rep(999, u'm') + u"\xD83D" + Rep(1000, u'm') + kPair + Rep(1499, u'b');
  std::vector<std::size_t> thirty(30, 100);
  std::vector<std::size_t> fifteen(15, 100);
  std::vector<std::size_t> head_1499(14, 100);
  head_1499.push_back(99);
  auto cut = [](const Text& head, const char16_t* row, const Text& tail) {
    return head + u"\r\n" + row + u"\r\n" + tail;
  };
  return {
      {"empty", u"", u""},
      {"short lines unchanged", u"example.org\r\n\r\nThis is a Safe Link !",
       u"example.org\r\n\r\nThis is a Safe Link !"},
      {"LF, CR and CR LF all become CR LF", u"a\nb\rc\r\nd", u"a\r\nb\r\nc\r\nd"},
      {"CR then CR LF are two breaks", u"a\r\r\nb", u"a\r\n\r\nb"},
      {"LF CR is two breaks", u"a\n\rb", u"a\r\n\r\nb"},
      {"a break at the end is kept", u"a\n", u"a\r\n"},
      {"only breaks", u"\r\n\n\r", u"\r\n\r\n\r\n"},
      {"a row of exactly the width", Rep(100, u'x'), Rep(100, u'x')},
      {"one unit more wraps", Rep(101, u'x'), Rows(Rep(101, u'x'), {100, 1})},
      {"a 150-character address", a150, Rows(a150, {100, 50})},
      {"wrapping restarts on each line", Rep(101, u'x') + u"\n" + Rep(101, u'y'),
       Rows(Rep(101, u'x'), {100, 1}) + u"\r\n" + Rows(Rep(101, u'y'), {100, 1})},
      {"a pair at the row edge starts the next row", edge99, Rows(edge99, {99, 3})},
      {"a pair ending the row stays on it", edge98, Rows(edge98, {100, 1})},
      {"a lone high surrogate at the edge is cut like any unit", Rep(99, u'x') + u"\xD83Dz" + Rep(5, u'w'),
       Rows(Rep(99, u'x') + u"\xD83Dz" + Rep(5, u'w'), {100, 6})},
      {"the bound itself is shown whole", Rep(3000, u'x'), Rows(Rep(3000, u'x'), thirty)},
      {"one past the bound leaves one character out", Rep(1500, u'a') + u"m" + Rep(1500, u'b'),
       cut(Rows(Rep(1500, u'a'), fifteen), u"\u2026 1 character left out \u2026",
           Rows(Rep(1500, u'b'), fifteen))},
      {"a million characters", Rep(1500, u'a') + Rep(997000, u'm') + Rep(1500, u'b'),
       cut(Rows(Rep(1500, u'a'), fifteen), u"\u2026 997,000 characters left out \u2026",
           Rows(Rep(1500, u'b'), fifteen))},
      {"the field's limit", Rep(1048576, u'x'),
       cut(Rows(Rep(1500, u'x'), fifteen), u"\u2026 1,045,576 characters left out \u2026",
           Rows(Rep(1500, u'x'), fifteen))},
      {"pairs at both cuts go with the left-out part and count once, a lone surrogate once", astral,
       cut(Rows(Rep(1499, u'a'), head_1499), u"\u2026 2,002 characters left out \u2026",
           Rows(Rep(1499, u'b'), head_1499))},
      {"a long line among short ones", u"Site Not Approved\r\n" + Rep(4000, u'q') + u"\r\nend",
       u"Site Not Approved\r\n" +
           cut(Rows(Rep(1500, u'q'), fifteen), u"\u2026 1,000 characters left out \u2026",
               Rows(Rep(1500, u'q'), fifteen)) +
           u"\r\nend"},
  };
}

TEST(BoxShownText, LaysOutEachLineInRowsAndShortensOnlyPastTheBound) {
  for (const Case& c : Cases()) {
    Text shown = BoxShownText(c.text);
    EXPECT_TRUE(shown == c.shown) << c.name << ": " << shown.size() << " units shown, " << c.shown.size()
                                  << " expected";
    // Whatever the text: no row is wider than the width, and no row starts inside a surrogate pair.
    std::vector<Text> rows = SplitRows(shown);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_LE(rows[i].size(), kBoxRowUnits) << c.name << ", row " << i;
      bool starts_with_low = !rows[i].empty() && rows[i][0] >= 0xDC00 && rows[i][0] <= 0xDFFF;
      bool after_high =
          i > 0 && !rows[i - 1].empty() && rows[i - 1].back() >= 0xD800 && rows[i - 1].back() <= 0xDBFF;
      EXPECT_FALSE(starts_with_low && after_high) << c.name << ", row " << i << " splits a pair";
    }
  }
}

}  // namespace
}  // namespace vw
