// The link rule: the one answer to "which entries approve this address", and the list walk that finds it for
// the editor. The companion finds the same answer with its index (rules/trust_index.h). The answer is
// returned, never shown: showing it is the program's business (CheckLinkInSites), listing it the companion's.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "common/text.h"
#include "common/trust_list.h"

namespace vw {

enum class ListKind { kSites, kLinks };

// One entry of one list: `index` is 0-based, so its line in the list file is index + 1.
struct EntryRef {
  ListKind list = ListKind::kSites;
  std::size_t index = 0;
  friend bool operator==(const EntryRef&, const EntryRef&) = default;
};

// The two questions the rule asks about an address, answered over one pair of lists (sites, links). An entry
// occurs in an address when it stands anywhere in it as one run of units, each equal, letter case included,
// nothing trimmed or decoded: an empty entry occurs in nothing, and nothing
// occurs in an empty address.
class LinkRuleEngine {
 public:
  virtual ~LinkRuleEngine() = default;
  // Appends every site entry that occurs in `address`, in list order; an entry that stands twice in the list
  // is appended twice, an entry that occurs twice in the address once.
  virtual void AppendSitesIn(TextView address, std::vector<EntryRef>& out) const = 0;
  // The index of the first link entry that occurs in `address`.
  virtual std::optional<std::size_t> FirstLinkIn(TextView address) const = 0;
};

// Which entries approve `address`: every site entry that occurs in it, in list order; only when none does,
// the first link entry that occurs in it; else none. The answer replaces what `approvals` held.
void ApprovingEntries(const LinkRuleEngine& engine, TextView address, std::vector<EntryRef>& approvals);

// The editor's engine: walks a list in file order for each question, with the address indexed once per
// question, so it needs no set-up and nothing beyond the lists. Both lists must outlive it.
class ListWalk final : public LinkRuleEngine {
 public:
  ListWalk(const TrustList& sites, const TrustList& links) : sites_(sites), links_(links) {}
  void AppendSitesIn(TextView address, std::vector<EntryRef>& out) const override;
  std::optional<std::size_t> FirstLinkIn(TextView address) const override;

 private:
  const TrustList& sites_;
  const TrustList& links_;
};

}  // namespace vw
