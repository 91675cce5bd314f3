// TextEquals, FoldCase and the link field's stand-ins.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/stand_ins.h"
#include "common/text.h"

namespace vw {
namespace {

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

// Every unit the link field shows is visible and reads back as what was put in: no line break, NUL or
// invisible separator is shown as itself, one unit stays one unit, and only a glyph that is itself a stand-in
// reads as another character.
TEST(FieldStandInsTest, EveryUnitIsShownVisiblyAndReadsBack) {
  const Text invisible = Text(u"\r\n") + u'\0' + u"\u2028\u2029\uFDD0\uFDD1\uFFFC";
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const Text real(1, static_cast<char16_t>(unit));
    const Text shown = FieldShown(real);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(invisible.find(shown[0]), Text::npos) << unit;
    const bool stand_in = FieldShown(FieldReal(real)) == real && FieldReal(real) != real;
    EXPECT_TRUE(FieldReal(shown) == real || stand_in) << unit;
  }
}

}  // namespace
}  // namespace vw
