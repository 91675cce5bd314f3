// Comparing texts.
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

}  // namespace

char16_t FoldCase(char16_t c) {
  if (c < 0x180) return FoldLatin(c);
  if (c >= 0x345 && c <= 0x3FF) return FoldGreek(c);
  if (c >= 0x400 && c <= 0x52F) return FoldCyrillic(c);
  return c;
}

bool TextEquals(TextView a, TextView b) {
  return a == b;
}

}  // namespace vw
