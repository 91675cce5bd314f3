// Loading the lists at start and saving them back: what the files hold afterwards, byte for byte, and what
// the backups hold.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/program_fixture.h"
#include "files/forwarding_os_files.h"
#include "files/os_file.h"

namespace vw::testing {
namespace {

using namespace std::string_literals;

class LoadAndSave : public ::testing::Test {
 protected:
  ListsFolder folder_;
};

// --- Load, then save without an edit: every file comes back in the written form, CR LF after every line.

struct RoundTripCase {
  const char* name;
  std::string file;   // as found, for both lists
  Text editor;        // what each editor shows
  std::string saved;  // each list file, and its backup, after the save
  friend void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }
};

class SaveWithoutEdits : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(SaveWithoutEdits, RewritesTheFilesInTheWrittenForm) {
  const RoundTripCase& c = GetParam();
  folder_.Put({.sites = c.file, .links = c.file});
  Session run;
  run.user()
      .Answers(folder_.Password())
      .Meanwhile("looks at the backups made at start",
                 [&] {
                   EXPECT_EQ(folder_.Read(kSitesBackup), c.file);
                   EXPECT_EQ(folder_.Read(kLinksBackup), c.file);
                 })
      .PressesUndo(Editor::kSites, 3)  // loading is no edit: nothing to undo
      .PressesUndo(Editor::kLinks, 3)
      .PressesSaveAllFiles()
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), FilesSaved()}));
  EXPECT_EQ(run.EditorText(Editor::kSites), c.editor);
  EXPECT_EQ(run.EditorText(Editor::kLinks), c.editor);
  EXPECT_EQ(folder_.Files(), (ListFiles{c.saved, c.saved, c.saved, c.saved}));
}

const std::string kLongLine(70000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Program, SaveWithoutEdits,
    ::testing::Values(RoundTripCase{"CrLf", "a\r\nb\r\n", u"a\nb", "a\r\nb\r\n"},
                      RoundTripCase{"Lf", "a\nb\n", u"a\nb", "a\r\nb\r\n"},
                      RoundTripCase{"LoneCr", "a\rb\r", u"a\nb", "a\r\nb\r\n"},
                      RoundTripCase{"NoLineEndAtTheEnd", "a\r\nb", u"a\nb", "a\r\nb\r\n"},
                      RoundTripCase{"MixedLineEnds", "a\nb\rc\r\nd", u"a\nb\nc\nd", "a\r\nb\r\nc\r\nd\r\n"},
                      RoundTripCase{"LfThenCrIsTwoLineEnds", "a\n\rb", u"a\n\nb", "a\r\n\r\nb\r\n"},
                      RoundTripCase{"ZeroByteEndsALine", "a\0b"s, u"a\nb", "a\r\nb\r\n"},
                      RoundTripCase{"EmptyLinesKeptInPlace", "one\n\n\nfour\n\nsix", u"one\n\n\nfour\n\nsix",
                                    "one\r\n\r\n\r\nfour\r\n\r\nsix\r\n"},
                      RoundTripCase{"OneEmptyLine", "\r\n", u"", "\r\n"},
                      RoundTripCase{"TwoEmptyLines", "\n\n", u"\n", "\r\n\r\n"},
                      RoundTripCase{"EmptyFile", "", u"", ""},
                      RoundTripCase{"BlanksAndTabsKept", "  a \t\r\n\tb\r\n", u"  a \t\n\tb",
                                    "  a \t\r\n\tb\r\n"},
                      RoundTripCase{"NonAscii",
                                    "b\xC3\xBC"
                                    "cher.example\r\n\xE6\x97\xA5\xE6\x9C\xAC.example\n",
                                    u"b\u00FCcher.example\n\u65E5\u672C.example",
                                    "b\xC3\xBC"
                                    "cher.example\r\n\xE6\x97\xA5\xE6\x9C\xAC.example\r\n"},
                      RoundTripCase{"ByteOrderMarkIsKeptAsACharacter",
                                    "\xEF\xBB\xBF"
                                    "a\n",
                                    u"\uFEFFa",
                                    "\xEF\xBB\xBF"
                                    "a\r\n"},
                      RoundTripCase{"MalformedByteBeforeALineEnd", "c\xE9\r\nd\r\n", u"c\uFFFD\nd",
                                    "c\xEF\xBF\xBD\r\nd\r\n"},
                      RoundTripCase{"MalformedByteAtTheEnd", "a\xE9", u"a\uFFFD", "a\xEF\xBF\xBD\r\n"},
                      RoundTripCase{"StrayContinuationByte",
                                    "\x80"
                                    "a\n",
                                    u"?a", "?a\r\n"},
                      RoundTripCase{"LineLongerThanAnyBuffer", kLongLine + "\n" + "b",
                                    Utf8ToText(kLongLine) + u"\nb", kLongLine + "\r\nb\r\n"}),
    [](const ::testing::TestParamInfo<RoundTripCase>& tested) { return std::string(tested.param.name); });

// --- Edits that decide the file's length.

TEST_F(LoadAndSave, LineBreakAfterTheLastLineSavesAnEmptyLastLine) {
  folder_.Put({.sites = "a.example\r\n", .links = "l.example\r\n"});
  {
    Session run;
    run.user()
        .Answers(folder_.Password())
        .TypesInto(Editor::kSites, u"\n")
        .PressesSaveAllFiles()
        .ClicksOk()
        .ClosesTheWindow();
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), FilesSaved()}));
    EXPECT_EQ(folder_.Files(), (ListFiles{.sites = "a.example\r\n\r\n",
                                          .links = "l.example\r\n",
                                          .sites_backup = "a.example\r\n\r\n",
                                          .links_backup = "l.example\r\n"}));
  }
  // The next run loads the empty last line as an entry, and keeps it when it saves.
  Session next;
  next.user().Answers(folder_.Password()).PressesSaveAllFiles().ClicksOk().ClosesTheWindow();
  EXPECT_EQ(next.Run(), 0);
  EXPECT_EQ(next.EditorText(Editor::kSites), u"a.example\n");
  EXPECT_EQ(folder_.Read(kSitesFile), "a.example\r\n\r\n");
}

struct EmptyEditorCase {
  const char* name;
  std::optional<std::string> sites;  // as found; nullopt: missing
  bool empties_editor;               // the administrator deletes everything in the sites editor
  Dialogs at_start;
  std::string saved;  // the sites file and its backup after the save
  friend void PrintTo(const EmptyEditorCase& c, std::ostream* os) { *os << c.name; }
};

class SaveEmptyEditor : public ::testing::TestWithParam<EmptyEditorCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(SaveEmptyEditor, WritesWhatTheEditorsLinesAre) {
  const EmptyEditorCase& c = GetParam();
  folder_.Put({.sites = c.sites, .links = "l.example\r\n"});
  Session run;
  run.user().Answers(folder_.Password()).ClicksOk(static_cast<int>(c.at_start.size()));
  if (c.empties_editor) run.user().EmptiesEditor(Editor::kSites);
  run.user().PressesSaveAllFiles().ClicksOk().ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.at_start + Dialogs{FilesSaved()});
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = c.saved,
                                        .links = "l.example\r\n",
                                        .sites_backup = c.saved,
                                        .links_backup = "l.example\r\n"}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveEmptyEditor,
    ::testing::Values(
        EmptyEditorCase{"EditorEmptied", "a.example\r\nb.example\r\n", true, {}, ""},
        EmptyEditorCase{"FileWasEmpty", "", false, {}, ""},
        EmptyEditorCase{"FileWasMissing", std::nullopt, false, {SitesFileMissing()}, ""},
        // An editor whose first loaded line was empty keeps one empty line when everything is deleted.
        EmptyEditorCase{"EditorEmptiedAfterAnEmptyFirstLine", "\r\nx.example\r\n", true, {}, "\r\n"}),
    [](const ::testing::TestParamInfo<EmptyEditorCase>& tested) { return std::string(tested.param.name); });

TEST_F(LoadAndSave, MissingFileLeavesAnOlderBackupUntilTheFirstSaveAndSavesAgain) {
  folder_.Put({.links = "l.example\r\n", .sites_backup = "old.example\r\n"});
  Session run;
  run.user()
      .Answers(folder_.Password())
      .ClicksOk()
      .Meanwhile("looks at the files after start-up",
                 [&] {
                   EXPECT_EQ(folder_.Files(), (ListFiles{.links = "l.example\r\n",
                                                         .sites_backup = "old.example\r\n",
                                                         .links_backup = "l.example\r\n"}));
                 })
      .TypesInto(Editor::kSites, u"new.example")
      .PressesSaveAllFiles()
      .ClicksOk()
      .TypesInto(Editor::kSites, u"\nnext.example")  // a save after a save of this run is no outside change
      .PressesSaveAllFiles()
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), SitesFileMissing(), FilesSaved(), FilesSaved()}));
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = "new.example\r\nnext.example\r\n",
                                        .links = "l.example\r\n",
                                        .sites_backup = "new.example\r\nnext.example\r\n",
                                        .links_backup = "l.example\r\n"}));
}

// --- A read error part-way through a list file, which a real disk does not produce on demand: the file calls
// of the machine, except that reading one file fails once a given number of bytes has been handed out.

class ReadFailsPartWay final : public ForwardingOsFiles {
 public:
  ReadFailsPartWay(Text name, std::size_t good_bytes) : name_(std::move(name)), good_bytes_(good_bytes) {}

  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    std::optional<OsHandle> file = native_.OpenReadExclusive(name);
    if (file && name == name_) left_[*file] = good_bytes_;
    return file;
  }
  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    auto it = left_.find(file);
    if (it == left_.end()) return native_.Read(file, data, size);
    if (it->second == 0) return -1;
    const std::int64_t n = native_.Read(file, data, std::min(size, it->second));
    if (n > 0) it->second -= static_cast<std::size_t>(n);
    return n;
  }
  bool Close(OsHandle file) override {
    left_.erase(file);
    return native_.Close(file);
  }

 private:
  Text name_;
  std::size_t good_bytes_;
  std::map<OsHandle, std::size_t> left_;
};

std::string NumberedLines(int count) {
  std::string lines;
  for (int i = 1; i <= count; ++i) {
    std::string n = std::to_string(i);
    lines += "site-" + std::string(4 - n.size(), '0') + n + ".example\r\n";  // 19 bytes a line
  }
  return lines;
}

struct ReadErrorCase {
  const char* name;
  Editor list;
  std::string file;
  std::size_t good_bytes;  // read before the error
  Text editor;             // what was read: the editor's text
  Shown message;
  friend void PrintTo(const ReadErrorCase& c, std::ostream* os) { *os << c.name; }
};

class ReadErrorPartWay : public ::testing::TestWithParam<ReadErrorCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(ReadErrorPartWay, KeepsWhatWasReadAndSaysTheListIsIncomplete) {
  const ReadErrorCase& c = GetParam();
  const bool sites = c.list == Editor::kSites;
  const std::string other = "other.example\r\n";
  folder_.Put({.sites = sites ? c.file : other, .links = sites ? other : c.file});
  ReadFailsPartWay files(Utf8ToText(sites ? kSitesFile : kLinksFile), c.good_bytes);
  ScopedOsFiles installed(files);
  Session run;
  run.user()
      .Answers(folder_.Password())
      .Meanwhile("looks at the editor while the message is open",
                 [&] { EXPECT_EQ(run.EditorText(c.list), c.editor); })
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), c.message}));
  EXPECT_EQ(run.EditorText(sites ? Editor::kLinks : Editor::kSites), u"other.example");
  // The backup was copied whole before the reading began.
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = sites ? c.file : other,
                                        .links = sites ? other : c.file,
                                        .sites_backup = sites ? c.file : other,
                                        .links_backup = sites ? other : c.file}));
}

Text NumberedEditorText(int count) {
  Text text;
  const std::string lines = NumberedLines(count);
  for (char ch : lines) {
    if (ch == '\r') continue;
    text += static_cast<char16_t>(ch);
  }
  text.pop_back();  // the last line's break
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Program, ReadErrorPartWay,
    ::testing::Values(
        ReadErrorCase{"SitesAtALineEnd", Editor::kSites, NumberedLines(5), 2 * 19,
                      u"site-0001.example\nsite-0002.example", SitesReadIncomplete()},
        ReadErrorCase{"SitesInsideALine", Editor::kSites, NumberedLines(5), 2 * 19 + 7,
                      u"site-0001.example\nsite-0002.example\nsite-00", SitesReadIncomplete()},
        ReadErrorCase{"SitesAtTheFirstRead", Editor::kSites, NumberedLines(5), 0, u"", SitesReadIncomplete()},
        ReadErrorCase{"SitesAfterTheFirstBuffer", Editor::kSites, NumberedLines(400), 300 * 19,
                      NumberedEditorText(300), SitesReadIncomplete()},
        ReadErrorCase{"LinksInsideALine", Editor::kLinks, NumberedLines(5), 3 * 19 + 2,
                      u"site-0001.example\nsite-0002.example\nsite-0003.example\nsi", LinksReadIncomplete()}),
    [](const ::testing::TestParamInfo<ReadErrorCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace vw::testing
