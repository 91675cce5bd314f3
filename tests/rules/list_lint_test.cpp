// Every lint rule once: the lists of a row give exactly its findings ("S" sites, "L" links, then the line).
#include "rules/list_lint.h"

#include <gtest/gtest.h>

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
      {{u"\uFEFFexample.org", u"other.org"}, {}, {"S1 bom"}},
      {{u" example.org", u"example.net\t"}, {}, {"S1 whitespace", "S2 whitespace"}},
      {{u"example.org", u""}, {}, {"S2 empty"}},
      {{u"example.org"}, {u"example.net", u"example.org"}, {"L2 duplicate S1"}},
      {{u"www.example.org/a", u"example.net"}, {u"example.org"}, {"S1 redundant L1"}},
      {{u"https://", u"a.b", u"example.com/x"}, {}, {"S1 broad", "S2 broad"}},
      {{u"Example.org/Path", u"https://www.ex\u00C9mple.org", u"example.org/Path"},
       {},
       {"S1 uppercase", "S2 uppercase"}},
      {{u"exa\uFFFDmple.org"}, {}, {"S1 malformed"}},
      {{u"exa\u0007mple.org", u"exa\tmple.net"}, {}, {"S1 control", "S2 control"}},
  };
  for (const LintRow& row : rows) {
    TrustList sites;
    TrustList links;
    for (const auto& entry : row.sites) sites.Append(entry);
    for (const auto& entry : row.links) links.Append(entry);
    const TrustIndex index(sites, links);
    std::vector<std::string> findings;
    for (const LintFinding& f : LintLists(sites, links, index)) {
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

}  // namespace
}  // namespace vw
