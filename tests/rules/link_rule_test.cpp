// The link rule's one table of cases, asked of both of its engines: the editor's list walk and the
// companion's index. Which entries approve an address, and from which list.
#include "rules/link_rule.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "rules/trust_index.h"

namespace vw {
namespace {

enum class ApprovedBy { kNothing, kSites, kLinks };

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
  std::vector<EntryRef> approvals;
  for (const Case& c : cases) {
    const TrustList sites = ListOf(c.sites);
    const TrustList links = ListOf(c.links);
    const ListWalk walk(sites, links);
    const TrustIndex index(sites, links);
    for (const auto& [engine_name, engine] :
         {std::pair<const char*, const LinkRuleEngine*>{"list walk", &walk}, {"index", &index}}) {
      ApprovingEntries(*engine, c.address, approvals);
      std::vector<Text> texts;
      for (const EntryRef& entry : approvals) {
        const bool site = entry.list == ListKind::kSites;
        EXPECT_EQ(site ? kSites : kLinks, c.by) << c.name << ", " << engine_name;
        texts.emplace_back((site ? sites : links)[entry.index]);
      }
      EXPECT_EQ(texts, c.entries) << c.name << ", " << engine_name;
    }
  }
}

}  // namespace
}  // namespace vw
