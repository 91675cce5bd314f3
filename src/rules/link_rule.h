// The link rule: which entries of the approved lists approve an address. The answer is returned, never shown:
// showing it is the program's business (CheckLinkInSites), listing it the companion's.
#pragma once

#include <optional>
#include <vector>

#include "common/text.h"
#include "common/trust_list.h"

namespace vw {

// An entry approves an address when it occurs anywhere in it as one run of units, each equal, letter case
// included, nothing trimmed. An empty entry approves nothing, and nothing approves an empty address.

// Every site entry that approves the address, in list order, repeats included.
std::vector<TrustEntry> SitesApproving(const TrustList& sites, TextView address);
// The first link entry that approves the address.
std::optional<TrustEntry> FirstLinkApproving(const TrustList& links, TextView address);

enum class ApprovedBy { kNothing, kSites, kLinks };

struct LinkApproval {
  ApprovedBy by = ApprovedBy::kNothing;
  std::vector<TrustEntry> entries;  // every approving site entry, or the one link entry, or none
};

// The whole rule: the sites that approve the address; only when there is none, the first link that does.
LinkApproval ApproveLink(const TrustList& sites, const TrustList& links, TextView address);

}  // namespace vw
