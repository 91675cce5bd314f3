#include "ui/box_text.h"

#include <algorithm>
#include <string>

namespace vw {
namespace {

// True when a cut just before `at` would split a surrogate pair.
bool SplitsPair(TextView line, std::size_t at) {
  return at > 0 && at < line.size() && IsHighSurrogate(line[at - 1]) && IsLowSurrogate(line[at]);
}

// Appends `line` in rows of at most kBoxRowUnits units joined by "\r\n"; an empty line is one empty row.
void AppendRows(TextView line, Text& out) {
  std::size_t at = 0;
  do {
    std::size_t end = std::min(line.size(), at + kBoxRowUnits);
    if (SplitsPair(line, end)) --end;  // the pair starts the next row
    if (at != 0) out += u"\r\n";
    out.append(line.substr(at, end - at));
    at = end;
  } while (at < line.size());
}

// Characters (code points) in `part`: a surrogate pair counts once, a lone surrogate once.
std::size_t CharacterCount(TextView part) {
  std::size_t count = part.size();
  for (std::size_t i = 1; i < part.size(); ++i) {
    if (IsHighSurrogate(part[i - 1]) && IsLowSurrogate(part[i])) --count;
  }
  return count;
}

// 997000 -> "997,000".
Text Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  Text out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += u',';
    out += static_cast<char16_t>(digits[i]);
  }
  return out;
}

void AppendLine(TextView line, Text& out) {
  if (line.size() <= kBoxLineBound) return AppendRows(line, out);
  std::size_t head = kBoxLineBound / 2;
  if (SplitsPair(line, head)) --head;
  std::size_t tail = line.size() - kBoxLineBound / 2;
  if (SplitsPair(line, tail)) ++tail;
  std::size_t left_out = CharacterCount(line.substr(head, tail - head));
  AppendRows(line.substr(0, head), out);
  out += u"\r\n\u2026 ";
  out += Grouped(left_out);
  out += left_out == 1 ? u" character left out \u2026\r\n" : u" characters left out \u2026\r\n";
  AppendRows(line.substr(tail), out);
}

}  // namespace

Text BoxShownText(TextView text) {
  Text out;
  out.reserve(std::min(text.size(), 4 * kBoxLineBound) + text.size() / kBoxRowUnits * 2 + 16);
  std::size_t begin = 0;
  while (true) {
    std::size_t end = text.find_first_of(u"\r\n", begin);
    AppendLine(text.substr(begin, end == TextView::npos ? TextView::npos : end - begin), out);
    if (end == TextView::npos) break;
    out += u"\r\n";
    bool crlf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
    begin = end + (crlf ? 2 : 1);
  }
  return out;
}

}  // namespace vw
