// The administrator password prompt, end to end: the password is the name of the folder the program runs in,
// written exactly; "Quit", "quit", "Exit" and "exit" end the program; everything else brings the prompt back.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/program_fixture.h"
#include "files/forwarding_os_files.h"
#include "files/os_file.h"

namespace vw::testing {
namespace {

// One answer at the prompt.
struct Answer {
  enum class How { kEnter, kEscape, kCloseBox };
  How how = How::kEnter;
  Text typed;
  bool password = false;  // the folder's name, as the working directory gives it, is typed
};

Answer Typed(const Text& text) {
  return {Answer::How::kEnter, text, false};
}
Answer ThePassword() {
  return {Answer::How::kEnter, {}, true};
}
Answer PasswordThenEscape() {
  return {Answer::How::kEscape, {}, true};
}
Answer CloseBox() {
  return {Answer::How::kCloseBox, {}, false};
}

enum class Ends { kQuit, kPasswordAccepted };

// The lists, with LF line ends so that a save shows in their bytes.
const ListFiles kLfLists{.sites = "s.example\n", .links = "l.example\n"};
const ListFiles kLfLoaded{.sites = "s.example\n",
                          .links = "l.example\n",
                          .sites_backup = "s.example\n",
                          .links_backup = "l.example\n"};
const ListFiles kLfSaved{.sites = "s.example\r\n",
                         .links = "l.example\r\n",
                         .sites_backup = "s.example\r\n",
                         .links_backup = "l.example\r\n"};

// Gives the answers, then saves and closes the window. After a quit the program has ended before the save:
// those three steps stay untaken and the files stay as loaded. After the password the save shows.
void CheckPrompt(Session& run, const ListsFolder& folder, const std::vector<Answer>& answers, Ends ends) {
  for (const Answer& a : answers) {
    const Text text = a.password ? folder.Password() : a.typed;
    switch (a.how) {
      case Answer::How::kEnter:
        run.user().Answers(text);
        break;
      case Answer::How::kEscape:
        run.user().TypesThenPressesEscape(text);
        break;
      case Answer::How::kCloseBox:
        run.user().ClosesThePrompt();
        break;
    }
  }
  run.user().PressesSaveAllFiles().ClicksOk().ClosesTheWindow();

  if (ends == Ends::kQuit) {
    EXPECT_EQ(run.Run(/*steps_left=*/3), 0);
    EXPECT_EQ(run.Transcript(), PasswordPrompts(answers.size()));
    EXPECT_EQ(folder.Files(), kLfLoaded);
  } else {
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.Transcript(), PasswordPrompts(answers.size()) + Dialogs{FilesSaved()});
    EXPECT_EQ(folder.Files(), kLfSaved);
  }
}

// --- The real working directory.

struct AnswersCase {
  const char* name;
  const char* folder;  // UTF-8
  std::vector<Answer> answers;
  Ends ends;
  friend void PrintTo(const AnswersCase& c, std::ostream* os) { *os << c.name; }
};

class PasswordAnswers : public ::testing::TestWithParam<AnswersCase> {};

TEST_P(PasswordAnswers, AsksUntilThePasswordOrAQuitWord) {
  const AnswersCase& c = GetParam();
  ListsFolder folder(c.folder);
  folder.Put(kLfLists);
  Session run;
  CheckPrompt(run, folder, c.answers, c.ends);
}

std::vector<Answer> ManyWrongAnswersThenThePassword() {
  std::vector<Answer> answers;
  for (int i = 0; i < 60; ++i) answers.push_back(Typed(u"wrong " + Utf8ToText(std::to_string(i))));
  answers.push_back(ThePassword());
  return answers;
}

INSTANTIATE_TEST_SUITE_P(
    Program, PasswordAnswers,
    ::testing::Values(
        AnswersCase{"ThePassword", "ListsFolder", {ThePassword()}, Ends::kPasswordAccepted},
        AnswersCase{"OtherLetterCaseRefused",
                    "ListsFolder",
                    {Typed(u"listsfolder"), Typed(u"LISTSFOLDER"), Typed(u"listsFolder"), ThePassword()},
                    Ends::kPasswordAccepted},
        AnswersCase{"SurroundingSpacesRefused",
                    "ListsFolder",
                    {Typed(u" ListsFolder"), Typed(u"ListsFolder "), Typed(u" ListsFolder "),
                     Typed(u"\tListsFolder"), ThePassword()},
                    Ends::kPasswordAccepted},
        AnswersCase{"OtherPartsOfThePathRefused",
                    "ListsFolder",
                    {Typed(u"Lists"), Typed(u"Folder"), Typed(u"ListsFolder/"), Typed(u"ListsFolder\\"),
                     Typed(u"/ListsFolder"), Typed(u"\\ListsFolder"), ThePassword()},
                    Ends::kPasswordAccepted},
        AnswersCase{
            "EmptyAnswerRefused", "ListsFolder", {Typed(u""), ThePassword()}, Ends::kPasswordAccepted},
        AnswersCase{"EscapeBringsThePromptBack",
                    "ListsFolder",
                    {PasswordThenEscape(), ThePassword()},
                    Ends::kPasswordAccepted},
        AnswersCase{"CloseBoxBringsThePromptBack",
                    "ListsFolder",
                    {CloseBox(), CloseBox(), ThePassword()},
                    Ends::kPasswordAccepted},
        AnswersCase{"ManyWrongAnswers", "ListsFolder", ManyWrongAnswersThenThePassword(),
                    Ends::kPasswordAccepted},
        AnswersCase{"QuitCapitalised", "ListsFolder", {Typed(u"Quit")}, Ends::kQuit},
        AnswersCase{"QuitSmall", "ListsFolder", {Typed(u"quit")}, Ends::kQuit},
        AnswersCase{"ExitCapitalised", "ListsFolder", {Typed(u"Exit")}, Ends::kQuit},
        AnswersCase{"ExitSmall", "ListsFolder", {Typed(u"exit")}, Ends::kQuit},
        AnswersCase{"QuitAfterWrongAnswers",
                    "ListsFolder",
                    {Typed(u"wrong"), Typed(u""), CloseBox(), PasswordThenEscape(), Typed(u"exit")},
                    Ends::kQuit},
        AnswersCase{"OtherFormsOfTheQuitWordsAreNotQuitWords",
                    "ListsFolder",
                    {Typed(u"QUIT"), Typed(u" quit"), Typed(u"quit "), Typed(u"qUIT"), Typed(u"EXIT"),
                     Typed(u"eXit"), Typed(u"Exit "), Typed(u" exit"), Typed(u"quit\t"), Typed(u"Quit")},
                    Ends::kQuit},
        AnswersCase{"QuitWordThatIsAlsoTheFolderNameQuits", "quit", {Typed(u"quit")}, Ends::kQuit},
        AnswersCase{"ExitWordThatIsAlsoTheFolderNameQuits", "Exit", {Typed(u"Exit")}, Ends::kQuit},
        AnswersCase{
            "FolderNamedInCapitalsTakesThatAsThePassword", "QUIT", {Typed(u"QUIT")}, Ends::kPasswordAccepted},
        AnswersCase{"FolderNameWithSpaceAndAccent",
                    "Listes s\xC3\xBBres",
                    {Typed(u"Listes sures"), Typed(u"Listes"), Typed(u"Listes s\u00FBres")},
                    Ends::kPasswordAccepted}),
    [](const ::testing::TestParamInfo<AnswersCase>& tested) { return std::string(tested.param.name); });

// --- A working directory answered by the file layer instead of the operating system. How the folder's name
// is taken from it is the password rule's (tests/rules); here, that the program asks and fails closed.

class WorkingDirectoryIs final : public ForwardingOsFiles {
 public:
  explicit WorkingDirectoryIs(std::optional<Text> directory) : directory_(std::move(directory)) {}
  std::optional<Text> WorkingDirectory() override { return directory_; }

 private:
  std::optional<Text> directory_;
};

struct DirectoryCase {
  const char* name;
  // The working directory the query reports (nullopt: it cannot be read), made from the real folder.
  std::function<std::optional<Text>(const ListsFolder&)> directory;
  std::vector<Answer> answers;
  Ends ends;
  friend void PrintTo(const DirectoryCase& c, std::ostream* os) { *os << c.name; }
};

class PasswordFromTheWorkingDirectory : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(PasswordFromTheWorkingDirectory, AsksUntilThePasswordOrAQuitWord) {
  const DirectoryCase& c = GetParam();
  ListsFolder folder;
  folder.Put(kLfLists);
  WorkingDirectoryIs files(c.directory(folder));
  ScopedOsFiles installed(files);
  Session run;
  CheckPrompt(run, folder, c.answers, c.ends);
}

const Text kSeparator(1, kPathSeparator);

// When the working directory cannot be read, no answer is the password: not an empty one, not a closed
// prompt, not the real folder's name. Only a quit word gets past the prompt.
INSTANTIATE_TEST_SUITE_P(
    Program, PasswordFromTheWorkingDirectory,
    ::testing::Values(DirectoryCase{"SeveralTrailingSeparators",
                                    [](const ListsFolder& f) { return WorkingDirectoryWithSeparators(f, 4); },
                                    {Typed(u""), Typed(kSeparator), ThePassword()},
                                    Ends::kPasswordAccepted},
                      DirectoryCase{"Unreadable",
                                    [](const ListsFolder&) { return std::optional<Text>(); },
                                    {Typed(u""), CloseBox(), PasswordThenEscape(), ThePassword(),
                                     Typed(kSeparator), Typed(u"exit")},
                                    Ends::kQuit}),
    [](const ::testing::TestParamInfo<DirectoryCase>& tested) { return std::string(tested.param.name); });

#ifdef _WIN32
// At the root of a drive the password is the drive designator, letter and colon.
INSTANTIATE_TEST_SUITE_P(
    DriveRoot, PasswordFromTheWorkingDirectory,
    ::testing::Values(DirectoryCase{"DriveRoot",
                                    [](const ListsFolder&) { return std::optional<Text>(u"C:\\"); },
                                    {Typed(u"c:"), Typed(u"C:\\"), Typed(u"C"), Typed(u"C:")},
                                    Ends::kPasswordAccepted}),
    [](const ::testing::TestParamInfo<DirectoryCase>& tested) { return std::string(tested.param.name); });
#else
// A real unreadable working directory: the folder was removed while the program was started in it. The
// prompt fails closed, and after the quit both lists fail to open.
TEST(PasswordPromptInARemovedFolder, OnlyAQuitWordGetsPast) {
  ListsFolder folder;
  std::filesystem::remove(folder.path());
  Session run;
  run.user()
      .Answers(u"")
      .ClosesThePrompt()
      .Answers(folder.Password())
      .Answers(u"Quit")
      .ClicksOk(2)
      .PressesSaveAllFiles();

  EXPECT_EQ(run.Run(/*steps_left=*/1), 0);
  EXPECT_EQ(run.Transcript(), PasswordPrompts(4) + (Dialogs{SitesFileMissing(), LinksFileMissing()}));
}
#endif

}  // namespace
}  // namespace vw::testing
