// The link test: is the address in LinkUnderTest covered by the approved lists as loaded at start?
#pragma once

namespace vw {

// Shows "This Link Found" for every site entry inside the address, in list order; when none matched, tries
// the links.
void CheckLinkInSites();
// Shows "This Link Found" for the first link entry inside the address, else "Site Not Approved".
void CheckLinkInLinks();

}  // namespace vw
