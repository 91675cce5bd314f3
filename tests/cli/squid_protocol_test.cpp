// The squid helper's protocol in-process: one request line in, one answer out, given fixed lists.
#include "cli/squid_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace vw::cli {
namespace {

struct Row {
  std::string line;  // a request line without its LF
  std::string answer;
  bool lists = true;  // false: while no list could be read
};

TEST(SquidProtocolTest, AnswersEachRequestLine) {
  SquidLists lists;
  for (const char* entry : {"example.org", "news.example.org", "wiki.test/~alice/", "\xC3\xA9.test"}) {
    lists.folder.entries[ListNo(ListKind::kSites)].Append(Utf8ToText(entry));
  }
  for (const char* entry : {"links.example.net/", "q=`{a}`", "%20%22a%20b%22%"}) {
    lists.folder.entries[ListNo(ListKind::kLinks)].Append(Utf8ToText(entry));
  }
  lists.index = std::make_unique<TrustIndex>(lists.folder.Lists());
  const Row rows[] = {
      // Channel IDs echoed; the first approving entry logged, sites before links; a CR before the LF ignored.
      {"0 http://news.example.org/a -", "0 OK log=TrustFile_SafeSites.txt:1:example.org\n"},
      {"1 http://other.test/ -", "1 ERR\n"},
      {"12 http://links.example.net/x -\r", "12 OK log=TrustFile_SafeLinks.txt:1:links.example.net/\n"},
      // Without concurrency.
      {"http://example.org/", "OK log=TrustFile_SafeSites.txt:1:example.org\n"},
      {"http://other.test/", "ERR\n"},
      // Squid's one layer of %-escapes (`%#>ru`) undone, and no more: the client's own %7E stays %7E, its raw
      // ` { } stay raw wherever they are; the entry logged is escaped; non-ASCII read as UTF-8.
      {"0 http://wiki.test/%7Ealice/x", "0 OK log=TrustFile_SafeSites.txt:3:wiki.test/~alice/\n"},
      {"1 http://wiki.test/%257Ealice/", "1 ERR\n"},
      {"2 http://x.test/?q=%60%7Ba%7D%60", "2 OK log=TrustFile_SafeLinks.txt:2:q=%60%7Ba%7D%60\n"},
      {"3 http://x.test/q%3D%60%7Ba%7D%60", "3 OK log=TrustFile_SafeLinks.txt:2:q=%60%7Ba%7D%60\n"},
      {"4 http://x.test/%2520%2522a%2520b%2522%25zz",
       "4 OK log=TrustFile_SafeLinks.txt:3:%2520%2522a%2520b%2522%25\n"},
      {"13 http://%C3%A9.test/", "13 OK log=TrustFile_SafeSites.txt:4:%C3%A9.test\n"},
      // A CONNECT's host:port is judged as https://host/: an entry with a path never approves it.
      {"5 news.example.org:443 -", "5 OK log=TrustFile_SafeSites.txt:1:example.org\n"},
      {"6 links.example.net:443 -", "6 OK log=TrustFile_SafeLinks.txt:1:links.example.net/\n"},
      {"6 wiki.test:443 -", "6 ERR\n"},
      // Lines that cannot be judged: BH with the reason.
      {"", "BH message=empty%20request\n"},
      {"7", "7 BH message=no%20URL%20after%20the%20channel%20ID\n"},
      {"8 http://example.org/\xC3\xA9",
       "8 BH message=a%20byte%20that%20Squid%20sends%20%25-escaped:%20use%20%25%23%3Eru\n"},
      {"9 http://example.org/\x7F",
       "9 BH message=a%20byte%20that%20Squid%20sends%20%25-escaped:%20use%20%25%23%3Eru\n"},
      {"9 http://example.org/~a",
       "9 BH message=a%20byte%20that%20Squid%20sends%20%25-escaped:%20use%20%25%23%3Eru\n"},
      {"\xFF\xFE", "BH message=a%20byte%20that%20Squid%20sends%20%25-escaped:%20use%20%25%23%3Eru\n"},
      {"14 http://example.org/%zz",
       "14 BH message=a%20%25%20that%20Squid%20sends%20as%20%2525:%20use%20%25%23%3Eru\n"},
      {"15 http://example.org/%2",
       "15 BH message=a%20%25%20that%20Squid%20sends%20as%20%2525:%20use%20%25%23%3Eru\n"},
      {"16 http://example.org/%0A", "16 BH message=a%20control%20character%20in%20the%20URL\n"},
      {"17 http://example.org/%7F", "17 BH message=a%20control%20character%20in%20the%20URL\n"},
      {"18 http://example.org/%C3", "18 BH message=a%20URL%20that%20is%20not%20UTF-8\n"},
      {"10 http://example.org/", "10 BH message=no%20list%20could%20be%20read\n", false},
  };
  SquidJudge judge;
  for (const Row& row : rows) {
    std::string out = "kept|";
    judge.Answer(row.line, row.lists ? &lists : nullptr, out);
    EXPECT_EQ(out, "kept|" + row.answer) << ::testing::PrintToString(row.line);
  }
}

}  // namespace
}  // namespace vw::cli
