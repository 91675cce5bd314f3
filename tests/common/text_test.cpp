// FindText, TextEquals and FoldCase.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/text.h"

namespace vw {
namespace {

struct FindCase {
  const char* why;
  Text text;
  Text pattern;
  std::int64_t start;
  FindMode mode;
  std::int64_t expected;
};

constexpr FindMode kExact = FindMode::kExact;
constexpr FindMode kNoCase = FindMode::kIgnoreCase;

const FindCase kFindCases[] = {
    // Empty text or pattern: nothing found, whatever the start.
    {"empty text", u"", u"a", 1, kExact, 0},
    {"empty pattern", u"abc", u"", 1, kExact, 0},
    {"both empty", u"", u"", 0, kExact, 0},
    {"empty pattern ignoring case", u"abc", u"", 1, kNoCase, 0},
    // Start rules.
    {"start 0 searches from the first character", u"abcabc", u"abc", 0, kExact, 1},
    {"negative start searches from the first", u"abcabc", u"abc", -5, kExact, 1},
    {"most negative start", u"abcabc", u"c", INT64_MIN, kExact, 3},
    {"start 1", u"abcabc", u"abc", 1, kExact, 1},
    {"start 2 skips the first occurrence", u"abcabc", u"abc", 2, kExact, 4},
    {"start at the occurrence", u"abcabc", u"abc", 4, kExact, 4},
    {"start past the last occurrence", u"abcabc", u"abc", 5, kExact, 0},
    {"start at the last character", u"abcabc", u"c", 6, kExact, 6},
    {"start one beyond the end", u"abcabc", u"c", 7, kExact, 0},
    {"start far beyond the end", u"abcabc", u"c", INT64_MAX, kExact, 0},
    {"pattern longer than what is left", u"abcabc", u"cab", 5, kExact, 0},
    // Exact comparison.
    {"whole text", u"abc", u"abc", 0, kExact, 1},
    {"pattern longer than text", u"ab", u"abc", 0, kExact, 0},
    {"at the end", u"www.example.com", u"com", 0, kExact, 13},
    {"case is significant", u"www.Example.com", u"example", 0, kExact, 0},
    {"single unit pattern", u"xyz", u"z", 0, kExact, 3},
    {"two unit pattern", u"aab", u"ab", 0, kExact, 2},
    {"first and last match but the middle does not", u"axbayb", u"ayb", 0, kExact, 4},
    {"overlapping candidates", u"aaaaab", u"aab", 0, kExact, 4},
    {"no occurrence", u"www.example.com", u"exampel", 0, kExact, 0},
    {"non-ASCII units", u"gr\u00FC\u00DFe.de", u"\u00DFe", 0, kExact, 4},
    {"surrogate pair", u"a\U0001F600b", u"\U0001F600", 0, kExact, 2},
    {"blanks are characters", u"a b", u" ", 0, kExact, 2},
    // Long texts go through the block-wise scan: hits at every place within and after a block.
    {"hit in first block", Text(40, u'x') + u"needle", u"needle", 0, kExact, 41},
    {"hit at block end", Text(15, u'x') + u"ne" + Text(20, u'x'), u"ne", 0, kExact, 16},
    {"hit straddling blocks", Text(30, u'x') + u"needle" + Text(30, u'y'), u"needle", 0, kExact, 31},
    {"hit in the tail", Text(33, u'x') + u"nd", u"nd", 0, kExact, 34},
    {"near misses in a block", u"naenaenaenaenaenaenxe", u"nxe", 0, kExact, 19},
    {"start inside a long text", Text(50, u'a'), u"aa", 40, kExact, 40},
    {"long text without a hit", Text(1000, u'a'), u"ab", 0, kExact, 0},
    // Ignoring case.
    {"ASCII letters", u"C:\\Users\\ADMIN\\TrustDir", u"trustdir", 1, kNoCase, 16},
    {"ignoring case with a start", u"abcABC", u"abc", 2, kNoCase, 4},
    {"non-letters compare exactly", u"a[b", u"A{B", 0, kNoCase, 0},
    {"Latin-1", u"\u00C9COLE", u"\u00E9cole", 0, kNoCase, 1},
    {"Latin Extended-A", u"\u0141\u00D3D\u0179", u"\u0142\u00F3d\u017A", 0, kNoCase, 1},
    {"Greek", u"\u0391\u0398\u0397\u039D\u0391", u"\u03B1\u03B8\u03B7\u03BD\u03B1", 0, kNoCase, 1},
    {"Greek final sigma", u"\u039F\u03A3", u"\u03BF\u03C2", 0, kNoCase, 1},
    {"Cyrillic", u"\u041C\u041E\u0421\u041A\u0412\u0410", u"\u043C\u043E\u0441\u043A\u0432\u0430", 0, kNoCase,
     1},
    {"Cyrillic with 0400-040F", u"\u0401\u0404", u"\u0451\u0454", 0, kNoCase, 1},
    {"exact mode keeps case for the same texts", u"\u00C9COLE", u"\u00E9cole", 0, kExact, 0},
    {"dotless i is its own letter", u"\u0131", u"i", 0, kNoCase, 0},
    {"no hit ignoring case", u"abc", u"abd", 0, kNoCase, 0},
};

TEST(FindTextTest, Table) {
  for (const FindCase& c : kFindCases) {
    EXPECT_EQ(FindText(c.text, c.pattern, c.start, c.mode), c.expected) << c.why;
  }
}

TEST(FindTextTest, DefaultModeIsExact) {
  EXPECT_EQ(FindText(u"ABC", u"abc", 0), 0);
  EXPECT_EQ(FindText(u"ABC", u"ABC", 0), 1);
}

// Every position found by the search is the first one that a plain position-by-position comparison finds.
TEST(FindTextTest, AgreesWithPlainSearchOnAllStarts) {
  const Text text = u"abaababaabaaabaabbabaaba" + Text(20, u'a') + u"abba";
  const Text patterns[] = {u"a", u"ab", u"aba", u"abaa", u"baab", u"abba", u"bb", u"aaaa"};
  for (const Text& pattern : patterns) {
    for (std::int64_t start = -1; start <= static_cast<std::int64_t>(text.size()) + 1; ++start) {
      const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
      std::int64_t expected = 0;
      for (std::size_t i = from; i + pattern.size() <= text.size() && from <= text.size(); ++i) {
        if (text.compare(i, pattern.size(), pattern) == 0) {
          expected = static_cast<std::int64_t>(i + 1);
          break;
        }
      }
      EXPECT_EQ(FindText(text, pattern, start), expected) << "start " << start;
    }
  }
}

TEST(TextEqualsTest, Table) {
  struct Case {
    const char* why;
    Text a;
    Text b;
    bool equal;
  } const cases[] = {
      {"both empty", u"", u"", true},
      {"same", u"Admin", u"Admin", true},
      {"case differs", u"Admin", u"admin", false},
      {"trailing blank", u"Admin ", u"Admin", false},
      {"leading blank", u" Admin", u"Admin", false},
      {"prefix", u"Adm", u"Admin", false},
      {"empty against text", u"", u"a", false},
      {"embedded zero counts", Text(u"a\0b", 3), Text(u"a\0c", 3), false},
      {"non-ASCII", u"\u00E9", u"\u00E9", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextEquals(c.a, c.b), c.equal) << c.why;
    EXPECT_EQ(TextEquals(c.b, c.a), c.equal) << c.why << " (swapped)";
  }
}

TEST(FoldCaseTest, Table) {
  struct Case {
    char16_t in;
    char16_t out;
  } const cases[] = {
      {u'A', u'a'},     {u'Z', u'z'},     {u'a', u'a'},     {u'@', u'@'},   {u'[', u'['},   {u'`', u'`'},
      {u'{', u'{'},     {0xC0, 0xE0},     {0xD6, 0xF6},     {0xD7, 0xD7},   {0xD8, 0xF8},   {0xDE, 0xFE},
      {0xDF, 0xDF},     {0xF7, 0xF7},     {0xFF, 0xFF},     {0xB5, 0x3BC},  {0x100, 0x101}, {0x101, 0x101},
      {0x12E, 0x12F},   {0x130, 0x130},   {0x131, 0x131},   {0x132, 0x133}, {0x136, 0x137}, {0x138, 0x138},
      {0x139, 0x13A},   {0x147, 0x148},   {0x148, 0x148},   {0x149, 0x149}, {0x14A, 0x14B}, {0x176, 0x177},
      {0x178, 0xFF},    {0x179, 0x17A},   {0x17D, 0x17E},   {0x17F, u's'},  {0x386, 0x3AC}, {0x388, 0x3AD},
      {0x38C, 0x3CC},   {0x38F, 0x3CE},   {0x391, 0x3B1},   {0x3A1, 0x3C1}, {0x3A2, 0x3A2}, {0x3A3, 0x3C3},
      {0x3AB, 0x3CB},   {0x3C2, 0x3C3},   {0x3B1, 0x3B1},   {0x3D0, 0x3B2}, {0x3D8, 0x3D9}, {0x3EE, 0x3EF},
      {0x3F4, 0x3B8},   {0x3FD, 0x37B},   {0x400, 0x450},   {0x40F, 0x45F}, {0x410, 0x430}, {0x42F, 0x44F},
      {0x430, 0x430},   {0x460, 0x461},   {0x480, 0x481},   {0x482, 0x482}, {0x48A, 0x48B}, {0x4C0, 0x4CF},
      {0x4C1, 0x4C2},   {0x4CD, 0x4CE},   {0x4D0, 0x4D1},   {0x52E, 0x52F}, {0x530, 0x530}, {0x4E00, 0x4E00},
      {0xD800, 0xD800}, {0xFFFD, 0xFFFD}, {0xFF21, 0xFF21},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(FoldCase(c.in)), static_cast<int>(c.out))
        << std::hex << static_cast<int>(c.in);
  }
}

// Folding is idempotent and a lower-case letter is its own folding, over the whole range covered.
TEST(FoldCaseTest, FoldedLettersStayFolded) {
  for (char32_t c = 0; c < 0x530; ++c) {
    const char16_t f = FoldCase(static_cast<char16_t>(c));
    EXPECT_EQ(FoldCase(f), f) << std::hex << static_cast<int>(c);
  }
}

}  // namespace
}  // namespace vw
