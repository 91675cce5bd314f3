// Whole-program tests: the program runs on the headless desktop, in a fresh folder of its own, with a
// scripted administrator. A test sets up the four list files, writes the administrator's story step by step,
// runs the program and then compares what the administrator saw (every dialog, in order), the bytes of the
// four files and the exit code.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/headless/headless_platform.h"

namespace vw {
// How a dialog is printed when a comparison fails: kind, title and text, with CR, LF and every unit outside
// printable ASCII escaped.
void PrintTo(const HeadlessPlatform::Shown& shown, std::ostream* os);
}  // namespace vw

namespace vw::testing {

namespace fs = std::filesystem;

using Shown = HeadlessPlatform::Shown;
using Dialogs = std::vector<Shown>;

// --- The four files.

inline constexpr char kSitesFile[] = "TrustFile_SafeSites.txt";
inline constexpr char kLinksFile[] = "TrustFile_SafeLinks.txt";
inline constexpr char kSitesBackup[] = "TrustFile_SafeSites-BK.txt";
inline constexpr char kLinksBackup[] = "TrustFile_SafeLinks-BK.txt";

// The bytes of the four files; nullopt where a file does not exist.
struct ListFiles {
  std::optional<std::string> sites = std::nullopt;
  std::optional<std::string> links = std::nullopt;
  std::optional<std::string> sites_backup = std::nullopt;
  std::optional<std::string> links_backup = std::nullopt;
  friend bool operator==(const ListFiles&, const ListFiles&) = default;
};
void PrintTo(const ListFiles& files, std::ostream* os);

// Bytes in a readable form: printable ASCII as it is, everything else as \r, \n, \0 or \xHH.
std::string Escaped(std::string_view bytes);

// A fresh folder <temp>/vw-program-<random>/<name> that is the working directory while this object lives;
// the previous working directory comes back and the folder goes, with everything in it, at the end.
class ListsFolder {
 public:
  explicit ListsFolder(const std::string& name = "ListsFolder");
  ~ListsFolder();
  ListsFolder(const ListsFolder&) = delete;
  ListsFolder& operator=(const ListsFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path File(const std::string& name) const { return path_ / name; }
  // The folder's name as the working directory gives it: the password.
  const Text& Password() const { return password_; }

  void Write(const std::string& name, const std::string& bytes) const;
  std::optional<std::string> Read(const std::string& name) const;
  void Remove(const std::string& name) const;
  // Writes the files that are present in `files` and removes the others.
  void Put(const ListFiles& files) const;
  ListFiles Files() const;
  // No write permission for anyone (the read-only attribute on Windows).
  void MakeReadOnly(const std::string& name) const;

 private:
  fs::path previous_;
  fs::path root_;
  fs::path path_;
  Text password_;
};

// --- What the administrator sees, exactly as the program words it.

Shown PasswordPrompt();
Dialogs PasswordPrompts(std::size_t count);
Shown Message(const Text& title, const Text& text);
Shown SitesFileMissing();     // "Information": the sites file could not be opened at start
Shown LinksFileMissing();     // "Information": the links file could not be opened at start
Shown SitesReadIncomplete();  // "Information": reading the sites file failed part-way
Shown LinksReadIncomplete();  // "Information": reading the links file failed part-way
Shown SitesNotCreated();      // "OpenFile"
Shown LinksNotCreated();      // "CreateFile"
Shown SitesNotWritten();      // "WriteFile"
Shown LinksNotWritten();      // "WriteFile"
Shown SitesChangedOnDisk();   // "File Changed": another program changed the file since it was read
Shown LinksChangedOnDisk();
Shown FilesSaved();  // "Files Saved"
Shown LinkFound(const Text& entry);
Shown SiteNotApproved(const Text& address);
Dialogs operator+(Dialogs a, const Dialogs& b);

// --- The scripted administrator.

enum class Editor { kSites, kLinks };

// Each call queues one step, taken when the program next waits for input, in the order written. A step that
// finds the screen other than its story expects (no prompt open, a message box in the way...) fails the test
// with its description, so a wrong turn shows where it happened.
class Administrator {
 public:
  explicit Administrator(HeadlessPlatform& platform) : p_(platform) {}

  // At the password prompt.
  Administrator& Answers(const Text& answer);  // types it into the prompt's field, then Enter
  Administrator& TypesThenPressesEscape(const Text& typed);
  Administrator& ClosesThePrompt();  // its close box

  // In the main window.
  Administrator& TypesInto(Editor editor, const Text& text);  // at the end of its text; '\n' is Enter
  Administrator& EmptiesEditor(Editor editor);                // select all, delete
  Administrator& PressesUndo(Editor editor, int times);       // clicks into it, then Ctrl+Z `times` times
  Administrator& EntersLink(const Text& address);             // replaces the link field's text
  Administrator& PressesTestThisLink();
  Administrator& PressesSaveAllFiles();
  Administrator& MovesTheFocusAround();  // Tab and Shift+Tab through the controls
  Administrator& ClosesTheWindow();      // the main window's close box

  // In a message box: OK, once per box.
  Administrator& ClicksOk(int boxes = 1);

  // Anything else, in its turn: something outside the program happens, or a look at the screen.
  Administrator& Meanwhile(std::string what, std::function<void()> action);

  std::size_t StepsWritten() const { return written_; }
  std::size_t StepsTaken() const { return taken_; }

 private:
  Administrator& Step(std::string what, std::function<void(HeadlessPlatform&)> action);
  Handle EditorHandle(Editor editor) const;

  HeadlessPlatform& p_;
  std::size_t written_ = 0;
  std::size_t taken_ = 0;
};

// One run of the program on its own headless desktop.
class Session {
 public:
  Session() : Session(HeadlessPlatform::Options{}) {}
  explicit Session(HeadlessPlatform::Options options) : platform_(std::move(options)), user_(platform_) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Administrator& user() { return user_; }
  HeadlessPlatform& platform() { return platform_; }

  // Runs the program to its end and returns its exit code. Fails the test when the script ran out while the
  // program waited, or when the number of steps left untaken is not `steps_left`.
  int Run(std::size_t steps_left = 0);

  const Dialogs& Transcript() const { return platform_.Transcript(); }
  // What the window shows at the end (the window outlives the run on this desktop).
  Text EditorText(Editor editor);
  Text LinkFieldText();

 private:
  HeadlessPlatform platform_;
  Administrator user_;
};

// The working directory as the platform's query would give it, with `trailing` separators added.
Text WorkingDirectoryWithSeparators(const ListsFolder& folder, int trailing);

}  // namespace vw::testing
