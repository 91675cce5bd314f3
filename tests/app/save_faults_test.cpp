// Saving when a list file cannot be created or cannot be written, with real faults: a read-only file, a file
// another program holds open, and (on Linux) a file that stands for a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/program_fixture.h"
#include "files/list_file.h"
#include "files/os_file.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace vw::testing {
namespace {

// Keeps a file open, exclusively, the way another program would, until this object goes.
class HeldOpenElsewhere {
 public:
  explicit HeldOpenElsewhere(const fs::path& file) {
#ifdef _WIN32
    // A handle opened with share mode 0 keeps every other opening out, whichever process asks, this one's
    // list file procedures included. Each holder has a slot of its own, one the program never uses.
    for (slot_ = kFirstHolderSlot; slot_ < kFirstHolderSlot + 4 && Taken()[slot_ - kFirstHolderSlot];
         ++slot_) {
    }
    if (slot_ < kFirstHolderSlot + 4) held_ = OpenForReading(slot_, file.u16string());
    if (held_) Taken()[slot_ - kFirstHolderSlot] = true;
#else
    // A process of its own opens the file through the list file layer (an exclusive flock) and keeps it open
    // until the pipe from this one closes.
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    child_ = fork();
    if (child_ == 0) {
      // Only its own ends of its own pipes: a copy of another holder's release pipe would keep that one
      // alive.
      for (int fd = 3; fd < 1024; ++fd) {
        if (fd != ready[1] && fd != release[0]) close(fd);
      }
      const char opened = OpenForReading(kFirstHolderSlot, file.u16string()) ? '1' : '0';
      if (write(ready[1], &opened, 1) != 1) _exit(2);
      char any;
      while (read(release[0], &any, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char opened = '0';
    held_ = child_ > 0 && read(ready[0], &opened, 1) == 1 && opened == '1';
    close(ready[0]);
#endif
    EXPECT_TRUE(held_) << "could not hold " << file << " open";
  }

  ~HeldOpenElsewhere() {
#ifdef _WIN32
    if (held_) {
      CloseListFile(slot_);
      Taken()[slot_ - kFirstHolderSlot] = false;
    }
#else
    if (release_ >= 0) close(release_);
    if (child_ > 0) {
      int status = 0;
      waitpid(child_, &status, 0);
    }
#endif
  }

  HeldOpenElsewhere(const HeldOpenElsewhere&) = delete;
  HeldOpenElsewhere& operator=(const HeldOpenElsewhere&) = delete;

 private:
  static constexpr int kFirstHolderSlot = 12;
  bool held_ = false;
#ifdef _WIN32
  static std::array<bool, 4>& Taken() {
    static std::array<bool, 4> taken{};
    return taken;
  }
  int slot_ = 0;
#else
  pid_t child_ = -1;
  int release_ = -1;
#endif
};

enum class Fault { kNone, kReadOnly, kHeldOpen };

// Wine run as root (as CI runs it) keeps the read-only attribute but lets every write through, so that fault
// cannot be produced there; real Windows refuses, and on Linux the file layer itself refuses.
bool MachineWritesReadOnlyFiles(const ListsFolder& folder) {
#ifdef _WIN32
  const fs::path probe = folder.path().parent_path() / "read-only-probe.txt";
  std::ofstream(probe, std::ios::binary) << "probe";
  fs::permissions(probe, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace);
  const bool written = std::ofstream(probe, std::ios::binary | std::ios::app).is_open();
  fs::permissions(probe, fs::perms::owner_write, fs::perm_options::add);
  fs::remove(probe);
  return written;
#else
  (void)folder;
  return false;
#endif
}

const char* FaultName(Fault f) {
  switch (f) {
    case Fault::kNone:
      return "none";
    case Fault::kReadOnly:
      return "read-only";
    case Fault::kHeldOpen:
      return "held open by another process";
  }
  return "?";
}

// As found at start; the administrator then adds a line to each editor, so a save that happens shows.
const std::string kSitesAtStart = "alpha.example\n";
const std::string kLinksAtStart = "https://beta.example/page\n";
const std::string kSitesSaved = "alpha.example\r\ngamma.example\r\n";
const std::string kLinksSaved = "https://beta.example/page\r\nhttps://delta.example/page\r\n";

struct CreateFaultCase {
  const char* name;
  Fault sites;
  Fault links;
  Dialogs after_save;
  friend void PrintTo(const CreateFaultCase& c, std::ostream* os) { *os << c.name; }
};

class SaveWhenAFileCannotBeCreated : public ::testing::TestWithParam<CreateFaultCase> {
 protected:
  ListsFolder folder_;
  std::vector<std::unique_ptr<HeldOpenElsewhere>> holders_;  // released before the folder goes

  void Apply(Fault fault, const char* file) {
    if (fault == Fault::kReadOnly) folder_.MakeReadOnly(file);
    if (fault == Fault::kHeldOpen)
      holders_.push_back(std::make_unique<HeldOpenElsewhere>(folder_.File(file)));
  }
};

TEST_P(SaveWhenAFileCannotBeCreated, ReportsItAndLeavesThatFileAndItsBackupAsTheyWere) {
  const CreateFaultCase& c = GetParam();
  SCOPED_TRACE(std::string("sites file: ") + FaultName(c.sites) + ", links file: " + FaultName(c.links));
  if ((c.sites == Fault::kReadOnly || c.links == Fault::kReadOnly) && MachineWritesReadOnlyFiles(folder_))
    GTEST_SKIP() << "this machine writes read-only files";
  folder_.Put({.sites = kSitesAtStart, .links = kLinksAtStart});
  Session run;
  run.user()
      .Answers(folder_.Password())
      .TypesInto(Editor::kSites, u"\ngamma.example")
      .TypesInto(Editor::kLinks, u"\nhttps://delta.example/page")
      .Meanwhile("the faults begin",
                 [&] {
                   Apply(c.sites, kSitesFile);
                   Apply(c.links, kLinksFile);
                 })
      .PressesSaveAllFiles()
      .ClicksOk(static_cast<int>(c.after_save.size()))
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  holders_.clear();
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.after_save);
  const bool sites_written = c.sites == Fault::kNone;
  const bool links_written = c.links == Fault::kNone;
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = sites_written ? kSitesSaved : kSitesAtStart,
                                        .links = links_written ? kLinksSaved : kLinksAtStart,
                                        .sites_backup = sites_written ? kSitesSaved : kSitesAtStart,
                                        .links_backup = links_written ? kLinksSaved : kLinksAtStart}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveWhenAFileCannotBeCreated,
    ::testing::Values(
        CreateFaultCase{"SitesReadOnly", Fault::kReadOnly, Fault::kNone, {SitesNotCreated(), FilesSaved()}},
        CreateFaultCase{"SitesHeldOpen", Fault::kHeldOpen, Fault::kNone, {SitesNotCreated(), FilesSaved()}},
        CreateFaultCase{"LinksReadOnly", Fault::kNone, Fault::kReadOnly, {LinksNotCreated()}},
        CreateFaultCase{"LinksHeldOpen", Fault::kNone, Fault::kHeldOpen, {LinksNotCreated()}},
        CreateFaultCase{
            "BothReadOnly", Fault::kReadOnly, Fault::kReadOnly, {SitesNotCreated(), LinksNotCreated()}},
        CreateFaultCase{
            "BothHeldOpen", Fault::kHeldOpen, Fault::kHeldOpen, {SitesNotCreated(), LinksNotCreated()}},
        CreateFaultCase{"SitesReadOnlyLinksHeldOpen",
                        Fault::kReadOnly,
                        Fault::kHeldOpen,
                        {SitesNotCreated(), LinksNotCreated()}},
        CreateFaultCase{"SitesHeldOpenLinksReadOnly",
                        Fault::kHeldOpen,
                        Fault::kReadOnly,
                        {SitesNotCreated(), LinksNotCreated()}}),
    [](const ::testing::TestParamInfo<CreateFaultCase>& tested) { return std::string(tested.param.name); });

// A list file held open by another program at start cannot be loaded either; its backup is not made.
TEST(LoadWhenAFileIsHeldOpen, ReportsItAndLoadsTheOtherList) {
  ListsFolder folder;
  folder.Put({.sites = kSitesAtStart, .links = kLinksAtStart, .sites_backup = "old backup\r\n"});
  std::optional<HeldOpenElsewhere> holder;
  holder.emplace(folder.File(kSitesFile));
  Session run;
  run.user().Answers(folder.Password()).ClicksOk().ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  holder.reset();
  EXPECT_EQ(run.Transcript(), (Dialogs{PasswordPrompt(), SitesFileMissing()}));
  EXPECT_EQ(run.EditorText(Editor::kSites), u"");
  EXPECT_EQ(run.EditorText(Editor::kLinks), u"https://beta.example/page");
  EXPECT_EQ(folder.Files(), (ListFiles{.sites = kSitesAtStart,
                                       .links = kLinksAtStart,
                                       .sites_backup = "old backup\r\n",
                                       .links_backup = kLinksAtStart}));
}

// An editor that could not be created (on Windows: the rich edit library missing) holds no list: saving it
// would empty the file and then its backup. Its list is not written, the other one is.
struct MissingEditorCase {
  const char* name;
  std::vector<int> editors_fail;  // by creation: 0 the sites editor, 1 the links editor
  Dialogs after_save;
  friend void PrintTo(const MissingEditorCase& c, std::ostream* os) { *os << c.name; }
};

class SaveWhenAnEditorIsMissing : public ::testing::TestWithParam<MissingEditorCase> {};

TEST_P(SaveWhenAnEditorIsMissing, WritesNothingForItAndKeepsItsBackup) {
  const MissingEditorCase& c = GetParam();
  ListsFolder folder;
  folder.Put({.sites = kSitesAtStart, .links = kLinksAtStart});
  HeadlessPlatform::Options refusing;
  refusing.editors_fail = c.editors_fail;
  Session run(refusing);
  run.user()
      .Answers(folder.Password())
      .PressesSaveAllFiles()
      .ClicksOk(static_cast<int>(c.after_save.size()))
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.after_save);
  auto missing = [&](int editor) {
    return std::find(c.editors_fail.begin(), c.editors_fail.end(), editor) != c.editors_fail.end();
  };
  // Saved from the editors, the lists end their lines in CR LF.
  const std::string sites = missing(0) ? kSitesAtStart : "alpha.example\r\n";
  const std::string links = missing(1) ? kLinksAtStart : "https://beta.example/page\r\n";
  EXPECT_EQ(folder.Files(),
            (ListFiles{.sites = sites, .links = links, .sites_backup = sites, .links_backup = links}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveWhenAnEditorIsMissing,
    ::testing::Values(MissingEditorCase{"Sites", {0}, {SitesNotWritten(), FilesSaved()}},
                      MissingEditorCase{"Links", {1}, {LinksNotWritten()}},
                      MissingEditorCase{"Both", {0, 1}, {SitesNotWritten(), LinksNotWritten()}}),
    [](const ::testing::TestParamInfo<MissingEditorCase>& tested) { return std::string(tested.param.name); });

// The disk fails while one list file is written, at one of the three places where a write can fail: a write,
// the flush to disk, or the close. The machine's own file calls, except for that file while the disk is bad.
class DiskFailsFor final : public OsFiles {
 public:
  enum class At { kWrite, kFlush, kClose };
  DiskFailsFor(Text name, At at) : name_(std::move(name)), at_(at) {}

  void Repair() { repaired_ = true; }

  std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) override {
    return Watch(name, native_.CreateReplacement(name, first_attempt));
  }
  bool FinishReplacement(OsHandle file, bool keep) override { return native_.FinishReplacement(file, keep); }
  bool Write(OsHandle file, const char* data, std::size_t size) override {
    if (Failing(file, At::kWrite)) return false;
    return native_.Write(file, data, size);
  }
  bool Flush(OsHandle file) override { return native_.Flush(file) && !Failing(file, At::kFlush); }
  bool Close(OsHandle file) override {
    const bool failing = Failing(file, At::kClose);
    watched_.erase(file);
    return native_.Close(file) && !failing;
  }
  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    return native_.OpenReadExclusive(name);
  }
  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    return native_.Read(file, data, size);
  }
  bool Copy(TextView source, TextView target) override { return native_.Copy(source, target); }

 private:
  std::optional<OsHandle> Watch(TextView name, std::optional<OsHandle> file) {
    if (file && name == name_ && !repaired_) watched_.insert(*file);
    return file;
  }
  bool Failing(OsHandle file, At at) const { return at == at_ && watched_.count(file) != 0; }

  OsFiles& native_ = NativeOsFiles();
  Text name_;
  At at_;
  bool repaired_ = false;
  std::set<OsHandle> watched_;
};

struct DiskFaultCase {
  const char* name;
  bool sites;  // the sites file fails, else the links file
  DiskFailsFor::At at;
  Dialogs after_save;
  std::string failed_file;  // what the failed file holds afterwards
  friend void PrintTo(const DiskFaultCase& c, std::ostream* os) { *os << c.name; }
};

class SaveWhenTheDiskFails : public ::testing::TestWithParam<DiskFaultCase> {
 protected:
  ListsFolder folder_;
};

// A failed write is never reported as saved: the program says so and keeps the backup, the last good copy.
// The editors keep their text, so a save once the disk is repaired writes everything.
TEST_P(SaveWhenTheDiskFails, ReportsTheFailedWriteAndKeepsTheBackup) {
  const DiskFaultCase& c = GetParam();
  folder_.Put({.sites = kSitesAtStart, .links = kLinksAtStart});
  DiskFailsFor disk(Utf8ToText(c.sites ? kSitesFile : kLinksFile), c.at);
  ScopedOsFiles installed(disk);
  Session run;
  run.user()
      .Answers(folder_.Password())
      .TypesInto(Editor::kSites, u"\ngamma.example")
      .TypesInto(Editor::kLinks, u"\nhttps://delta.example/page")
      .PressesSaveAllFiles()
      .ClicksOk(static_cast<int>(c.after_save.size()))
      .Meanwhile("looks at the files, then the disk is repaired",
                 [&] {
                   EXPECT_EQ(folder_.Files(),
                             (ListFiles{.sites = c.sites ? c.failed_file : kSitesSaved,
                                        .links = c.sites ? kLinksSaved : c.failed_file,
                                        .sites_backup = c.sites ? kSitesAtStart : kSitesSaved,
                                        .links_backup = c.sites ? kLinksSaved : kLinksAtStart}));
                   disk.Repair();
                 })
      .PressesSaveAllFiles()
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.after_save + Dialogs{FilesSaved()});
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = kSitesSaved,
                                        .links = kLinksSaved,
                                        .sites_backup = kSitesSaved,
                                        .links_backup = kLinksSaved}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveWhenTheDiskFails,
    ::testing::Values(
        DiskFaultCase{"SitesWrite", true, DiskFailsFor::At::kWrite, {SitesNotWritten(), FilesSaved()}, ""},
        DiskFaultCase{
            "SitesFlush", true, DiskFailsFor::At::kFlush, {SitesNotWritten(), FilesSaved()}, kSitesSaved},
        DiskFaultCase{
            "SitesClose", true, DiskFailsFor::At::kClose, {SitesNotWritten(), FilesSaved()}, kSitesSaved},
        DiskFaultCase{"LinksWrite", false, DiskFailsFor::At::kWrite, {LinksNotWritten()}, ""},
        DiskFaultCase{"LinksFlush", false, DiskFailsFor::At::kFlush, {LinksNotWritten()}, kLinksSaved},
        DiskFaultCase{"LinksClose", false, DiskFailsFor::At::kClose, {LinksNotWritten()}, kLinksSaved}),
    [](const ::testing::TestParamInfo<DiskFaultCase>& tested) { return std::string(tested.param.name); });

#ifndef _WIN32
// The same with a real device: the list file stands for /dev/full, a disk that is always full. A write that
// fails is never reported as saved: the program says so, keeps the backup, and the editors keep their text,
// so a later save, once the disk has room again, writes everything.
struct FullDiskCase {
  const char* name;
  bool sites_full;
  bool links_full;
  Dialogs after_save;
  friend void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }
};

class SaveOnAFullDisk : public ::testing::TestWithParam<FullDiskCase> {
 protected:
  ListsFolder folder_;
};

// While it lives, no file of this process grows beyond 16 MiB: a write past that fails (EFBIG) instead of
// ending the process. Should the program ever copy the endless /dev/full over a backup, the test fails
// instead of filling the disk.
class FileSizeLimit {
 public:
  FileSizeLimit() {
    getrlimit(RLIMIT_FSIZE, &previous_);
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous_;
    limit.rlim_cur = rlim_t{16} << 20;
    if (previous_.rlim_max != RLIM_INFINITY && previous_.rlim_max < limit.rlim_cur)
      limit.rlim_cur = previous_.rlim_max;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = SIG_DFL;
};

TEST_P(SaveOnAFullDisk, ReportsTheFailedWriteAndKeepsTheBackup) {
  const FullDiskCase& c = GetParam();
  FileSizeLimit limit;
  folder_.Put({.sites = kSitesAtStart, .links = kLinksAtStart});
  auto make_full = [&](const char* file) {
    folder_.Remove(file);
    fs::create_symlink("/dev/full", folder_.File(file));
  };
  Session run;
  run.user()
      .Answers(folder_.Password())
      .TypesInto(Editor::kSites, u"\ngamma.example")
      .TypesInto(Editor::kLinks, u"\nhttps://delta.example/page")
      .Meanwhile("the disk fills up",
                 [&] {
                   if (c.sites_full) make_full(kSitesFile);
                   if (c.links_full) make_full(kLinksFile);
                 })
      .PressesSaveAllFiles()
      .ClicksOk(static_cast<int>(c.after_save.size()))
      .Meanwhile("looks at the backups, then the disk has room again",
                 [&] {
                   EXPECT_EQ(folder_.Read(kSitesBackup), c.sites_full ? kSitesAtStart : kSitesSaved);
                   EXPECT_EQ(folder_.Read(kLinksBackup), c.links_full ? kLinksAtStart : kLinksSaved);
                   EXPECT_EQ(fs::is_symlink(folder_.File(kSitesFile)), c.sites_full);
                   EXPECT_EQ(fs::is_symlink(folder_.File(kLinksFile)), c.links_full);
                   folder_.Remove(kSitesFile);
                   folder_.Remove(kLinksFile);
                 })
      .PressesSaveAllFiles()
      .ClicksOk()
      .ClosesTheWindow();

  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.Transcript(), Dialogs{PasswordPrompt()} + c.after_save + Dialogs{FilesSaved()});
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = kSitesSaved,
                                        .links = kLinksSaved,
                                        .sites_backup = kSitesSaved,
                                        .links_backup = kLinksSaved}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveOnAFullDisk,
    ::testing::Values(FullDiskCase{"Sites", true, false, {SitesNotWritten(), FilesSaved()}},
                      FullDiskCase{"Links", false, true, {LinksNotWritten()}},
                      FullDiskCase{"Both", true, true, {SitesNotWritten(), LinksNotWritten()}}),
    [](const ::testing::TestParamInfo<FullDiskCase>& tested) { return std::string(tested.param.name); });

// Started under a file-size limit smaller than the sites list (ulimit -f 8): every write beyond the limit
// fails as on a full disk, in a child process of its own. The backup at start is not made (the old one
// stays), the save says the sites file was not written and keeps its backup, the links list is saved, the
// exit code is 0.
TEST(FileSizeLimit, AWriteBeyondItFailsLikeOneOnAFullDisk) {
  constexpr rlim_t kLimit = 8192;
  ListsFolder folder;
  std::string sites;
  for (int i = 0; sites.size() < 3 * kLimit; ++i) sites += "site-" + std::to_string(i) + ".example\n";
  folder.Put({.sites = sites,
              .links = kLinksAtStart,
              .sites_backup = "old sites backup\r\n",
              .links_backup = "old links backup\r\n"});
  int transcript[2];
  ASSERT_EQ(pipe(transcript), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(transcript[0]);
    signal(SIGXFSZ, SIG_DFL);  // as a shell leaves it
    const rlimit limit{kLimit, kLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    Session run;
    run.user()
        .Answers(folder.Password())
        .TypesInto(Editor::kLinks, u"\nhttps://delta.example/page")
        .PressesSaveAllFiles()
        .ClicksOk(2)
        .ClosesTheWindow();
    const int code = run.Run();
    const std::string shown = ::testing::PrintToString(run.Transcript());
    if (write(transcript[1], shown.data(), shown.size()) != static_cast<ssize_t>(shown.size())) _exit(11);
    _exit(code);
  }
  close(transcript[1]);
  std::string shown;
  char chunk[4096];
  for (ssize_t n; (n = read(transcript[0], chunk, sizeof chunk)) > 0;)
    shown.append(chunk, static_cast<std::size_t>(n));
  close(transcript[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(shown, ::testing::PrintToString(Dialogs{PasswordPrompt(), SitesNotWritten(), FilesSaved()}));
  std::string sites_saved;
  for (std::size_t at = 0, end; (end = sites.find('\n', at)) != std::string::npos; at = end + 1)
    sites_saved += sites.substr(at, end - at) + "\r\n";
  EXPECT_EQ(folder.Files(), (ListFiles{.sites = sites_saved.substr(0, kLimit),
                                       .links = kLinksSaved,
                                       .sites_backup = "old sites backup\r\n",
                                       .links_backup = kLinksSaved}));
}
#endif

}  // namespace
}  // namespace vw::testing
