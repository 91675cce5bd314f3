// The link rule on lists filled directly: which entries approve an address, and from which list.
#include <gtest/gtest.h>

#include <vector>

#include "rules/link_rule.h"

namespace vw {
namespace {

struct Case {
  const char* name;
  std::vector<Text> sites;
  std::vector<Text> links;
  Text address;
  ApprovedBy by;
  std::vector<Text> entries;
};

TrustList ListOf(const std::vector<Text>& entries) {
  TrustList list;
  for (const Text& e : entries) list.Append(e);
  return list;
}

TEST(LinkRule, EveryApprovingSiteElseTheFirstApprovingLinkElseNothing) {
  const Text address = u"https://www.example.org/path/page.html";
  const ApprovedBy kSites = ApprovedBy::kSites, kLinks = ApprovedBy::kLinks, kNothing = ApprovedBy::kNothing;
  const Case cases[] = {
      {"both lists empty", {}, {}, address, kNothing, {}},
      {"empty address matches nothing", {u"example"}, {u"h"}, u"", kNothing, {}},
      {"empty entries never match", {u""}, {u""}, address, kNothing, {}},
      {"match at the start", {u"https://"}, {}, address, kSites, {u"https://"}},
      {"match in the middle", {u"example.org"}, {}, address, kSites, {u"example.org"}},
      {"match at the end", {u".html"}, {}, address, kSites, {u".html"}},
      {"the whole address", {address}, {}, address, kSites, {address}},
      {"longer than the address", {address + u"x"}, {}, address, kNothing, {}},
      {"letter case differs", {u"Example.org"}, {}, address, kNothing, {}},
      {"blank around the entry", {u" example.org"}, {}, address, kNothing, {}},
      {"three sites in file order, links not tried",
       {u"org", u"zzz", u"https", u"page"},
       {u"example"},
       address,
       kSites,
       {u"org", u"https", u"page"}},
      {"a site entry twice counts twice", {u"www", u"www"}, {}, address, kSites, {u"www", u"www"}},
      {"an entry found twice in the address counts once", {u"a"}, {}, u"banana", kSites, {u"a"}},
      {"no site: the first matching link only",
       {u"nothing"},
       {u"nope", u"/path/", u"example"},
       address,
       kLinks,
       {u"/path/"}},
      {"non-ASCII entries", {u"caf\u00e9"}, {}, u"https://caf\u00e9.example/", kSites, {u"caf\u00e9"}},
      {"one-unit entries", {u"z", u"w"}, {}, address, kSites, {u"w"}},
      {"a link that is the whole address", {}, {address}, address, kLinks, {address}},
      {"a link longer than the address", {}, {u"x" + address}, address, kNothing, {}},
      {"nothing is decoded", {u"a b"}, {}, u"https://x.example/a%20b", kNothing, {}},
  };
  for (const Case& c : cases) {
    const TrustList sites = ListOf(c.sites);
    const TrustList links = ListOf(c.links);
    const LinkApproval approval = ApproveLink(sites, links, c.address);
    EXPECT_EQ(approval.by, c.by) << c.name;
    EXPECT_EQ(std::vector<Text>(approval.entries.begin(), approval.entries.end()), c.entries) << c.name;
  }
}

}  // namespace
}  // namespace vw
