#include "app/trust_lists.h"

#include "app/program_state.h"
#include "files/list_file.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

namespace vw {
namespace {

// One row of the two lists: which file, which backup, which editor, list and flag.
struct ListRow {
  const char16_t* file;
  const char16_t* backup;
  Handle editor;
  TrustList& list;
  bool& backup_pending;
  const char16_t* create_failed_title;
};

ListRow SitesRow() {
  ProgramState& s = State();
  return {kSitesFile, kSitesBackup, s.SitesEditor, s.SafeSitesList, s.SitesBackupPending, u"OpenFile"};
}

ListRow LinksRow() {
  ProgramState& s = State();
  return {kLinksFile, kLinksBackup, s.LinksEditor, s.SafeLinksList, s.LinksBackupPending, u"CreateFile"};
}

void Load(const ListRow& row) {
  if (row.backup_pending) {
    CopyOver(row.file, row.backup);  // a failed copy is silent; the flag clears all the same
    row.backup_pending = false;
  }
  if (!OpenForReading(kLoadSlot, row.file)) {
    ShowMessage(u"Information", Text(u"Couldn't open  ") + row.file + u"  file!");
    return;
  }
  while (!AtEnd(kLoadSlot)) {
    Text line = ReadLine(kLoadSlot);
    AddLine(row.editor, -1, line);
    row.list.Append(line);
  }
  // A read error ends the data like the end of the file; what was read stays loaded, but the administrator
  // must not take it for the whole file.
  bool incomplete = ReadFailed(kLoadSlot);
  CloseListFile(kLoadSlot);
  if (incomplete) ShowMessage(u"Information", Text(u"Couldn't read all of  ") + row.file + u"  file!");
}

void ShowNotWritten(const ListRow& row) {
  ShowMessage(u"WriteFile", Text(u"Can't Write File ") + row.file + u"\r\n\r\nThe backup " + row.backup +
                                u" was left as it was.");
}

// true when the file was written whole and its backup refreshed. A failed backup copy stays silent, but the
// save is then not confirmed: "including BackUps" would not be true.
bool Save(const ListRow& row) {
  // An editor that could not be created holds no lines, not an empty list: saving it would empty the file
  // and then its backup.
  if (row.editor == 0) {
    ShowNotWritten(row);
    return false;
  }
  const std::int64_t line_count = LineCount(row.editor);
  if (!CreateForWriting(kSaveSlot, row.file)) {
    ShowMessage(row.create_failed_title, Text(u"Can't Open File ") + row.file);
    return false;
  }
  bool written = true;
  for (std::int64_t i = 0; i < line_count && written; ++i)
    written = WriteLine(kSaveSlot, LineText(row.editor, i));
  written = CloseListFile(kSaveSlot) && written;
  if (!written) {
    // Never report a failed write as saved, and keep the backup, the last good copy, as it was.
    ShowNotWritten(row);
    return false;
  }
  return CopyOver(row.file, row.backup);
}

}  // namespace

void LoadSafeSites() {
  Load(SitesRow());
}
void LoadSafeLinks() {
  Load(LinksRow());
}
void SaveSafeSites() {
  State().SitesSaved = Save(SitesRow());
}

// The one confirmation of the whole save: only when both lists were written and backed up by it, so that it
// never follows a failure box of the same save.
void SaveSafeLinks() {
  if (Save(LinksRow()) && State().SitesSaved)
    ShowMessage(u"Files Saved", u"All files have been saved + including BackUps !");
}

}  // namespace vw
