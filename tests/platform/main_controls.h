// A main window like the program's, made through the ui layer alone: its controls of every kind, at the
// program's rectangles, in its creation (and so Tab) order, all in one font. The platform tests use it so
// that they link no program.
#pragma once

#include "platform/platform.h"
#include "ui/controls.h"

namespace vw::testing {

struct MainControls {
  Handle MainWindow = 0;
  Handle EditorFrame = 0;
  Handle SitesLabel = 0;
  Handle LinksLabel = 0;
  Handle SitesEditor = 0;
  Handle LinksEditor = 0;
  Handle LinkField = 0;
  Handle TestLinkButton = 0;
  Handle SaveAllButton = 0;
  Handle ControlFont = 0;
};

// Needs a current Toolkit over `platform`.
inline MainControls MakeMainControls(Platform& platform) {
  MainControls c;
  c.ControlFont = platform.MessageFont();
  if (c.ControlFont == 0) c.ControlFont = platform.DefaultGuiFont();
  const Handle font = c.ControlFont;
  c.MainWindow = platform.CreateMainWindow(u"Veraway EDIT Approved Links Files", {0, 0, 580, 718});
  c.EditorFrame = CreateControl(ControlKind::kPanel, c.MainWindow, {8, 8, 572, 708}, u"", font);
  const Handle frame = c.EditorFrame;
  c.SitesLabel =
      CreateControl(ControlKind::kLabel, frame, {74, 4, 150, 25}, u"TrustFile_SafeSites.txt", font);
  c.LinksLabel =
      CreateControl(ControlKind::kLabel, frame, {364, 4, 150, 25}, u"TrustFile_SafeLinks.txt", font);
  c.SitesEditor = CreateControl(ControlKind::kEditor, frame, {0, 34, 250, 540}, u"", font);
  c.LinksEditor = CreateControl(ControlKind::kEditor, frame, {280, 34, 250, 540}, u"", font);
  c.LinkField = CreateControl(ControlKind::kField, frame, {0, 586, 528, 25}, u"", font);
  c.TestLinkButton = CreateControl(ControlKind::kButton, frame, {0, 620, 528, 25}, u"Test This Link", font);
  c.SaveAllButton = CreateControl(ControlKind::kButton, frame, {186, 662, 150, 25}, u"Save All FIles", font);
  return c;
}

}  // namespace vw::testing
