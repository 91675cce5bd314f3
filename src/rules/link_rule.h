// The link rule: the one answer to "which entries approve this address", and the list walk that finds it for
// the editor. The companion finds the same answer with its index (rules/trust_index.h). The answer is
// returned, never shown: showing it is the program's business (CheckLinkInSites), listing it the companion's.
//
// Two rules share that answer's shape. The browser's (the editor, `veraway-check test`): an entry counts
// wherever it occurs in the address. The network's (the Squid helper, `test --as squid`): the same, except
// that an entry that names where a host begins or ends counts only there (see EntryAnchor), so no address can
// carry an approved entry past Squid in its path, query or user name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/list_table.h"
#include "common/text.h"
#include "common/trust_list.h"

namespace vw {

// One entry of one list: `index` is 0-based, so its line in the list file is index + 1.
struct EntryRef {
  ListKind list = ListKind::kSites;
  std::size_t index = 0;
  friend bool operator==(const EntryRef&, const EntryRef&) = default;
};

enum class LinkRule {
  kBrowser,  // an entry counts wherever it occurs
  kNetwork,  // anchored entries count only where their anchor lies (AddressShape, EntryAnchor)
};

// Where the parts of an address lie, as the network rule reads it (NetworkAddress). Positions are 0-based
// units of the judged address; `scheme_separator` is kNoScheme when the address has none.
struct AddressShape {
  static constexpr std::size_t kNoScheme = static_cast<std::size_t>(-1);
  std::size_t scheme_separator = kNoScheme;  // where its "://" stands
  std::size_t host_begin = 0;                // its host name: [host_begin, host_end)
  std::size_t host_end = 0;
};

// The address the network rule judges, and its shape. The host is read as Squid and browsers read it: after
// "scheme://" (a scheme name: a letter, then letters, digits, "+", "-", "."), the authority runs to the first
// "/", "?" or "#"; a user name ends at its last "@"; then the host, up to ":" and the port, or a bracketed
// IPv6 literal whole ("[::1]"). The scheme and the host are case-insensitive and Squid sends them in lower
// case, so they are judged in lower case (ASCII letters). A CONNECT's "host:port" (all Squid sees of an HTTPS
// request) is judged as "https://host/", or "https://host:port/" for a port other than 443, so an entry with
// a path never approves one. Any other address without "scheme://" has no scheme and no host: only entries
// of no anchor can approve it.
AddressShape NetworkAddress(TextView address, Text& judged);

// Whether `text` is a scheme name: an ASCII letter, then ASCII letters, digits, "+", "-", ".".
bool IsSchemeName(TextView text);

// Where an entry may stand in an address under the network rule.
struct EntryAnchor {
  enum Kind : std::uint8_t {
    kAnywhere,  // the browser's substring rule
    kScheme,    // holds "://": only where its first "://" is the address's scheme separator
    kHost,  // "." then a host name, then "/" or ":" (".wikipedia.org/"): only where its "." is in the host
  };
  Kind kind = kAnywhere;
  std::size_t scheme_at = 0;  // kScheme: where the entry's first "://" stands in it
};
EntryAnchor AnchorOf(TextView entry);

// Whether an entry with this anchor, occurring at `position` of an address of this shape, counts.
inline bool CountsAt(const EntryAnchor& anchor, std::size_t position, const AddressShape& shape) {
  switch (anchor.kind) {
    case EntryAnchor::kScheme:
      return shape.scheme_separator != AddressShape::kNoScheme &&
             position + anchor.scheme_at == shape.scheme_separator;
    case EntryAnchor::kHost:
      return position >= shape.host_begin && position < shape.host_end;
    case EntryAnchor::kAnywhere:
      break;
  }
  return true;
}

// The question the rule asks of each list about an address, answered over the lists of kListTable. An entry
// occurs in an address when it stands anywhere in it as one run of units, each equal, letter case included,
// nothing trimmed or decoded: an empty entry occurs in nothing, and nothing occurs in an empty address. With
// a `shape` (the network rule), an occurrence counts only where CountsAt says so.
class LinkRuleEngine {
 public:
  virtual ~LinkRuleEngine() = default;
  // Appends the entries of `list` that occur in `address`, in list order: every one when its row says
  // every_match (an entry that stands twice in the list is appended twice, an entry that occurs twice in the
  // address once), else only the first.
  virtual void AppendIn(ListKind list, TextView address, const AddressShape* shape,
                        std::vector<EntryRef>& out) const = 0;
};

// Which entries approve `address` under `rule`: those of the first list, in table order, that has any (every
// site entry that occurs in it, in list order; only when none does, the first link entry that occurs in it);
// else none. The answer replaces what `approvals` held.
void ApprovingEntries(const LinkRuleEngine& engine, TextView address, std::vector<EntryRef>& approvals,
                      LinkRule rule = LinkRule::kBrowser);

// The lists an engine answers over, in table order. Each must outlive the engine and stay unchanged.
using ListSet = PerList<const TrustList*>;

// The editor's engine: walks a list in file order for each question, with the address indexed once per
// question, so it needs no set-up and nothing beyond the lists.
class ListWalk final : public LinkRuleEngine {
 public:
  explicit ListWalk(const ListSet& lists) : lists_(lists) {}
  void AppendIn(ListKind list, TextView address, const AddressShape* shape,
                std::vector<EntryRef>& out) const override;

 private:
  ListSet lists_;
};

}  // namespace vw
