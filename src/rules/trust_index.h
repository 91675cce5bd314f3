// The companion's index over both lists: the link rule's second engine (the editor walks the lists), built
// once and asked many times, at a cost per address that grows with the address's length and not with the
// number of entries. Lint asks it how an entry stands among the others.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "common/text.h"
#include "common/trust_list.h"
#include "rules/link_rule.h"

namespace vw {

// Once built, the index may be asked from any number of threads at once: what a question needs beside the
// index is kept per thread.
class TrustIndex final : public LinkRuleEngine {
 public:
  // The lists must outlive the index and stay unchanged.
  explicit TrustIndex(const ListSet& lists);

  void AppendIn(ListKind list, TextView address, const AddressShape* shape,
                std::vector<EntryRef>& out) const override;

  // The link rule's answer (ApprovingEntries) found with this index.
  void Verdict(TextView address, std::vector<EntryRef>& approvals, LinkRule rule = LinkRule::kBrowser) const {
    ApprovingEntries(*this, address, approvals, rule);
  }

  // For lint: how the entry text `text` stands among the entries, in reading order (the lists in table
  // order, each in file order).
  struct Relations {
    bool has_equal = false;  // the first entry with exactly this text (none for an empty text)
    EntryRef equal;
    bool has_inside = false;  // the first entry with another text that occurs in this one
    EntryRef inside;
  };
  // `inside_allowed`, when given, limits `inside` to the entries it accepts.
  Relations RelationsOf(TextView text, const std::function<bool(EntryRef)>& inside_allowed = {}) const;

 private:
  using Id = std::uint32_t;  // a distinct entry text
  static constexpr Id kNone = 0xFFFFFFFFu;

  TextView EntryText(std::uint32_t entry) const;
  // Every distinct text that occurs in `text` (with a `shape`, where it counts: CountsAt), each once, in no
  // particular order. The link rule asks about each list in turn for one address, so the calling
  // thread's last answer is kept for its text and shape (and this index), until that thread's next question.
  const std::vector<Id>& CollectInside(TextView text, const AddressShape* shape = nullptr) const;
  Id Lookup(TextView text, std::uint64_t hash) const;
  // The slot where the probe for a text of this hash begins.
  std::size_t HomeSlot(std::uint64_t hash) const;

  EntryRef RefOf(std::uint32_t entry) const;

  ListSet lists_;
  // Entries are numbered in reading order: list n holds the numbers start_[n] .. start_[n + 1] - 1.
  std::array<std::uint32_t, kListCount + 1> start_{};

  // Per distinct text: its length and its first entry; for each list of which only the first match counts,
  // its first entry in that list (kNone when that list does not hold it). The other lists' vectors stay
  // empty.
  std::vector<std::uint32_t> length_;
  std::vector<std::uint32_t> first_entry_;
  PerList<std::vector<std::uint32_t>> first_in_;
  // (entry, the next entry in reading order with the same text), sorted, for the entries that have one: only
  // the repeated texts cost memory, never a line that holds none.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> next_same_;
  std::uint32_t NextSame(std::uint32_t entry) const;  // kNone when it has none

  // Open addressing over the distinct texts, keyed by a hash of the text. A slot holds (id + 1) in its low 32
  // bits (0 = free) and the hash's top 32 bits above them, so most probes that miss never touch the texts.
  std::vector<std::uint64_t> slots_;
  unsigned slot_bits_ = 0;
  // A filter in front of the table, 2^filter_bits_ bits: every distinct text sets three bits of one word
  // (trust_index.cpp, FilterProbe). It turns away most windows of an address before the table is read.
  std::vector<std::uint64_t> filter_;
  unsigned filter_bits_ = 0;
  // The same for the first kAnchor units of every entry at least that long (same size as filter_).
  std::vector<std::uint64_t> anchor_filter_;
  // The distinct entry lengths, ascending: only windows of these lengths can hold an entry.
  std::vector<std::uint32_t> lengths_;
  std::vector<std::uint64_t> powers_;  // base^length for each of them
  std::size_t first_long_ = 0;         // the first of them that is kAnchor or more

  // Tells this index's kept answers from another's (see CollectInside); never 0.
  std::uint64_t serial_ = 0;
};

}  // namespace vw
