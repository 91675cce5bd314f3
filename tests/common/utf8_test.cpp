// UTF-8 <-> UTF-16 conversion, malformed input included.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/text.h"

namespace vw {
namespace {

std::string Hex(std::string_view bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    out += ' ';
  }
  return out;
}

std::string Units(TextView text) {
  std::string out;
  for (char16_t c : text) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

constexpr char16_t R = 0xFFFD;

struct DecodeCase {
  const char* why;
  std::string bytes;
  Text text;
};

const DecodeCase kDecodeCases[] = {
    {"empty", "", u""},
    {"ASCII", "abc", u"abc"},
    {"zero byte is a character", std::string("a\0b", 3), Text(u"a\0b", 3)},
    {"DEL", "\x7F", u"\x7F"},
    {"smallest 2-byte", "\xC2\x80", u"\u0080"},
    {"largest 2-byte", "\xDF\xBF", u"\u07FF"},
    {"smallest 3-byte", "\xE0\xA0\x80", u"\u0800"},
    {"last before surrogates", "\xED\x9F\xBF", u"\uD7FF"},
    {"first after surrogates", "\xEE\x80\x80", u"\uE000"},
    {"byte-order mark is a character",
     "\xEF\xBB\xBF"
     "a",
     u"\uFEFFa"},
    {"largest 3-byte", "\xEF\xBF\xBF", u"\uFFFF"},
    {"smallest 4-byte", "\xF0\x90\x80\x80", u"\U00010000"},
    {"emoji", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"mixed", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", u"a\u00E9\u20AC\U0001F600z"},
    // Malformed: each maximal subpart is one U+FFFD.
    {"stray continuation", "\x80", Text{R}},
    {"two stray continuations", "\xBF\x80", Text{R, R}},
    {"C0 and C1 are never leads", "\xC0\xAF\xC1\xBF", Text{R, R, R, R}},
    {"overlong 3-byte", "\xE0\x80\xAF", Text{R, R, R}},
    {"overlong 3-byte, top", "\xE0\x9F\xBF", Text{R, R, R}},
    {"surrogate in UTF-8", "\xED\xA0\x80", Text{R, R, R}},
    {"overlong 4-byte", "\xF0\x8F\xBF\xBF", Text{R, R, R, R}},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", Text{R, R, R, R}},
    {"F5 lead", "\xF5\x80\x80\x80", Text{R, R, R, R}},
    {"F8 five-byte form", "\xF8\x88\x80\x80\x80", Text{R, R, R, R, R}},
    {"FE and FF", "\xFE\xFF", Text{R, R}},
    {"2-byte cut by the end", "\xC2", Text{R}},
    {"3-byte cut by the end", "a\xE2\x82", Text{u'a', R}},
    {"4-byte cut by the end", "\xF0\x9F\x98", Text{R}},
    {"3-byte cut by ASCII",
     "\xE2\x82"
     "A",
     Text{R, u'A'}},
    {"4-byte cut by ASCII",
     "\xF0\x9F"
     "A",
     Text{R, u'A'}},
    {"lead cut by a lead", "\xC2\xC3\xA9", Text{R, 0xE9}},
    {"3-byte cut by a 3-byte", "\xE1\x80\xE2\x82\xAC", Text{R, 0x20AC}},
    {"lead cut by CR LF", "c\xE9\r\nd", Text{u'c', R, u'\r', u'\n', u'd'}},
    {"Unicode's own example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     Text{u'a', R, R, R, u'b', R, u'c', R, R, u'd'}},
};

TEST(Utf8ToTextTest, Table) {
  for (const DecodeCase& c : kDecodeCases) {
    EXPECT_EQ(Units(Utf8ToText(c.bytes)), Units(c.text)) << c.why << ": " << Hex(c.bytes);
  }
}

struct EncodeCase {
  const char* why;
  Text text;
  std::string bytes;
};

const EncodeCase kEncodeCases[] = {
    {"empty", u"", ""},
    {"ASCII", u"abc", "abc"},
    {"zero unit", Text(u"\0", 1), std::string("\0", 1)},
    {"U+0080", u"\u0080", "\xC2\x80"},
    {"U+07FF", u"\u07FF", "\xDF\xBF"},
    {"U+0800", u"\u0800", "\xE0\xA0\x80"},
    {"e acute", u"\u00E9", "\xC3\xA9"},
    {"byte-order mark", u"\uFEFF", "\xEF\xBB\xBF"},
    {"U+FFFF", u"\uFFFF", "\xEF\xBF\xBF"},
    {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
    {"first supplementary", u"\U00010000", "\xF0\x90\x80\x80"},
    {"last code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    {"lone high surrogate at the end", Text{u'a', 0xD800}, "a\xEF\xBF\xBD"},
    {"lone high surrogate before ASCII", Text{0xD800, u'a'},
     "\xEF\xBF\xBD"
     "a"},
    {"lone low surrogate", Text{0xDC00}, "\xEF\xBF\xBD"},
    {"pair in the wrong order", Text{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"two highs then a low", Text{0xD800, 0xD800, 0xDC00}, "\xEF\xBF\xBD\xF0\x90\x80\x80"},
    {"two lows in a row", Text{0xDC00, 0xDFFF}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"a pair, then a high at the end", Text{0xDBFF, 0xDFFF, 0xDBFF}, "\xF4\x8F\xBF\xBF\xEF\xBF\xBD"},
};

TEST(TextToUtf8Test, Table) {
  for (const EncodeCase& c : kEncodeCases) {
    EXPECT_EQ(Hex(TextToUtf8(c.text)), Hex(c.bytes)) << c.why;
  }
}

TEST(TextToUtf8Test, AppendKeepsWhatIsThere) {
  std::string out = "x";
  AppendUtf8(u"\u00E9", out);
  EXPECT_EQ(Hex(out), Hex("x\xC3\xA9"));
}

// Every code point survives the trip through UTF-8, and its UTF-8 form is the one the standard gives.
TEST(Utf8RoundTripTest, EveryCodePoint) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    Text text;
    if (cp < 0x10000) {
      text.push_back(static_cast<char16_t>(cp));
    } else {
      text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    const std::string bytes = TextToUtf8(text);
    const std::size_t expected_length = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    ASSERT_EQ(bytes.size(), expected_length) << std::hex << static_cast<unsigned>(cp);
    ASSERT_EQ(Utf8ToText(bytes), text) << std::hex << static_cast<unsigned>(cp);
  }
}

}  // namespace
}  // namespace vw
