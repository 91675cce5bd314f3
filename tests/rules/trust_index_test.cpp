// The index against the plain rule (FindText over every entry, as the editor walks its lists), on random
// lists and addresses over a small alphabet, so that entries overlap, repeat and occur often.
#include "rules/trust_index.h"

#include <gtest/gtest.h>

#include <random>

namespace vw {
namespace {

TrustList RandomList(std::mt19937& random, std::size_t max_entries, std::size_t max_length) {
  static constexpr char16_t kAlphabet[] = u"ab.A\uFEFF\u00E9";
  TrustList list;
  const std::size_t count = random() % (max_entries + 1);
  for (std::size_t i = 0; i < count; ++i) {
    Text entry(random() % (max_length + 1), u'a');
    for (char16_t& unit : entry) unit = kAlphabet[random() % (std::size(kAlphabet) - 1)];
    list.Append(entry);
  }
  return list;
}

std::vector<EntryRef> PlainVerdict(const TrustList& sites, const TrustList& links, TextView address) {
  std::vector<EntryRef> approvals;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    if (FindText(address, sites[i], 0) > 0) approvals.push_back({ListKind::kSites, i});
  }
  if (!approvals.empty()) return approvals;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (FindText(address, links[i], 0) > 0) return {{ListKind::kLinks, i}};
  }
  return approvals;
}

// Reading order: all sites, then all links. The first entry (other than an equal text) inside `text`.
std::optional<EntryRef> PlainFirstInside(const TrustList& sites, const TrustList& links, TextView text,
                                         bool equal) {
  for (const auto& [kind, list] :
       {std::pair{ListKind::kSites, &sites}, std::pair{ListKind::kLinks, &links}}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const TextView entry = (*list)[i];
      if (equal ? (!entry.empty() && entry == text) : (entry != text && FindText(text, entry, 0) > 0)) {
        return EntryRef{kind, i};
      }
    }
  }
  return std::nullopt;
}

TEST(TrustIndexTest, AgreesWithThePlainRuleOnRandomListsAndAddresses) {
  std::mt19937 random(20261209);
  std::vector<EntryRef> approvals;
  for (int round = 0; round < 300; ++round) {
    const TrustList sites = RandomList(random, 40, 6);
    const TrustList links = RandomList(random, 20, 6);
    const TrustIndex index(sites, links);
    const TrustList addresses = RandomList(random, 30, 24);
    for (std::size_t a = 0; a < addresses.size(); ++a) {
      index.Verdict(addresses[a], approvals);
      ASSERT_EQ(approvals, PlainVerdict(sites, links, addresses[a])) << "round " << round << " address " << a;
    }
    // Each entry against the lists themselves, as lint asks.
    for (std::size_t i = 0; i < sites.size(); ++i) {
      const TrustIndex::Relations relations = index.RelationsOf(sites[i]);
      const auto inside = PlainFirstInside(sites, links, sites[i], false);
      ASSERT_EQ(relations.has_inside, inside.has_value()) << "round " << round;
      if (inside) {
        EXPECT_EQ(relations.inside, *inside);
      }
      const auto equal = PlainFirstInside(sites, links, sites[i], true);
      ASSERT_EQ(relations.has_equal, equal.has_value()) << "round " << round;
      if (equal) {
        EXPECT_EQ(relations.equal, *equal);
      }
    }
  }
}

}  // namespace
}  // namespace vw
