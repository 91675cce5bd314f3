#include "cli/squid_protocol.h"

#include <algorithm>

#include "files/file_names.h"

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

// Squid hands the URL over with its characters that RFC 1738 calls unsafe %-escaped, but every %
// as it was: an escape the client sent stays, and an invalid one passes as it is. A browser tests its URL
// with these characters as they are where it sends them so: ~ | ^ [ ] ' anywhere, and also ` { } \ in the
// query. Those escapes are undone; every other one stays, as in the address the browser tests (a space is
// %20, a non-ASCII character its UTF-8 bytes %-escaped).
void SquidUrlToAddress(std::string_view url, Text& address) {
  address.clear();
  bool in_query = false;
  for (std::size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 && HexValue(url[i + 2]) >= 0) {
      const char decoded = static_cast<char>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
      const std::string_view raw = in_query ? "~|^[]'`{}\\" : "~|^[]'";
      if (raw.find(decoded) != std::string_view::npos) {
        c = decoded;
        i += 2;
      }
    } else if (c == '?') {
      in_query = true;
    }
    address.push_back(static_cast<char16_t>(c));
  }
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

std::string_view JudgeSquidUrl(std::string_view url, const TrustIndex* index, Text& address,
                               std::vector<EntryRef>& approvals) {
  approvals.clear();
  if (url.empty()) return "empty request";
  if (std::any_of(url.begin(), url.end(), [](char c) { return c <= ' ' || c > '~'; })) {
    return "a control or non-ASCII byte that Squid sends %-escaped";
  }
  if (index == nullptr) return "no list could be read";
  SquidUrlToAddress(url, address);
  index->Verdict(address, approvals, LinkRule::kNetwork);
  return {};
}

void SquidJudge::Answer(std::string_view line, const SquidLists* lists, std::string& out) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::string_view channel = TakeChannel(line);
  AppendChannel(channel, out);
  const std::string_view url = NextToken(line);
  if (url.empty()) return AppendBh(channel.empty() ? "empty request" : "no URL after the channel ID", out);
  const std::string_view unusable =
      JudgeSquidUrl(url, lists == nullptr ? nullptr : lists->index.get(), address_, approvals_);
  if (!unusable.empty()) return AppendBh(unusable, out);
  if (approvals_.empty()) {
    out += "ERR\n";
    return;
  }
  // The first approving entry, as lint and test name a place: FILE:LINE:ENTRY.
  const EntryRef first = approvals_.front();
  const bool site = first.list == ListKind::kSites;
  value_ = TextToUtf8(site ? kSitesFile : kLinksFile);
  value_ += ':';
  value_ += std::to_string(first.index + 1);
  value_ += ':';
  AppendUtf8((site ? lists->folder.sites : lists->folder.links)[first.index], value_);
  out += "OK log=";
  AppendAnswerValue(value_, out);
  out += '\n';
}

void SquidJudge::AnswerTooLong(std::string_view channel, std::string& out) {
  AppendChannel(channel, out);
  AppendBh("request longer than " + std::to_string(kLongestRequest) + " bytes", out);
}

}  // namespace vw::cli
