#include "app/main_window.h"

#include "app/admin_password.h"
#include "app/program_state.h"
#include "app/trust_lists.h"
#include "ui/controls.h"

namespace vw {

void BuildMainWindow(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
  ProgramState& s = State();
  Platform& platform = s.toolkit.platform;

  // One font for every control: the message-box font, else the default GUI font.
  s.ControlFont = platform.MessageFont();
  if (s.ControlFont == 0) s.ControlFont = platform.DefaultGuiFont();
  Handle font = s.ControlFont;

  s.MainWindow = platform.CreateMainWindow(
      kMainWindowTitle,
      {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height)});
  s.EditorFrame = CreateControl(ControlKind::kPanel, s.MainWindow, {8, 8, 572, 708}, u"", font);

  // Creation order is the Tab order.
  Handle frame = s.EditorFrame;
  s.SitesLabel =
      CreateControl(ControlKind::kLabel, frame, {74, 4, 150, 25}, u"TrustFile_SafeSites.txt", font);
  s.LinksLabel =
      CreateControl(ControlKind::kLabel, frame, {364, 4, 150, 25}, u"TrustFile_SafeLinks.txt", font);
  s.SitesEditor = CreateControl(ControlKind::kEditor, frame, {0, 34, 250, 540}, u"", font);
  s.LinksEditor = CreateControl(ControlKind::kEditor, frame, {280, 34, 250, 540}, u"", font);
  s.LinkField = CreateControl(ControlKind::kField, frame, {0, 586, 528, 25}, u"", font);
  s.TestLinkButton = CreateControl(ControlKind::kButton, frame, {0, 620, 528, 25}, u"Test This Link", font);
  s.SaveAllButton = CreateControl(ControlKind::kButton, frame, {186, 662, 150, 25}, u"Save All FIles", font);
}

std::int64_t OpenMainWindow(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
  ProgramState& s = State();
  BuildMainWindow(left, top, width, height);

  AskAdminPassword();
  if (s.QuitRequested) PostEvent(CloseWindowEvent);

  // The lists load whichever way the prompt ended: after a quit the backups are still made.
  LoadSafeSites();
  LoadSafeLinks();

  SetText(s.LinkField, kDefaultAddress);
  return 0;
}

}  // namespace vw
