// "Test This Link": every site entry found inside the address gets its box, in file order; only when none is
// found, the first link entry found gets one; otherwise "Site Not Approved". The lists are those loaded at
// start.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "app/program_fixture.h"

namespace vw::testing {
namespace {

struct LinkCase {
  const char* name;
  std::optional<std::string> sites;  // the files as found; nullopt: missing
  std::optional<std::string> links;
  Text address;   // typed into the link field
  Dialogs boxes;  // what the test shows, in order
  friend void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }
};

class LinkTest : public ::testing::TestWithParam<LinkCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(LinkTest, ShowsOneBoxPerFinding) {
  const LinkCase& c = GetParam();
  folder_.Put({.sites = c.sites, .links = c.links});
  const ListFiles loaded = {c.sites, c.links, c.sites, c.links};
  Dialogs at_start = {PasswordPrompt()};
  if (!c.sites) at_start.push_back(SitesFileMissing());
  if (!c.links) at_start.push_back(LinksFileMissing());

  Session run;
  run.user()
      .Answers(folder_.Password())
      .ClicksOk(static_cast<int>(at_start.size()) - 1)
      .EntersLink(c.address)
      .PressesTestThisLink()
      .ClicksOk(static_cast<int>(c.boxes.size()))
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), at_start + c.boxes);
  EXPECT_EQ(folder_.Files(), loaded);         // a test writes nothing
  EXPECT_EQ(run.LinkFieldText(), c.address);  // and leaves the field as it was
}

const Text kAddress = u"https://www.example.com/index.html";

INSTANTIATE_TEST_SUITE_P(
    Program, LinkTest,
    ::testing::Values(
        LinkCase{"ThreeSitesFoundInFileOrderLinksNotTried",
                 "example.com\nnothing.here\nhttps://\n\nwww.\n",
                 "www.example.com\n",
                 kAddress,
                 {LinkFound(u"example.com"), LinkFound(u"https://"), LinkFound(u"www.")}},
        LinkCase{"FirstLinkInFileOrderOnly",
                 "other.example\n",
                 "nothing\n/index.html\nwww.example.com\n",
                 kAddress,
                 {LinkFound(u"/index.html")}},
        LinkCase{"NothingFound",
                 "other.example\n",
                 "https://other.example/\n",
                 kAddress,
                 {SiteNotApproved(kAddress)}},
        LinkCase{"EmptyLinkField", "a\n", "b\n", u"", {SiteNotApproved(u"")}},
        LinkCase{"SiteTwiceInTheFileTwoBoxes",
                 "example.com\nexample.com\n",
                 "",
                 kAddress,
                 {LinkFound(u"example.com"), LinkFound(u"example.com")}},
        LinkCase{"EmptyEntriesNeverMatch", "\n\n", "\r\n", kAddress, {SiteNotApproved(kAddress)}},
        LinkCase{"BothFilesMissing", std::nullopt, std::nullopt, kAddress, {SiteNotApproved(kAddress)}},
        LinkCase{"SitesFileMissingLinkFound", std::nullopt, "example\n", kAddress, {LinkFound(u"example")}},
        LinkCase{"NonAsciiEntry",
                 "b\xC3\xBC"
                 "cher\n",
                 "",
                 u"https://b\u00FCcher.example/",
                 {LinkFound(u"b\u00FCcher")}},
        LinkCase{"BlanksInTheAddressAreKept",
                 "",
                 "example.com\n",
                 u"  example.com  ",
                 {LinkFound(u"example.com")}}),
    [](const ::testing::TestParamInfo<LinkCase>& tested) { return std::string(tested.param.name); });

// The test uses the lists as loaded at start. Edits, saved or not, take effect at the next start.
TEST(LinkTestUsesTheListsAsLoaded, EditsCountFromTheNextStart) {
  ListsFolder folder;
  folder.Put({.sites = "alpha.example\nbeta.example\n", .links = ""});
  const Text alpha = u"https://alpha.example/";
  const Text gamma = u"https://gamma.example/";
  {
    Session run;
    run.user()
        .Answers(folder.Password())
        .EmptiesEditor(Editor::kSites)
        .TypesInto(Editor::kSites, u"beta.example\ngamma.example")
        .EntersLink(gamma)
        .PressesTestThisLink()
        .ClicksOk()
        .PressesSaveAllFiles()
        .ClicksOk()
        .EntersLink(alpha)
        .PressesTestThisLink()
        .ClicksOk()
        .EntersLink(gamma)
        .PressesTestThisLink()
        .ClicksOk()
        .ClosesTheWindow();
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), SiteNotApproved(gamma), FilesSaved(),
                                         LinkFound(u"alpha.example"), SiteNotApproved(gamma)}));
    EXPECT_EQ(folder.Read(kSitesFile), "beta.example\r\ngamma.example\r\n");
  }
  Session next;
  next.user()
      .Answers(folder.Password())
      .EntersLink(alpha)
      .PressesTestThisLink()
      .ClicksOk()
      .EntersLink(gamma)
      .PressesTestThisLink()
      .ClicksOk()
      .ClosesTheWindow();
  EXPECT_EQ(next.Run(), 0);
  EXPECT_EQ(next.Transcript(),
            (Dialogs{PasswordPrompt(), SiteNotApproved(alpha), LinkFound(u"gamma.example")}));
}

}  // namespace
}  // namespace vw::testing
