// Everything program-wide, with its value at start. One ProgramState per run of RunProgram.
#pragma once

#include <cstdint>
#include <vector>

#include "common/text.h"
#include "common/trust_list.h"
#include "files/list_file.h"
#include "platform/platform.h"
#include "rules/link_rule.h"
#include "ui/controls.h"

namespace vw {

struct ProgramState {
  explicit ProgramState(Platform& platform) : toolkit(platform) {}

  Toolkit toolkit;  // the current toolkit while this state lives

  // The lists as loaded at start; nothing changes them afterwards.
  TrustList SafeSitesList;
  TrustList SafeLinksList;

  Text LinkUnderTest;
  std::vector<EntryRef> LinkApprovals;  // the link rule's answer for LinkUnderTest, by CheckLinkInSites
  bool FoundInSites = false;
  bool FoundInLinks = false;
  bool SitesBackupPending = true;  // the first load of the run backs the file up
  bool LinksBackupPending = true;
  // Each list file as this run last read or wrote it: a save leaves a file that changed since then alone.
  FileStamp SitesFileStamp;
  FileStamp LinksFileStamp;
  // Whether the latest SaveSafeSites wrote the sites file and backed it up: SaveSafeLinks confirms the save
  // only then.
  bool SitesSaved = false;
  bool QuitRequested = false;
  bool PasswordAccepted = false;

  // The password routine: the expected answer and the latest answer.
  Text ExpectedPassword;
  Text PasswordAnswer;

  // Controls of MainWindow, set by OpenMainWindow.
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

  std::int64_t CurrentEvent = 0;
  int ExitCode = 0;
};

// The state of the run in progress.
ProgramState& State();

// Makes a fresh ProgramState over `platform` the current one for its lifetime (a run, or a test).
class ProgramScope {
 public:
  explicit ProgramScope(Platform& platform);
  ~ProgramScope();
  ProgramScope(const ProgramScope&) = delete;
  ProgramScope& operator=(const ProgramScope&) = delete;
  ProgramState& state() { return state_; }

 private:
  ProgramState state_;
  ProgramState* outer_;
};

}  // namespace vw
