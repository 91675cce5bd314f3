// Every lint rule once: the lists of a row give exactly its findings ("S" sites, "L" links, then the line).
#include "rules/list_lint.h"

#include <gtest/gtest.h>

#ifdef VW_HAVE_LIBPSL
#include <idn2.h>
#endif

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

namespace vw {
namespace {

struct LintRow {
  std::vector<std::u16string> sites;
  std::vector<std::u16string> links;
  std::vector<std::string> findings;  // "S2 duplicate S1": where, rule, and the entry it names
};

// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "S" + std::string.
void AppendWhere(EntryRef entry, std::string& out) {
  out += entry.list == ListKind::kSites ? 'S' : 'L';
  out += std::to_string(entry.index + 1);
}

TEST(ListLintTest, EachRuleFindsWhatItNames) {
  const std::vector<LintRow> rows = {
      {{u"\uFEFF.example.org/", u".other.org/"}, {}, {"S1 bom"}},
      {{u" .example.org/", u".example.net/\t"}, {}, {"S1 whitespace", "S2 whitespace"}},
      {{u".example.org/", u""}, {}, {"S2 empty"}},
      {{u".example.org/"}, {u"co.uk"}, {"L1 suffix"}},  // a link judged apart from the site at its index
      {{u".example.org/"}, {u".example.net/", u".example.org/"}, {"L2 duplicate S1"}},
      {{u"www.example.org/a", u".example.net/"}, {u".example.org/"}, {"S1 redundant L1"}},
      {{u"https://", u"index", u".html", u"://example.com/x"}, {}, {"S1 broad", "S2 broad", "S3 broad"}},
      // The sites an administrator meant: every host entry open at one end says so; none makes another
      // redundant, since each shorter one is itself too wide.
      {{u"t.co", u"x.com", u"box.com", u"microsoft.com", u"dropbox.com"},
       {},
       {"S1 broad", "S1 unanchored", "S2 unanchored", "S3 unanchored", "S4 unanchored", "S5 unanchored"}},
      {{u".co.uk", u"co.uk", u".gov", u".xyz", u".co.uk/", u"https://co.uk/"},
       {},
       {"S1 suffix", "S2 suffix", "S3 broad", "S3 suffix", "S4 suffix", "S5 suffix"}},
      // Anchored forms: only a narrower entry of the same site is redundant, and a name under a site is no
      // other site's.
      {{u"://box.com/", u".box.com/", u"https://box.com/files", u"www.box.com/", u"://www.box.com:8080/"},
       {},
       {"S3 redundant S1", "S4 redundant S2"}},
      {{u"box.com", u"://box.com/files", u".box.com", u"www.box.com"},
       {},
       {"S1 unanchored", "S3 unanchored", "S4 unanchored"}},
      {{u"://b\u00FCcher.de/", u".\u6FB3\u9580", u"index.html", u"localhost/", u"login"},
       {},
       {"S1 idn", "S2 suffix", "S2 idn"}},
      {{u"Example.org/Path", u"https://www.ex\u00C9mple.org", u".example.org/Path"},
       {},
       {"S1 uppercase", "S2 uppercase"}},
      {{u"exa\uFFFDmple.org"}, {}, {"S1 malformed"}},
      {{u"exa\u0007mple.org", u"exa\tmple.net", u"a\u0085b.org", u"a\u009Bb.org"},
       {},
       {"S1 control", "S2 control", "S3 control", "S4 control"}},
  };
  for (const LintRow& row : rows) {
    TrustList sites;
    TrustList links;
    for (const auto& entry : row.sites) sites.Append(entry);
    for (const auto& entry : row.links) links.Append(entry);
    const TrustIndex index({&sites, &links});
    std::vector<std::string> findings;
    for (const LintFinding& f : LintLists({&sites, &links}, index, SystemHostNames())) {
      std::string text;
      AppendWhere(f.at, text);
      text += ' ';
      text += LintRuleName(f.rule);
      if (f.rule == LintRule::kDuplicate || f.rule == LintRule::kRedundant) {
        text += ' ';
        AppendWhere(f.other, text);
      }
      findings.push_back(text);
    }
    EXPECT_EQ(findings, row.findings) << TextToUtf8(row.sites.empty() ? u"" : row.sites[0]);
  }
}

// Through Squid (lint --for squid): which entries can approve a CONNECT, judged as https://host/, and what
// no URL Squid hands the helper holds.
TEST(ListLintTest, WhatNeverMatchesThroughSquid) {
  const struct {
    std::u16string entry;
    bool approves_a_connect;
    Unsent unsent;
  } rows[] = {
      {u"example.org", true, Unsent::kNothing},
      {u"example.org/", true, Unsent::kNothing},
      {u"://example.org/", true, Unsent::kNothing},
      {u"https://example.org:8443/", true, Unsent::kNothing},
      {u".example.org/", true, Unsent::kNothing},
      {u"[2001:db8::1]", true, Unsent::kNothing},
      {u"s://my_host-1/", true, Unsent::kNothing},
      {u"http://example.org/", false, Unsent::kNothing},
      {u"://example.org/login", false, Unsent::kNothing},
      {u"example.org?id=1", false, Unsent::kNothing},
      {u"b\u00FCcher.de", false, Unsent::kNothing},
      {u"://example.org/#top", false, Unsent::kFragment},
      {u"://example.org:80/", true, Unsent::kDefaultPort},
      {u"http://example.org:80", false, Unsent::kDefaultPort},
      {u"https://example.org:443/", true, Unsent::kDefaultPort},
      {u"://example.org:443/", true, Unsent::kNothing},
      {u"http://example.org:8080/", false, Unsent::kNothing},
      {u"://example.org/caf\u00E9", false, Unsent::kRawUnicode},
      {u"/caf\u00E9", false, Unsent::kRawUnicode},
      {u"://b\u00FCcher.de/", false, Unsent::kNothing},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ApprovesAConnect(row.entry), row.approves_a_connect) << TextToUtf8(row.entry);
    EXPECT_EQ(SquidNeverSends(row.entry), row.unsent) << TextToUtf8(row.entry);
  }
}

// Where the list reader and grep -n part ways: lone CR and NUL end a line for the reader only.
TEST(ListLintTest, OddLineEndsWithTheirGrepLines) {
  using namespace std::string_literals;
  const struct {
    std::string ends;   // how each line ended, as the list reader says
    std::string found;  // "line:end:grep line[*lines in the run] ..."
  } rows[] = {
      {"\n\n\n", ""},
      {"\r\n\0\n"s, "1:CR:1 3:NUL:2 "},
      {"\0\0\n\r"s, "1:NUL:1*2 4:CR:2 "},
      {"\r\r\r\0\n\r"s, "1:CR:1*3 4:NUL:1 6:CR:2 "},  // a run is one record
  };
  for (const auto& row : rows) {
    LineEndScan scan;
    for (const char end : row.ends) scan.Ended(end);
    std::string found;
    for (const OddLineEnd& end : scan.found()) {
      found +=
          std::to_string(end.line) + (end.end == '\r' ? ":CR:" : ":NUL:") + std::to_string(end.grep_line);
      if (end.count > 1) found += '*' + std::to_string(end.count);
      found += ' ';
    }
    EXPECT_EQ(found, row.found) << row.found;
  }
  // Lint reports them at their lines, and only the rules asked for.
  TrustList sites;
  for (const char16_t* entry : {u".a.org/", u".b.org/", u"c.org"}) sites.Append(entry);
  TrustList links;
  links.Append(u".d.org/");
  const TrustIndex index({&sites, &links});
  LintOptions options;
  options.ends[ListNo(ListKind::kSites)] = {{2, '\r', 2}};
  options.ends[ListNo(ListKind::kLinks)] = {{1, '\r', 1}};
  options.rules = 1u << static_cast<int>(LintRule::kLineEnds);
  const std::vector<LintFinding> findings = LintLists({&sites, &links}, index, SystemHostNames(), options);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].at, (EntryRef{ListKind::kSites, 1}));
  EXPECT_EQ(findings[1].at, (EntryRef{ListKind::kLinks, 0}));
  EXPECT_EQ(findings[0].rule, LintRule::kLineEnds);
}

// What the messages offer: anchored forms the same substring rule honours, and other sites' addresses an
// unanchored entry approves (each of which it really occurs in).
TEST(ListLintTest, AnchoredFormsAndWhatElseAnEntryApproves) {
  const struct {
    std::u16string entry;
    std::vector<std::string> anchored;
    std::vector<std::string> also;
  } rows[] = {
      {u"box.com",
       {"://box.com/", ".box.com/"},
       {"https://evil-box.com/", "https://box.com.attacker.example/"}},
      {u"t.co",
       {"://t.co/", ".t.co/"},
       {"https://evil-t.co/", "https://t.co.attacker.example/", "https://t.com/"}},
      {u"box.com/files", {"://box.com/files", ".box.com/files"}, {"https://evil-box.com/files"}},
      {u"www.box.com", {"www.box.com/"}, {"https://www.box.com.attacker.example/"}},
      {u".box.com", {".box.com/"}, {"https://www.box.com.attacker.example/"}},
      {u"https://box.com", {"https://box.com/"}, {"https://box.com.attacker.example/"}},
  };
  const HostNames& hosts = SystemHostNames();
  for (const auto& row : rows) {
    const HostEntry entry = ReadHostEntry(row.entry, hosts);
    ASSERT_TRUE(entry.is_host) << TextToUtf8(row.entry);
    EXPECT_EQ(AnchoredForms(entry, hosts), row.anchored) << TextToUtf8(row.entry);
    EXPECT_EQ(AlsoApproved(entry, hosts), row.also) << TextToUtf8(row.entry);
    for (const std::string& address : row.also) {
      EXPECT_NE(Utf8ToText(address).find(row.entry), Text::npos) << address;
    }
  }
  // For Squid only forms it anchors at the host, whatever the browser's host names allow.
  EXPECT_EQ(AnchoredForms(ReadHostEntry(u"www.box.com", hosts), hosts, true),
            (std::vector<std::string>{"://www.box.com/", ".www.box.com/"}));
  EXPECT_EQ(AsciiForm(ReadHostEntry(u"https://b\u00FCcher.de/x", hosts)), "https://xn--bcher-kva.de/x");
  // A name IDNA2008 refuses but browsers send: both builds give the same form.
  EXPECT_EQ(AsciiForm(ReadHostEntry(u"://\U0001F600.com/", hosts)), "://xn--e28h.com/");
}

#ifdef VW_HAVE_LIBPSL
// The Windows build matches the list itself, and both builds write punycode themselves: on every rule of
// Debian's list, and on names made from each, they must answer as libpsl and libidn2 do.
TEST(HostNamesTest, TheListMatcherAnswersAsLibpsl) {
  std::ifstream file(VW_PSL_DAT, std::ios::binary);
  const std::string dat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GT(dat.size(), 10000u);
  const std::unique_ptr<HostNames> mine = ListHostNames(dat);
  const std::unique_ptr<HostNames> psl = LibpslHostNames(VW_PSL_DAT);
  std::istringstream lines(dat);
  std::string line;
  std::size_t names = 0;
  std::size_t unicode = 0;
  std::string mine_ascii;
  std::string psl_ascii;
  while (std::getline(lines, line)) {
    if (line.empty() || line.starts_with("//")) continue;
    const std::string rule = line.substr(line.find_first_not_of("*.!"));
    ASSERT_TRUE(HostToAscii(rule, mine_ascii)) << rule;
    char* idn2 = nullptr;
    ASSERT_EQ(idn2_to_ascii_8z(rule.c_str(), &idn2, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL), IDN2_OK) << rule;
    psl_ascii = idn2;
    idn2_free(idn2);
    ASSERT_EQ(mine_ascii, psl_ascii) << rule;
    if (mine_ascii != rule) ++unicode;
    for (const std::string& name : {mine_ascii, "a." + mine_ascii, "www.a." + mine_ascii,
                                    mine_ascii.substr(mine_ascii.find('.') + 1)}) {
      ++names;
      EXPECT_EQ(mine->IsPublicSuffix(name), psl->IsPublicSuffix(name)) << name;
      EXPECT_EQ(mine->RegistrableDomain(name), psl->RegistrableDomain(name)) << name;
    }
  }
  EXPECT_GT(names, 30000u);
  EXPECT_GT(unicode, 100u);
}
#endif
}  // namespace
}  // namespace vw
