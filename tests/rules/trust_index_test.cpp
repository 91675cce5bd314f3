// The link rule's two engines against each other, the companion's index and the editor's list walk, on random
// lists and addresses over a small alphabet, so that entries overlap, repeat and occur often. And lint's
// questions to the index against a plain walk of the lists.
#include "rules/trust_index.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

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

// Texts put together from pieces of addresses, so that schemes, hosts, user names, ports, CONNECT's
// host:port and the network rule's anchored entries ("://a.b/", ".a:") come up often.
Text RandomPieces(std::mt19937& random, std::size_t max_pieces) {
  static constexpr const char16_t* kPieces[] = {u"a", u"b", u".", u":", u"/",   u"://",  u"@",    u"A",
                                                u"?", u"[", u"]", u"1", u"443", u"http", u"HTTPS"};
  Text text;
  for (std::size_t count = random() % (max_pieces + 1); count > 0; --count) {
    text += kPieces[random() % std::size(kPieces)];
  }
  return text;
}

TrustList RandomPieceList(std::mt19937& random, std::size_t max_entries) {
  TrustList list;
  for (std::size_t count = random() % (max_entries + 1); count > 0; --count)
    list.Append(RandomPieces(random, 5));
  return list;
}

// The address with an entry of the lists put at its start or its end (or left as it is): random units seldom
// spell an entry of the index's anchor length or more, and its last and first windows are where it can slip.
Text WithAnEntry(std::mt19937& random, const TrustList& sites, const TrustList& links, TextView address) {
  const TrustList& list = random() % 2 == 0 ? sites : links;
  const auto where = random() % 3;
  if (list.empty() || where == 0) return Text(address);
  const TextView entry = list[random() % list.size()];
  return where == 1 ? Text(entry) + Text(address) : Text(address) + Text(entry);
}

// Reading order: all sites, then all links. The first entry (other than an equal text) inside `text`.
std::optional<EntryRef> PlainFirstInside(const TrustList& sites, const TrustList& links, TextView text,
                                         bool equal) {
  for (const auto& [kind, list] :
       {std::pair{ListKind::kSites, &sites}, std::pair{ListKind::kLinks, &links}}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const TextView entry = (*list)[i];
      if (equal ? (!entry.empty() && entry == text)
                : (!entry.empty() && entry != text && text.find(entry) != TextView::npos)) {
        return EntryRef{kind, i};
      }
    }
  }
  return std::nullopt;
}

TEST(TrustIndexTest, AgreesWithTheListWalkOnRandomListsAndAddresses) {
  std::mt19937 random(20261209);
  std::vector<EntryRef> approvals;
  std::vector<EntryRef> walked;
  for (int round = 0; round < 300; ++round) {
    // Every other round, entries up to twice the index's anchor of 8 units; every third, pieces of
    // addresses, asked under the network rule too.
    const std::size_t longest = round % 2 == 0 ? 6 : 16;
    const bool pieces = round % 3 == 0;
    const TrustList sites = pieces ? RandomPieceList(random, 40) : RandomList(random, 40, longest);
    const TrustList links = pieces ? RandomPieceList(random, 20) : RandomList(random, 20, longest);
    const TrustIndex index({&sites, &links});
    const ListWalk walk({&sites, &links});
    const TrustList addresses = pieces ? RandomPieceList(random, 30) : RandomList(random, 30, 24);
    for (std::size_t a = 0; a < addresses.size(); ++a) {
      const Text address = WithAnEntry(random, sites, links, addresses[a]);
      for (const LinkRule rule : {LinkRule::kBrowser, LinkRule::kNetwork}) {
        ApprovingEntries(index, address, approvals, rule);
        ApprovingEntries(walk, address, walked, rule);
        ASSERT_EQ(approvals, walked) << "round " << round << " address " << a;
      }
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

// Two threads asking one index at once get the answers one thread gets (each keeps its own scratch space).
TEST(TrustIndexTest, TwoThreadsAskingAtOnceGetTheSameAnswers) {
  std::mt19937 random(20261210);
  const TrustList sites = RandomList(random, 200, 12);
  const TrustList links = RandomList(random, 100, 12);
  const TrustIndex index({&sites, &links});
  const TrustList random_addresses = RandomList(random, 40000, 24);
  std::vector<Text> addresses;
  for (std::size_t i = 0; i < random_addresses.size(); ++i) {
    addresses.push_back(WithAnEntry(random, sites, links, random_addresses[i]));
  }
  std::vector<std::vector<EntryRef>> alone(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) ApprovingEntries(index, addresses[i], alone[i]);
  std::vector<std::vector<EntryRef>> together(addresses.size());
  const auto ask = [&](std::size_t first) {
    for (std::size_t i = first; i < addresses.size(); i += 2)
      ApprovingEntries(index, addresses[i], together[i]);
  };
  std::thread other(ask, 1);
  ask(0);
  other.join();
  EXPECT_EQ(together, alone);
}

}  // namespace
}  // namespace vw
