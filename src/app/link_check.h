// The link test: is the address in LinkUnderTest covered by the approved lists as loaded at start?
#pragma once

namespace vw {

// Asks the link rule which entries approve the address (into LinkApprovals) and shows "This Link Found" for
// every site entry among them, in list order; when there is none, goes on with CheckLinkInLinks.
void CheckLinkInSites();
// Shows "This Link Found" for the link entry of that answer, else "Site Not Approved".
void CheckLinkInLinks();

}  // namespace vw
