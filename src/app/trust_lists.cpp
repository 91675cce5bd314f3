#include "app/trust_lists.h"

#include <optional>

#include "app/program_state.h"
#include "files/list_file.h"
#include "files/list_reader.h"
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
  FileStamp& stamp;
  const char16_t* create_failed_title;
};

ListRow SitesRow() {
  ProgramState& s = State();
  return {kSitesFile,           kSitesBackup,     s.SitesEditor, s.SafeSitesList,
          s.SitesBackupPending, s.SitesFileStamp, u"OpenFile"};
}

ListRow LinksRow() {
  ProgramState& s = State();
  return {kLinksFile,           kLinksBackup,     s.LinksEditor, s.SafeLinksList,
          s.LinksBackupPending, s.LinksFileStamp, u"CreateFile"};
}

void Load(const ListRow& row) {
  if (row.backup_pending) {
    CopyOver(row.file, row.backup);  // a failed copy is silent; the flag clears all the same
    row.backup_pending = false;
  }
  const ListRead read = ReadListFile(kLoadSlot, row.file, ListReadOptions{}, row.list,
                                     [&](const Text& line) { AddLine(row.editor, -1, line); });
  ForgetUndo(row.editor);  // loading is no edit: Ctrl+Z must not take loaded lines away
  // A file that did not open counts as none: a save then leaves alone one that has turned up meanwhile.
  row.stamp = read.status == ListRead::Status::kNotOpened ? FileStamp{} : LastStamp(kLoadSlot);
  if (read.status == ListRead::Status::kNotOpened) {
    ShowMessage(u"Information", Text(u"Couldn't open  ") + row.file + u"  file!");
  } else if (read.status != ListRead::Status::kWhole) {
    // What was read stays loaded, but the administrator must not take it for the whole file.
    ShowMessage(u"Information", Text(u"Couldn't read all of  ") + row.file + u"  file!");
  }
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
  // Another program (or another copy of this one) changed the file since this run read or wrote it: writing
  // would throw that change away unseen. A file that cannot be read now is left to CreateForWriting to
  // report.
  if (std::optional<FileStamp> now = StampNow(kSaveSlot, row.file); now && *now != row.stamp) {
    ShowMessage(u"File Changed",
                Text(u"Can't Save File ") + row.file +
                    u"\r\n\r\nIt was changed on disk since it was loaded or saved here.\r\n\r\n"
                    u"The file and its backup " +
                    row.backup + u" were left as they were.");
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
  row.stamp = LastStamp(kSaveSlot);
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
