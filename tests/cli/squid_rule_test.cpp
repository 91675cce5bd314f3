// The helper and `veraway-check test --as squid` agree on every URL: random lists of anchored and unanchored
// entries, random URLs as Squid hands them (smuggling forms, user names, ports, CONNECT host:port, upper
// case, Squid's escapes, bytes it sends %-escaped; never a blank, which ends
// the URL on a request line), each answered by the helper's protocol and judged as `test`
// does.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cli/command_parts.h"
#include "cli/squid_protocol.h"
#include "files/file_names.h"

namespace vw::cli {
namespace {

template <std::size_t N>
std::string Pick(std::mt19937& random, const char* const (&pieces)[N]) {
  return pieces[random() % N];
}

// What Squid writes for %#>ru: every %, blank, control, non-ASCII byte and " # < > { } | \ ^ ~ [ ] ` '
// %-escaped.
std::string SquidEscaped(const std::string& url) {
  std::string out;
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F ||
        std::string_view("%\"#<>{}|\\^~[]`'").find(c) != std::string_view::npos) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string RandomUrl(std::mt19937& random) {
  static constexpr const char* kSchemes[] = {"http://", "https://", "HTTP://", "ftp://", "", "://"};
  static constexpr const char* kUsers[] = {"", "", "me@", "example.org@", "a.example.org:1@"};
  static constexpr const char* kHosts[] = {"example.org", "a.example.org",         "EXAMPLE.org",
                                           "[::1]",       "example.org.evil.test", "evil-example.org",
                                           "evil.test"};
  static constexpr const char* kPorts[] = {"", "", ":443", ":8080", ":3195"};
  static constexpr const char* kRests[] = {
      "",      "/",         "/~a/",    "/%7Ea/",    "?u=https://example.org/", "/.example.org/",
      "#x",    "?q=%60%7B", "/%C3%A9", "/\xC3\xA9", "/example.org:8080/",      "/a b",
      "/\x01", "/\xFF",     "/%",      "/~a/"};
  std::string url;
  if (random() % 4 == 0) {  // a CONNECT
    url = Pick(random, kHosts) + ":" + std::to_string(random() % 2 == 0 ? 443 : random() % 70000);
  } else {
    url = Pick(random, kSchemes) + Pick(random, kUsers) + Pick(random, kHosts) + Pick(random, kPorts);
  }
  for (auto n = random() % 3; n > 0; --n) url += Pick(random, kRests);
  return url;
}

TrustList RandomList(std::mt19937& random) {
  // Entries between the bars.
  static const std::string kEntries =
      "://example.org/|.example.org/|example.org|https://example.org/|/~a/|~a|://[::1]/|.example.org:8080/|"
      "example.org/|`{|%7E|://EXAMPLE.org/|s://example.org|evil|https://example.org:8080/|?u=|a b|\xC3\xA9|%";
  static const std::vector<std::string> entries = [] {
    std::vector<std::string> out(1);
    for (const char c : kEntries) {
      if (c == '|') {
        out.emplace_back();
      } else {
        out.back().push_back(c);
      }
    }
    return out;
  }();
  TrustList list;
  for (auto n = random() % 6; n > 0; --n) list.Append(Utf8ToText(entries[random() % entries.size()]));
  return list;
}

TEST(SquidRuleTest, TheHelperAnswersWhatTestAsSquidSays) {
  std::mt19937 random(25);
  SquidJudge helper;
  std::vector<EntryRef> approvals;
  std::size_t approved = 0;
  for (int round = 0; round < 200; ++round) {
    SquidLists lists;
    lists.folder.entries[ListNo(ListKind::kSites)] = RandomList(random);
    lists.folder.entries[ListNo(ListKind::kLinks)] = RandomList(random);
    lists.index = std::make_unique<TrustIndex>(lists.folder.Lists());
    AddressJudge test(*lists.index, true);
    for (int i = 0; i < 20; ++i) {
      const std::string url = RandomUrl(random);
      std::string answer;
      helper.Answer("7 " + SquidEscaped(url), &lists, answer);
      // What `test --as squid -f jsonl` writes, read back as the helper's answer.
      test.Judge(url, approvals);
      std::string line;
      AppendTestVerdict(lists.folder, url, approvals, test.unusable(), Format::kJsonl, line);
      const Json verdict = Json::parse(line);
      std::string expected = "7 ";
      if (verdict.contains("unusable")) {
        expected += "BH message=";
        AppendAnswerValue(verdict["unusable"].get<std::string>(), expected);
      } else if (verdict["approved"].get<bool>()) {
        ++approved;
        const Json& first = verdict["by"][0];
        expected += "OK log=";
        AppendAnswerValue(TextToUtf8(first["list"] == "sites" ? kSitesFile : kLinksFile) + ":" +
                              std::to_string(first["line"].get<int>()) + ":" +
                              first["entry"].get<std::string>(),
                          expected);
      } else {
        expected += "ERR";
      }
      ASSERT_EQ(answer, expected + "\n") << url << " (round " << round << ")";
    }
  }
  EXPECT_GT(approved, 400u);  // the lists approve a fair share of the URLs, so agreeing is no accident
}

}  // namespace
}  // namespace vw::cli
