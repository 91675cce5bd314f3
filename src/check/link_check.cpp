#include "check/link_check.h"

#include "app/program_state.h"
#include "common/text.h"
#include "ui/dialogs.h"

namespace vw {
namespace {

// An entry matches when it occurs anywhere in the address, code for code. An empty entry never matches.
bool Matches(TextView address, TrustEntry entry) {
  if (entry.size() > address.size()) return false;  // cannot occur inside; same answer, without the search
  return FindText(address, entry, 0) > 0;
}

void ShowFound(TrustEntry entry) {
  Text text(entry);
  text += u"\r\n\r\nThis is a Safe Link !";
  ShowMessage(u"This Link Found", text);
}

}  // namespace

void CheckLinkInSites() {
  ProgramState& s = State();
  s.FoundInSites = 0;
  const TrustList& sites = s.SafeSitesList;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    if (Matches(s.LinkUnderTest, sites[i])) {
      s.FoundInSites = 1;
      ShowFound(sites[i]);
    }
  }
  if (s.FoundInSites == 0) CheckLinkInLinks();
}

void CheckLinkInLinks() {
  ProgramState& s = State();
  s.FoundInLinks = 0;
  const TrustList& links = s.SafeLinksList;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (Matches(s.LinkUnderTest, links[i])) {
      s.FoundInLinks = 1;
      ShowFound(links[i]);
      return;
    }
  }
  ShowMessage(u"Site Not Approved", s.LinkUnderTest +
                                        u"\r\n\r\nThis Site Not yet Approved.\r\n\r\nNAVIGATION CANCELLED "
                                        u".\r\n\r\nPlease make a Request to "
                                        u"System Administrator .");
}

}  // namespace vw
