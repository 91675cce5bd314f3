#include "app/program_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>

#include "app/program.h"
#include "files/os_file.h"

namespace vw {

void PrintTo(const HeadlessPlatform::Shown& shown, std::ostream* os) {
  *os << (shown.kind == HeadlessPlatform::Shown::Kind::kPrompt ? "prompt " : "message ") << "\""
      << testing::Escaped(TextToUtf8(shown.title)) << "\": \"" << testing::Escaped(TextToUtf8(shown.text))
      << "\"";
}

}  // namespace vw

namespace vw::testing {

std::string Escaped(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

void PrintTo(const ListFiles& files, std::ostream* os) {
  auto one = [os](const char* name, const std::optional<std::string>& bytes) {
    *os << "\n    " << name << ": ";
    if (!bytes) {
      *os << "(absent)";
    } else if (bytes->size() > 300) {
      *os << bytes->size() << " bytes, beginning \"" << Escaped(bytes->substr(0, 120)) << "\"";
    } else {
      *os << "\"" << Escaped(*bytes) << "\"";
    }
  };
  one(kSitesFile, files.sites);
  one(kLinksFile, files.links);
  one(kSitesBackup, files.sites_backup);
  one(kLinksBackup, files.links_backup);
}

// --- ListsFolder.

ListsFolder::ListsFolder(const std::string& name) : previous_(fs::current_path()) {
  std::random_device random;
  static int made = 0;
  root_ =
      fs::temp_directory_path() / ("vw-program-" + std::to_string(random()) + "-" + std::to_string(++made));
  path_ = root_ / fs::path(std::u8string(name.begin(), name.end()));
  fs::create_directories(path_);
  fs::current_path(path_);
#ifdef _WIN32
  // The name as the working-directory query spells it.
  password_ = fs::current_path().filename().u16string();
#else
  password_ = Utf8ToText(name);
#endif
}

ListsFolder::~ListsFolder() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  // Read-only files cannot be removed on Windows: give the write permission back first.
  for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
    if (!entry.is_symlink(ec))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(root_, ec);
}

void ListsFolder::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  ASSERT_TRUE(out.good()) << "could not write " << File(name);
}

std::optional<std::string> ListsFolder::Read(const std::string& name) const {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(File(name), ec);
  if (!fs::exists(status)) return std::nullopt;
  // A device behind a link (a test's /dev/full) would read without end.
  if (!fs::is_regular_file(status)) return "(not a regular file)";
  std::ifstream in(File(name), std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "could not read " << File(name);
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ListsFolder::Remove(const std::string& name) const {
  std::error_code ec;
  fs::remove(File(name), ec);
}

void ListsFolder::Put(const ListFiles& files) const {
  auto one = [this](const char* name, const std::optional<std::string>& bytes) {
    if (bytes) {
      Write(name, *bytes);
    } else {
      Remove(name);
    }
  };
  one(kSitesFile, files.sites);
  one(kLinksFile, files.links);
  one(kSitesBackup, files.sites_backup);
  one(kLinksBackup, files.links_backup);
}

ListFiles ListsFolder::Files() const {
  return {Read(kSitesFile), Read(kLinksFile), Read(kSitesBackup), Read(kLinksBackup)};
}

void ListsFolder::MakeReadOnly(const std::string& name) const {
  fs::permissions(File(name), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace);
}

Text WorkingDirectoryWithSeparators(const ListsFolder& folder, int trailing) {
  Text directory = fs::path(folder.path()).make_preferred().u16string();
  directory.append(static_cast<std::size_t>(trailing), kPathSeparator);
  return directory;
}

// --- Dialogs.

Shown PasswordPrompt() {
  return {Shown::Kind::kPrompt, u"Please Enter Password (Case Sensitive)",
          u"Please Enter Password , or 'Quit' or 'Exit')"};
}

Dialogs PasswordPrompts(std::size_t count) {
  return Dialogs(count, PasswordPrompt());
}

Shown Message(const Text& title, const Text& text) {
  return {Shown::Kind::kMessage, title, text};
}

Shown SitesFileMissing() {
  return Message(u"Information", u"Couldn't open  TrustFile_SafeSites.txt  file!");
}
Shown LinksFileMissing() {
  return Message(u"Information", u"Couldn't open  TrustFile_SafeLinks.txt  file!");
}

Shown SitesReadIncomplete() {
  return Message(u"Information", u"Couldn't read all of  TrustFile_SafeSites.txt  file!");
}
Shown LinksReadIncomplete() {
  return Message(u"Information", u"Couldn't read all of  TrustFile_SafeLinks.txt  file!");
}

Shown SitesNotCreated() {
  return Message(u"OpenFile", u"Can't Open File TrustFile_SafeSites.txt");
}
Shown LinksNotCreated() {
  return Message(u"CreateFile", u"Can't Open File TrustFile_SafeLinks.txt");
}

Shown SitesNotWritten() {
  return Message(u"WriteFile",
                 u"Can't Write File TrustFile_SafeSites.txt\r\n\r\n"
                 u"The backup TrustFile_SafeSites-BK.txt was left as it was.");
}
Shown SitesChangedOnDisk() {
  return Message(u"File Changed",
                 u"Can't Save File TrustFile_SafeSites.txt\r\n\r\n"
                 u"It was changed on disk since it was loaded or saved here.\r\n\r\n"
                 u"The file and its backup TrustFile_SafeSites-BK.txt were left as they were.");
}
Shown LinksChangedOnDisk() {
  return Message(u"File Changed",
                 u"Can't Save File TrustFile_SafeLinks.txt\r\n\r\n"
                 u"It was changed on disk since it was loaded or saved here.\r\n\r\n"
                 u"The file and its backup TrustFile_SafeLinks-BK.txt were left as they were.");
}
Shown LinksNotWritten() {
  return Message(u"WriteFile",
                 u"Can't Write File TrustFile_SafeLinks.txt\r\n\r\n"
                 u"The backup TrustFile_SafeLinks-BK.txt was left as it was.");
}

Shown FilesSaved() {
  return Message(u"Files Saved", u"All files have been saved + including BackUps !");
}

Shown LinkFound(const Text& entry) {
  return Message(u"This Link Found", entry + u"\r\n\r\nThis is a Safe Link !");
}

Shown SiteNotApproved(const Text& address) {
  return Message(u"Site Not Approved", address +
                                           u"\r\n\r\nThis Site Not yet Approved.\r\n\r\n"
                                           u"NAVIGATION CANCELLED .\r\n\r\n"
                                           u"Please make a Request to System Administrator .");
}

Dialogs operator+(Dialogs a, const Dialogs& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- Administrator.

namespace {

Handle MainWindowOf(const HeadlessPlatform& p) {
  return p.ParentOf(p.FindControl(ControlKind::kPanel, 0));
}

// Main-window input only reaches the window when no dialog is open.
bool MainWindowFree(const HeadlessPlatform& p, const std::string& what) {
  if (p.OpenPrompt() != 0 || p.OpenMessageBox() != 0) {
    ADD_FAILURE() << "step \"" << what
                  << "\": a dialog is open; the dialogs so far:" << ::testing::PrintToString(p.Transcript());
    return false;
  }
  return true;
}

bool PromptOpen(const HeadlessPlatform& p, const std::string& what) {
  if (p.OpenPrompt() == 0) {
    ADD_FAILURE() << "step \"" << what << "\": no password prompt is open; the dialogs so far:"
                  << ::testing::PrintToString(p.Transcript());
    return false;
  }
  return true;
}

}  // namespace

Administrator& Administrator::Step(std::string what, std::function<void(HeadlessPlatform&)> action) {
  ++written_;
  p_.Then(what, [this, what, action = std::move(action)](HeadlessPlatform& p) {
    ++taken_;
    SCOPED_TRACE("step: " + what);
    action(p);
  });
  return *this;
}

Handle Administrator::EditorHandle(Editor editor) const {
  return p_.FindControl(ControlKind::kEditor, editor == Editor::kSites ? 0 : 1);
}

Administrator& Administrator::Answers(const Text& answer) {
  std::string what = "answers \"" + Escaped(TextToUtf8(answer)) + "\" at the password prompt";
  return Step(what, [what, answer](HeadlessPlatform& p) {
    if (PromptOpen(p, what)) p.UserAnswerPrompt(answer);
  });
}

Administrator& Administrator::TypesThenPressesEscape(const Text& typed) {
  std::string what = "types \"" + Escaped(TextToUtf8(typed)) + "\" at the prompt, then presses Escape";
  return Step(what, [what, typed](HeadlessPlatform& p) {
    if (!PromptOpen(p, what)) return;
    p.UserType(p.PromptPart(p.OpenPrompt(), HeadlessPlatform::Kind::kPromptField), typed);
    p.UserKey(HeadlessKey::kEscape);
  });
}

Administrator& Administrator::ClosesThePrompt() {
  std::string what = "closes the password prompt with its close box";
  return Step(what, [what](HeadlessPlatform& p) {
    if (PromptOpen(p, what)) p.UserCloseBox(p.OpenPrompt());
  });
}

Administrator& Administrator::TypesInto(Editor editor, const Text& text) {
  std::string what = std::string("types \"") + Escaped(TextToUtf8(text)) + "\" at the end of the " +
                     (editor == Editor::kSites ? "sites" : "links") + " editor";
  return Step(what, [this, what, editor, text](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    Handle control = EditorHandle(editor);
    p.UserType(control, text);
    EXPECT_EQ(p.Focused(), control) << "the editor did not take the input";
  });
}

Administrator& Administrator::EmptiesEditor(Editor editor) {
  std::string what = std::string("selects all of the ") + (editor == Editor::kSites ? "sites" : "links") +
                     " editor and deletes it";
  return Step(what, [this, what, editor](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    p.UserClick(EditorHandle(editor));
    p.UserKey(HeadlessKey::kSelectAllDelete);
    EXPECT_EQ(p.GetText(EditorHandle(editor)), u"");
  });
}

Administrator& Administrator::PressesUndo(Editor editor, int times) {
  std::string what = std::string("presses Ctrl+Z ") + std::to_string(times) + " times in the " +
                     (editor == Editor::kSites ? "sites" : "links") + " editor";
  return Step(what, [this, what, editor, times](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    p.UserClick(EditorHandle(editor));
    for (int i = 0; i < times; ++i) p.UserKey(HeadlessKey::kUndo);
  });
}

Administrator& Administrator::EntersLink(const Text& address) {
  std::string what = "enters \"" + Escaped(TextToUtf8(address)) + "\" into the link field";
  return Step(what, [what, address](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    Handle field = p.FindControl(ControlKind::kField, 0);
    p.UserClick(field);
    p.UserKey(HeadlessKey::kSelectAllDelete);
    p.UserType(field, address);
    EXPECT_EQ(p.GetText(field), address);
  });
}

Administrator& Administrator::PressesTestThisLink() {
  std::string what = "presses \"Test This Link\"";
  return Step(what, [what](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    Handle button = p.FindButton(u"Test This Link");
    ASSERT_NE(button, 0u) << "no \"Test This Link\" button";
    p.UserClick(button);
  });
}

Administrator& Administrator::PressesSaveAllFiles() {
  std::string what = "presses \"Save All FIles\"";
  return Step(what, [what](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    Handle button = p.FindButton(u"Save All FIles");
    ASSERT_NE(button, 0u) << "no \"Save All FIles\" button";
    p.UserClick(button);
  });
}

Administrator& Administrator::MovesTheFocusAround() {
  std::string what = "moves the focus around with Tab and Shift+Tab";
  return Step(what, [what](HeadlessPlatform& p) {
    if (!MainWindowFree(p, what)) return;
    p.UserClick(p.FindControl(ControlKind::kField, 0));
    // Tab from the field to the buttons and on into the sites editor, where a Tab would type; Shift+Tab goes
    // round from there.
    for (int i = 0; i < 3; ++i) p.UserKey(HeadlessKey::kTab);
    EXPECT_EQ(p.Focused(), p.FindControl(ControlKind::kEditor, 0));
    for (int i = 0; i < 6; ++i) p.UserKey(HeadlessKey::kShiftTab);
  });
}

Administrator& Administrator::ClosesTheWindow() {
  std::string what = "closes the main window with its close box";
  return Step(what, [what](HeadlessPlatform& p) {
    if (MainWindowFree(p, what)) p.UserCloseBox(MainWindowOf(p));
  });
}

Administrator& Administrator::ClicksOk(int boxes) {
  for (int i = 0; i < boxes; ++i) {
    Step("clicks OK in a message box", [](HeadlessPlatform& p) {
      if (p.OpenMessageBox() == 0) {
        ADD_FAILURE() << "no message box is open; the dialogs so far:"
                      << ::testing::PrintToString(p.Transcript());
        return;
      }
      p.UserDismissMessageBox();
    });
  }
  return *this;
}

Administrator& Administrator::Meanwhile(std::string what, std::function<void()> action) {
  return Step(std::move(what), [action = std::move(action)](HeadlessPlatform&) { action(); });
}

// --- Session.

int Session::Run(std::size_t steps_left) {
  int exit_code = -1;
  try {
    exit_code = RunProgram(platform_);
  } catch (const HeadlessScriptExhausted& e) {
    ADD_FAILURE() << "the program was still waiting when the story ended: " << e.what();
  }
  EXPECT_EQ(user_.StepsWritten() - user_.StepsTaken(), steps_left)
      << "steps of the story left untaken; the dialogs were:" << ::testing::PrintToString(Transcript());
  return exit_code;
}

Text Session::EditorText(Editor editor) {
  return platform_.GetText(platform_.FindControl(ControlKind::kEditor, editor == Editor::kSites ? 0 : 1));
}

Text Session::LinkFieldText() {
  return platform_.GetText(platform_.FindControl(ControlKind::kField, 0));
}

}  // namespace vw::testing
