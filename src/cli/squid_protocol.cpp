#include "cli/squid_protocol.h"

#include <algorithm>
#include <array>

namespace vw::cli {
namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view NextToken(std::string_view& rest) {
  const std::size_t begin = std::min(rest.find_first_not_of(' '), rest.size());
  const std::size_t end = std::min(rest.find(' ', begin), rest.size());
  const std::string_view token = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return token;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes that Squid's `%#` escaping never leaves as they are: controls, space, DEL, non-ASCII, and RFC
// 1738's unsafe characters (% stands for itself only before its escape, which is checked apart).
constexpr std::array<bool, 256> kSquidEscapes = [] {
  std::array<bool, 256> escaped{};
  for (int byte = 0; byte < 256; ++byte) escaped[byte] = byte <= ' ' || byte >= 0x7F;
  for (const char c : std::string_view("\"#<>{}|\\^~[]`'")) escaped[static_cast<unsigned char>(c)] = true;
  return escaped;
}();

void AppendChannel(std::string_view channel, std::string& out) {
  if (channel.empty()) return;
  out += channel;
  out += ' ';
}

void AppendBh(std::string_view reason, std::string& out) {
  out += "BH message=";
  AppendAnswerValue(reason, out);
  out += '\n';
}

}  // namespace

std::string_view TakeChannel(std::string_view& rest) {
  std::string_view after = rest;
  const std::string_view first = NextToken(after);
  if (!IsDigits(first)) return {};
  rest = after;
  return first;
}

std::string_view SquidUrlToAddress(std::string_view value, Text& address) {
  address.clear();
  bool ascii = true;
  for (std::size_t i = 0; i < value.size(); ++i) {
    auto byte = static_cast<unsigned char>(value[i]);
    if (kSquidEscapes[byte]) return "a byte that Squid sends %-escaped: use %#>ru";
    if (byte == '%') {
      const int high = i + 2 < value.size() ? HexValue(value[i + 1]) : -1;
      const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
      if (low < 0) return "a % that Squid sends as %25: use %#>ru";
      byte = static_cast<unsigned char>(high * 16 + low);
      i += 2;
      if (byte < ' ' || byte == 0x7F) return "a control character in the URL";
      ascii = ascii && byte < 0x80;
    }
    address.push_back(static_cast<char16_t>(byte));
  }
  if (ascii) return {};
  // Non-ASCII bytes, held one to a unit above: read them again as UTF-8.
  std::string bytes;
  bytes.reserve(address.size());
  for (const char16_t unit : address) bytes.push_back(static_cast<char>(unit));
  address = Utf8ToText(bytes);
  if (address.find(u'\uFFFD') != Text::npos) return "a URL that is not UTF-8";
  return {};
}

void AppendAnswerValue(std::string_view value, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= 'A' && byte <= 'Z') ||
                       std::string_view("-._~:/?=&@!$()*+,;").find(c) != std::string_view::npos;
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
}

std::string_view JudgeSquidAddress(TextView address, const TrustIndex* index,
                                   std::vector<EntryRef>& approvals) {
  approvals.clear();
  // What SquidUrlToAddress refuses in a client's URL, for an address given as it is.
  if (std::any_of(address.begin(), address.end(), [](char16_t c) { return c < u' ' || c == 0x7F; })) {
    return "a control character in the URL";
  }
  if (address.find(u'\uFFFD') != TextView::npos) return "a URL that is not UTF-8";
  if (index == nullptr) return "no list could be read";
  index->Verdict(address, approvals, LinkRule::kNetwork);
  return {};
}

void SquidJudge::Answer(std::string_view line, const SquidLists* lists, std::string& out) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::string_view channel = TakeChannel(line);
  AppendChannel(channel, out);
  const std::string_view url = NextToken(line);
  if (url.empty()) return AppendBh(channel.empty() ? "empty request" : "no URL after the channel ID", out);
  const std::string_view fault = SquidUrlToAddress(url, address_);
  if (!fault.empty()) return AppendBh(fault, out);
  const std::string_view unusable =
      JudgeSquidAddress(address_, lists == nullptr ? nullptr : lists->index.get(), approvals_);
  if (!unusable.empty()) return AppendBh(unusable, out);
  if (approvals_.empty()) {
    out += "ERR\n";
    return;
  }
  // The first approving entry, as lint and test name a place: FILE:LINE:ENTRY.
  const EntryRef first = approvals_.front();
  value_ = TextToUtf8(RowOf(first.list).file);
  value_ += ':';
  value_ += std::to_string(first.index + 1);
  value_ += ':';
  AppendUtf8(lists->folder.entries[ListNo(first.list)][first.index], value_);
  out += "OK log=";
  AppendAnswerValue(value_, out);
  out += '\n';
}

void SquidJudge::AnswerTooLong(std::string_view channel, std::string& out) {
  AppendChannel(channel, out);
  AppendBh("request longer than " + std::to_string(kLongestRequest) + " bytes", out);
}

}  // namespace vw::cli
