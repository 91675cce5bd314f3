// UTF-8 <-> UTF-16, the same on every platform.
//
// Decoding replaces each malformed sequence by one U+FFFD following the "maximal subpart" practice of the
// Unicode standard (chapter 3, U+FFFD substitution): the longest start of a well-formed sequence counts as
// one malformed sequence, and a byte that cannot start or continue anything is one on its own.
#include <cstddef>
#include <cstdint>

#include "common/text.h"

namespace vw {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

Text Utf8ToText(std::string_view utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  Text out(n, u'\0');  // never more units than bytes
  char16_t* o = out.data();
  std::size_t i = 0;
  while (i < n) {
    const unsigned b0 = s[i];
    if (b0 < 0x80) {
      *o++ = static_cast<char16_t>(b0);
      ++i;
      continue;
    }
    std::size_t need;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    std::uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      cp = b0 & 0x0Fu;
      if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
      if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      cp = b0 & 0x07u;
      if (b0 == 0xF0) lo = 0x90;  // no overlong forms
      if (b0 == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
    } else {
      // 80-BF without a lead, C0, C1, F5-FF: never part of a well-formed sequence.
      *o++ = kReplacement;
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    std::size_t taken = 0;
    while (taken < need && j < n && s[j] >= lo && s[j] <= hi) {
      cp = (cp << 6) | (s[j] & 0x3Fu);
      ++j;
      ++taken;
      lo = 0x80;
      hi = 0xBF;
    }
    i = j;
    if (taken < need) {
      *o++ = kReplacement;  // the lead and the continuations taken so far: one maximal subpart
    } else if (cp < 0x10000) {
      *o++ = static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string TextToUtf8(TextView text) {
  std::string out;
  AppendUtf8(text, out);
  return out;
}

void AppendUtf8(TextView text, std::string& out) {
  out.reserve(out.size() + text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
        ++i;
      } else {
        c = kReplacement;  // an unpaired surrogate has no UTF-8 form
      }
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace vw
