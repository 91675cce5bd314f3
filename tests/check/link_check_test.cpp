// The match rule and the order of the boxes, with the lists filled directly.
#include <gtest/gtest.h>

#include <vector>

#include "app/program_state.h"
#include "check/link_check.h"
#include "platform/headless/headless_platform.h"

namespace vw {
namespace {

using Shown = HeadlessPlatform::Shown;

Shown Found(const Text& entry) {
  return {Shown::Kind::kMessage, u"This Link Found", entry + u"\r\n\r\nThis is a Safe Link !"};
}

Shown NotApproved(const Text& address) {
  return {Shown::Kind::kMessage, u"Site Not Approved",
          address +
              u"\r\n\r\nThis Site Not yet Approved.\r\n\r\nNAVIGATION CANCELLED .\r\n\r\nPlease make a "
              u"Request to "
              u"System Administrator ."};
}

struct Case {
  const char* name;
  std::vector<Text> sites;
  std::vector<Text> links;
  Text address;
  std::vector<Shown> expected;
};

TEST(LinkCheck, ShowsEveryMatchingSiteElseTheFirstMatchingLinkElseNotApproved) {
  const Text address = u"https://www.example.org/path/page.html";
  const Case cases[] = {
      {"both lists empty", {}, {}, address, {NotApproved(address)}},
      {"empty address matches nothing", {u"example"}, {u"h"}, u"", {NotApproved(u"")}},
      {"empty entries never match", {u""}, {u""}, address, {NotApproved(address)}},
      {"match at the start", {u"https://"}, {}, address, {Found(u"https://")}},
      {"match in the middle", {u"example.org"}, {}, address, {Found(u"example.org")}},
      {"match at the end", {u".html"}, {}, address, {Found(u".html")}},
      {"the whole address", {address}, {}, address, {Found(address)}},
      {"longer than the address", {address + u"x"}, {}, address, {NotApproved(address)}},
      {"letter case differs", {u"Example.org"}, {}, address, {NotApproved(address)}},
      {"blank around the entry", {u" example.org"}, {}, address, {NotApproved(address)}},
      {"three sites in file order, links not tried",
       {u"org", u"zzz", u"https", u"page"},
       {u"example"},
       address,
       {Found(u"org"), Found(u"https"), Found(u"page")}},
      {"a site entry twice gives two boxes", {u"www", u"www"}, {}, address, {Found(u"www"), Found(u"www")}},
      {"an entry found twice in the address gives one box", {u"a"}, {}, u"banana", {Found(u"a")}},
      {"no site: the first matching link only",
       {u"nothing"},
       {u"nope", u"/path/", u"example"},
       address,
       {Found(u"/path/")}},
      {"non-ASCII entries", {u"caf\u00e9"}, {}, u"https://caf\u00e9.example/", {Found(u"caf\u00e9")}},
  };
  for (const Case& c : cases) {
    HeadlessPlatform desk;
    ProgramScope scope(desk);
    ProgramState& s = scope.state();
    for (const Text& e : c.sites) s.SafeSitesList.Append(e);
    for (const Text& e : c.links) s.SafeLinksList.Append(e);
    s.LinkUnderTest = c.address;
    s.FoundInSites = 1;  // left over from an earlier test: each walk starts afresh
    s.FoundInLinks = 1;
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      desk.Then("close the box", [](HeadlessPlatform& d) { d.UserDismissMessageBox(); });
    }
    CheckLinkInSites();
    EXPECT_EQ(desk.Transcript(), c.expected) << c.name;
    EXPECT_TRUE(desk.ScriptDone()) << c.name;
    EXPECT_EQ(s.LinkUnderTest, c.address) << c.name;
  }
}

}  // namespace
}  // namespace vw
