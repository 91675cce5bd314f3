// Searching and comparing texts.
#include "common/text.h"

#include <algorithm>
#include <cstddef>

namespace vw {
namespace {

// Pairs laid out upper, lower, upper, lower... starting at an even (or odd) unit.
constexpr char16_t FoldEvenUpper(char16_t c) {
  return (c & 1u) == 0 ? static_cast<char16_t>(c + 1) : c;
}
constexpr char16_t FoldOddUpper(char16_t c) {
  return (c & 1u) != 0 ? static_cast<char16_t>(c + 1) : c;
}

char16_t FoldLatin(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if (c < 0x100) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    if (c == 0xB5) return 0x3BC;  // micro sign folds to Greek small mu
    return c;
  }
  // Latin Extended-A (0100-017F).
  if (c <= 0x12F) return FoldEvenUpper(c);
  if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;  // no one-unit folding
  if (c <= 0x137) return FoldEvenUpper(c);
  if (c <= 0x148) return FoldOddUpper(c);
  if (c <= 0x177) return FoldEvenUpper(c);
  if (c == 0x178) return 0xFF;
  if (c <= 0x17E) return FoldOddUpper(c);
  return u's';  // 017F long s
}

char16_t FoldGreek(char16_t c) {
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x3D8 && c <= 0x3EF) return FoldEvenUpper(c);
  switch (c) {
    case 0x345:
      return 0x3B9;
    case 0x370:
      return 0x371;
    case 0x372:
      return 0x373;
    case 0x376:
      return 0x377;
    case 0x37F:
      return 0x3F3;
    case 0x386:
      return 0x3AC;
    case 0x388:
      return 0x3AD;
    case 0x389:
      return 0x3AE;
    case 0x38A:
      return 0x3AF;
    case 0x38C:
      return 0x3CC;
    case 0x38E:
      return 0x3CD;
    case 0x38F:
      return 0x3CE;
    case 0x3C2:
      return 0x3C3;  // final sigma
    case 0x3CF:
      return 0x3D7;
    case 0x3D0:
      return 0x3B2;
    case 0x3D1:
      return 0x3B8;
    case 0x3D5:
      return 0x3C6;
    case 0x3D6:
      return 0x3C0;
    case 0x3F0:
      return 0x3BA;
    case 0x3F1:
      return 0x3C1;
    case 0x3F4:
      return 0x3B8;
    case 0x3F5:
      return 0x3B5;
    case 0x3F7:
      return 0x3F8;
    case 0x3F9:
      return 0x3F2;
    case 0x3FA:
      return 0x3FB;
    case 0x3FD:
      return 0x37B;
    case 0x3FE:
      return 0x37C;
    case 0x3FF:
      return 0x37D;
    default:
      return c;
  }
}

char16_t FoldCyrillic(char16_t c) {
  if (c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x460 && c <= 0x481) return FoldEvenUpper(c);
  if (c >= 0x48A && c <= 0x4BF) return FoldEvenUpper(c);
  if (c == 0x4C0) return 0x4CF;
  if (c >= 0x4C1 && c <= 0x4CE) return FoldOddUpper(c);
  if (c >= 0x4D0 && c <= 0x52F) return FoldEvenUpper(c);
  return c;
}

// Exact search from index `from` (text and pattern not empty, pattern fits in what is left).
std::int64_t FindExact(TextView text, TextView pattern, std::size_t from) {
  const std::size_t m = pattern.size();
  const std::size_t last_start = text.size() - m;
  const char16_t* t = text.data();
  const char16_t* p = pattern.data();
  const char16_t first = p[0];
  const char16_t last = p[m - 1];
  // The first and the last unit are tested before this is asked; it compares what lies between them.
  auto matches_at = [&](std::size_t i) { return m <= 2 || std::equal(p + 1, p + m - 1, t + i + 1); };
  std::size_t i = from;
  // Test the first and the last unit of the pattern at a block of positions at once; the compiler turns this
  // branch-free inner loop into vector compares, which keeps the usual no-hit case cheap.
  constexpr std::size_t kBlock = 16;
  while (last_start - i + 1 >= kBlock) {
    unsigned hits = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
      hits |= static_cast<unsigned>((t[i + k] == first) & (t[i + k + m - 1] == last)) << k;
    }
    while (hits != 0) {
      std::size_t k = 0;
      while (((hits >> k) & 1u) == 0) ++k;
      if (matches_at(i + k)) return static_cast<std::int64_t>(i + k + 1);
      hits &= ~(1u << k);
    }
    i += kBlock;
  }
  for (; i <= last_start; ++i) {
    if (t[i] == first && t[i + m - 1] == last && matches_at(i)) return static_cast<std::int64_t>(i + 1);
  }
  return 0;
}

std::int64_t FindIgnoringCase(TextView text, TextView pattern, std::size_t from) {
  const std::size_t m = pattern.size();
  const std::size_t last_start = text.size() - m;
  Text folded(pattern);
  for (char16_t& c : folded) c = FoldCase(c);
  for (std::size_t i = from; i <= last_start; ++i) {
    std::size_t k = 0;
    while (k < m && FoldCase(text[i + k]) == folded[k]) ++k;
    if (k == m) return static_cast<std::int64_t>(i + 1);
  }
  return 0;
}

}  // namespace

char16_t FoldCase(char16_t c) {
  if (c < 0x180) return FoldLatin(c);
  if (c >= 0x345 && c <= 0x3FF) return FoldGreek(c);
  if (c >= 0x400 && c <= 0x52F) return FoldCyrillic(c);
  return c;
}

std::int64_t FindText(TextView text, TextView pattern, std::int64_t start, FindMode mode) {
  if (text.empty() || pattern.empty()) return 0;
  const auto length = static_cast<std::int64_t>(text.size());
  if (start > length) return 0;
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (pattern.size() > text.size() - from) return 0;
  return mode == FindMode::kExact ? FindExact(text, pattern, from) : FindIgnoringCase(text, pattern, from);
}

bool TextEquals(TextView a, TextView b) {
  return a == b;
}

}  // namespace vw
