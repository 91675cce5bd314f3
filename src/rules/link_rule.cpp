#include "rules/link_rule.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace vw {
namespace {

// The address, indexed for the question "does this entry occur in it?", asked once per entry of a list that
// may hold a million. The index records where each pair of adjacent units begins, bucketed by a hash of the
// pair; an entry of two units or more can only stand where its own first pair stands, so only those places
// are compared, whole. True when the entry
// occurs anywhere in the address as one run of units, each equal, letter case included; never for an empty
// entry or an empty address.
class AddressIndex {
 public:
  explicit AddressIndex(TextView address) : address_(address) {
    if (address.size() < 2) return;
    const std::size_t pairs = address.size() - 1;
    while (bits_ < kMaxBits && (std::size_t{1} << bits_) < 4 * pairs) ++bits_;
    // Counting sort of the pair positions by bucket: starts_[b] .. starts_[b + 1] are bucket b's, ascending.
    starts_.assign((std::size_t{1} << bits_) + 1, 0);
    for (std::size_t i = 0; i < pairs; ++i) ++starts_[Bucket(address[i], address[i + 1]) + 1];
    for (std::size_t b = 1; b < starts_.size(); ++b) starts_[b] += starts_[b - 1];
    positions_.resize(pairs);
    std::vector<std::size_t> next(starts_.begin(), starts_.end() - 1);
    for (std::size_t i = 0; i < pairs; ++i) positions_[next[Bucket(address[i], address[i + 1])]++] = i;
  }

  bool Contains(TextView entry) const {
    const std::size_t m = entry.size();
    const std::size_t n = address_.size();
    if (m == 0 || m > n) return false;
    if (m == 1) return address_.find(entry[0]) != TextView::npos;
    const std::size_t bucket = Bucket(entry[0], entry[1]);
    const std::size_t last_start = n - m;
    for (std::size_t k = starts_[bucket]; k < starts_[bucket + 1]; ++k) {
      const std::size_t at = positions_[k];
      if (at > last_start) break;  // ascending: the rest cannot hold the entry either
      // Equality only, so a byte compare will do; it is much quicker than a unit-by-unit ordering compare.
      if (std::memcmp(address_.data() + at, entry.data(), m * sizeof(char16_t)) == 0) return true;
    }
    return false;
  }

 private:
  static constexpr unsigned kMaxBits = 18;

  std::size_t Bucket(char16_t a, char16_t b) const {
    const std::uint32_t pair = (static_cast<std::uint32_t>(a) << 16) | b;
    return (pair * 0x9E3779B1u) >> (32 - bits_);
  }

  TextView address_;
  unsigned bits_ = 8;
  std::vector<std::size_t> starts_;
  std::vector<std::size_t> positions_;
};

}  // namespace

void ApprovingEntries(const LinkRuleEngine& engine, TextView address, std::vector<EntryRef>& approvals) {
  approvals.clear();
  engine.AppendSitesIn(address, approvals);
  if (!approvals.empty()) return;
  if (const std::optional<std::size_t> link = engine.FirstLinkIn(address))
    approvals.push_back({ListKind::kLinks, *link});
}

void ListWalk::AppendSitesIn(TextView address, std::vector<EntryRef>& out) const {
  const AddressIndex index(address);
  const TrustList& sites = sites_;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    if (index.Contains(sites[i])) out.push_back({ListKind::kSites, i});
  }
}

std::optional<std::size_t> ListWalk::FirstLinkIn(TextView address) const {
  const AddressIndex index(address);
  for (std::size_t i = 0; i < links_.size(); ++i) {
    if (index.Contains(links_[i])) return i;
  }
  return std::nullopt;
}

}  // namespace vw
