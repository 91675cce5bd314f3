#include "app/link_check.h"

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
  ApprovingEntries(ListWalk({&s.SafeSitesList, &s.SafeLinksList}), s.LinkUnderTest, s.LinkApprovals);
  s.FoundInSites = false;
  for (const EntryRef& entry : s.LinkApprovals) {
    if (entry.list != ListKind::kSites) continue;
    s.FoundInSites = true;
    ShowFound(s.SafeSitesList[entry.index]);
  }
  if (!s.FoundInSites) CheckLinkInLinks();
}

void CheckLinkInLinks() {
  ProgramState& s = State();
  s.FoundInLinks = false;
  for (const EntryRef& entry : s.LinkApprovals) {
    if (entry.list != ListKind::kLinks) continue;
    s.FoundInLinks = true;
    ShowFound(s.SafeLinksList[entry.index]);
    return;
  }
  ShowMessage(u"Site Not Approved", s.LinkUnderTest +
                                        u"\r\n\r\nThis Site Not yet Approved.\r\n\r\nNAVIGATION CANCELLED "
                                        u".\r\n\r\nPlease make a Request to "
                                        u"System Administrator .");
}

}  // namespace vw
