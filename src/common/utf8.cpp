// UTF-8 <-> UTF-16, the same on every platform. Decoding goes through DecodeUtf8 and replaces each malformed
// sequence (its maximal subpart) by one U+FFFD.
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
    if (s[i] < 0x80) {
      *o++ = static_cast<char16_t>(s[i++]);
      continue;
    }
    const Utf8Char c = DecodeUtf8(utf8, i);
    i += c.length;
    if (c.code == kNotUtf8) {
      *o++ = kReplacement;  // one maximal subpart
    } else if (c.code < 0x10000) {
      *o++ = static_cast<char16_t>(c.code);
    } else {
      const char32_t v = c.code - 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (v >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
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
