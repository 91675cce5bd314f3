#include "app/link_check.h"

#include <optional>

#include "app/program_state.h"
#include "rules/link_rule.h"
#include "ui/dialogs.h"

namespace vw {
namespace {

void ShowFound(TrustEntry entry) {
  Text text(entry);
  text += u"\r\n\r\nThis is a Safe Link !";
  ShowMessage(u"This Link Found", text);
}

}  // namespace

void CheckLinkInSites() {
  ProgramState& s = State();
  s.FoundInSites = false;
  for (TrustEntry entry : SitesApproving(s.SafeSitesList, s.LinkUnderTest)) {
    s.FoundInSites = true;
    ShowFound(entry);
  }
  if (!s.FoundInSites) CheckLinkInLinks();
}

void CheckLinkInLinks() {
  ProgramState& s = State();
  s.FoundInLinks = false;
  if (std::optional<TrustEntry> entry = FirstLinkApproving(s.SafeLinksList, s.LinkUnderTest)) {
    s.FoundInLinks = true;
    ShowFound(*entry);
    return;
  }
  ShowMessage(u"Site Not Approved", s.LinkUnderTest +
                                        u"\r\n\r\nThis Site Not yet Approved.\r\n\r\nNAVIGATION CANCELLED "
                                        u".\r\n\r\nPlease make a Request to "
                                        u"System Administrator .");
}

}  // namespace vw
