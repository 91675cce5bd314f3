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
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
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

enum class Fault { kNone, kReadOnly, kHeldOpen, kChangedElsewhere, kSameSizeElsewhere };

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
    case Fault::kChangedElsewhere:
      return "a line added by another program";
    case Fault::kSameSizeElsewhere:
      return "a letter changed by another program";
  }
  return "?";
}

// As found at start; the administrator then adds a line to each editor, so a save that happens shows.
const std::string kSitesAtStart = "alpha.example\n";
const std::string kLinksAtStart = "https://beta.example/page\n";
const std::string kSitesSaved = "alpha.example\r\ngamma.example\r\n";
const std::string kAddedElsewhere = "outside.example\r\n";
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
    if (fault == Fault::kChangedElsewhere || fault == Fault::kSameSizeElsewhere)
      folder_.Write(file, Left(fault, *folder_.Read(file)));
  }
  // What a file that was not written holds at the end.
  static std::string Left(Fault fault, std::string at_start) {
    if (fault == Fault::kSameSizeElsewhere) at_start[0] = 'A';
    return fault == Fault::kChangedElsewhere ? at_start + kAddedElsewhere : at_start;
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
  EXPECT_EQ(folder_.Files(), (ListFiles{.sites = sites_written ? kSitesSaved : Left(c.sites, kSitesAtStart),
                                        .links = links_written ? kLinksSaved : Left(c.links, kLinksAtStart),
                                        .sites_backup = sites_written ? kSitesSaved : kSitesAtStart,
                                        .links_backup = links_written ? kLinksSaved : kLinksAtStart}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveWhenAFileCannotBeCreated,
    ::testing::Values(
        CreateFaultCase{"SitesReadOnly", Fault::kReadOnly, Fault::kNone, {SitesNotCreated()}},
        CreateFaultCase{"SitesHeldOpen", Fault::kHeldOpen, Fault::kNone, {SitesNotCreated()}},
        CreateFaultCase{"LinksReadOnly", Fault::kNone, Fault::kReadOnly, {LinksNotCreated()}},
        CreateFaultCase{"LinksHeldOpen", Fault::kNone, Fault::kHeldOpen, {LinksNotCreated()}},
        CreateFaultCase{
            "BothReadOnly", Fault::kReadOnly, Fault::kReadOnly, {SitesNotCreated(), LinksNotCreated()}},
        CreateFaultCase{
            "BothHeldOpen", Fault::kHeldOpen, Fault::kHeldOpen, {SitesNotCreated(), LinksNotCreated()}},
        CreateFaultCase{
            "SitesChangedElsewhere", Fault::kChangedElsewhere, Fault::kNone, {SitesChangedOnDisk()}},
        CreateFaultCase{
            "LinksChangedElsewhere", Fault::kNone, Fault::kChangedElsewhere, {LinksChangedOnDisk()}},
        CreateFaultCase{
            "SitesChangedInPlaceSameSize", Fault::kSameSizeElsewhere, Fault::kNone, {SitesChangedOnDisk()}},
        CreateFaultCase{"BothChangedElsewhere",
                        Fault::kChangedElsewhere,
                        Fault::kChangedElsewhere,
                        {SitesChangedOnDisk(), LinksChangedOnDisk()}},
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
    ::testing::Values(MissingEditorCase{"Sites", {0}, {SitesNotWritten()}},
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
  friend void PrintTo(const DiskFaultCase& c, std::ostream* os) { *os << c.name; }
};

class SaveWhenTheDiskFails : public ::testing::TestWithParam<DiskFaultCase> {
 protected:
  ListsFolder folder_;
};

// A failed write is never reported as saved: the program says so, and keeps the list and its backup as they
// were. The editors keep their text, so a save once the disk is repaired writes everything.
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
                             (ListFiles{.sites = c.sites ? kSitesAtStart : kSitesSaved,
                                        .links = c.sites ? kLinksSaved : kLinksAtStart,
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
    ::testing::Values(DiskFaultCase{"SitesWrite", true, DiskFailsFor::At::kWrite, {SitesNotWritten()}},
                      DiskFaultCase{"SitesFlush", true, DiskFailsFor::At::kFlush, {SitesNotWritten()}},
                      DiskFaultCase{"SitesClose", true, DiskFailsFor::At::kClose, {SitesNotWritten()}},
                      DiskFaultCase{"LinksWrite", false, DiskFailsFor::At::kWrite, {LinksNotWritten()}},
                      DiskFaultCase{"LinksFlush", false, DiskFailsFor::At::kFlush, {LinksNotWritten()}},
                      DiskFaultCase{"LinksClose", false, DiskFailsFor::At::kClose, {LinksNotWritten()}}),
    [](const ::testing::TestParamInfo<DiskFaultCase>& tested) { return std::string(tested.param.name); });

#ifndef _WIN32
// Real faults met by a real save, each in a child process of its own running the whole program: a disk too
// small for the new list, a file-size limit (ulimit -f), a named pipe in a list's place, a kill in the middle
// of a save. Whatever happens, every list and backup is afterwards one whole version of itself, byte for
// byte; a failure is said, and never followed by "Files Saved".
enum class RealFault { kDiskTooSmall, kFileSizeLimit, kPipeAsSites, kSitesBackupReadOnly, kKilledMidSave };

struct RealFaultCase {
  const char* name;
  RealFault fault;
  ListFiles at_start;
  Dialogs at_start_shown;  // after the password prompt
  Dialogs after_save;
  ListFiles after;  // for a killed save: either this or `at_start`, file by file
  friend void PrintTo(const RealFaultCase& c, std::ostream* os) { *os << c.name; }
};

std::string Lines(const char* form, int count, const char* end) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += form + std::to_string(i) + ".example" + end;
  return lines;
}

constexpr rlim_t kSizeLimit = 8192;
const std::string kSitesOfALimit = Lines("site-", 1400, "\n");  // about three times the limit
const std::string kMillionSites = Lines("s", 1000000, "\r\n");
const std::string kPipe = "(not a regular file)";  // how ListsFolder shows it

// A tmpfs of `bytes` mounted on the folder, which stays the working directory.
class SmallDisk {
 public:
  SmallDisk(const ListsFolder& folder, std::size_t bytes) : folder_(folder) {
    const std::string size = "size=" + std::to_string(bytes);
    mounted_ = ::mount("vw-test", folder.path().c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (mounted_) fs::current_path(folder.path());  // into the new file system
  }
  ~SmallDisk() {
    if (!mounted_) return;
    fs::current_path(folder_.path().parent_path());
    ::umount2(folder_.path().c_str(), MNT_DETACH);
    fs::current_path(folder_.path());
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  const ListsFolder& folder_;
  bool mounted_ = false;
};

// Fills the disk the folder is on, leaving `left` bytes.
void FillLeaving(const ListsFolder& folder, std::size_t left) {
  const int fd = ::open(folder.File("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string block(4096, 'f');
  off_t size = 0;
  for (ssize_t n; (n = ::write(fd, block.data(), block.size())) > 0;) size += n;
  if (::ftruncate(fd, size - static_cast<off_t>(left)) != 0) std::abort();
  ::close(fd);
}

std::set<std::string> Leaves(const fs::path& folder) {
  std::set<std::string> leaves;
  for (const auto& e : fs::directory_iterator(folder)) leaves.insert(e.path().filename().string());
  return leaves;
}

class SaveMeetsARealFault : public ::testing::TestWithParam<RealFaultCase> {
 protected:
  ListsFolder folder_;
};

TEST_P(SaveMeetsARealFault, LeavesEveryFileWholeAndSaysSo) {
  const RealFaultCase& c = GetParam();
  std::optional<SmallDisk> disk;
  if (c.fault == RealFault::kDiskTooSmall) {
    disk.emplace(folder_, 256 * 1024);
    if (!disk->mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << std::strerror(errno);
  }
  folder_.Put(c.at_start);
  if (c.fault == RealFault::kPipeAsSites) {
    folder_.Remove(kSitesFile);
    ASSERT_EQ(::mkfifo(folder_.File(kSitesFile).c_str(), 0644), 0);
  }
  if (c.fault == RealFault::kSitesBackupReadOnly) folder_.MakeReadOnly(kSitesBackup);
  int transcript[2];
  ASSERT_EQ(pipe(transcript), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(transcript[0]);
    alarm(120);                // a save that blocks ends the child, and the test fails, instead of hanging
    signal(SIGXFSZ, SIG_DFL);  // as a shell leaves it
    const rlimit limit{kSizeLimit, kSizeLimit};
    if (c.fault == RealFault::kFileSizeLimit && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    Session run;
    run.user()
        .Answers(folder_.Password())
        .ClicksOk(static_cast<int>(c.at_start_shown.size()))
        .TypesInto(Editor::kSites, u"\ngamma.example")
        .TypesInto(Editor::kLinks, u"\nhttps://delta.example/page")
        .Meanwhile("the disk fills up",
                   [&] {
                     if (c.fault == RealFault::kDiskTooSmall) FillLeaving(folder_, 12 * 1024);
                   })
        .PressesSaveAllFiles()
        .ClicksOk(static_cast<int>(c.after_save.size()))
        .ClosesTheWindow();
    const int code = run.Run();
    const std::string shown = ::testing::PrintToString(run.Transcript());
    if (write(transcript[1], shown.data(), shown.size()) != static_cast<ssize_t>(shown.size())) _exit(11);
    _exit(code);
  }
  close(transcript[1]);
  if (c.fault == RealFault::kKilledMidSave) {
    // Killed as soon as the save has begun to write: a new file beside the list, or the list itself changed.
    const auto size = static_cast<std::uintmax_t>(c.at_start.sites->size());
    for (bool writing = false; !writing && waitpid(child, nullptr, WNOHANG) == 0;) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(folder_.path(), ec))
        writing = writing || (e.path().filename().string().starts_with(std::string(".") + kSitesFile) &&
                              e.file_size(ec) > 0);
      const std::uintmax_t now = fs::file_size(folder_.File(kSitesFile), ec);
      writing = writing || (!ec && now != size);
      if (writing) kill(child, SIGKILL);
    }
  }
  std::string shown;
  char chunk[4096];
  for (ssize_t n; (n = read(transcript[0], chunk, sizeof chunk)) > 0;)
    shown.append(chunk, static_cast<std::size_t>(n));
  close(transcript[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const ListFiles files = folder_.Files();
  if (c.fault == RealFault::kKilledMidSave) {
    if (!WIFSIGNALED(status)) std::cout << "the save ended before the kill: the new content is checked\n";
    if (WIFSIGNALED(status))
      std::cout << "killed with " << files.sites->size() << " bytes in the sites list\n";
    const auto one_of = [](const std::optional<std::string>& got, const std::optional<std::string>& a,
                           const std::optional<std::string>& b) { return got == a || got == b; };
    EXPECT_TRUE(one_of(files.sites, c.at_start.sites, c.after.sites))
        << "sites: cut to " << files.sites->size();
    EXPECT_TRUE(one_of(files.sites_backup, c.at_start.sites_backup, c.after.sites_backup));
    EXPECT_TRUE(one_of(files.links, c.at_start.links, c.after.links));
    EXPECT_TRUE(one_of(files.links_backup, c.at_start.links_backup, c.after.links_backup));
    return;
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(shown, ::testing::PrintToString(Dialogs{PasswordPrompt()} + c.at_start_shown + c.after_save));
  EXPECT_EQ(files, c.after);
  std::set<std::string> expected{kSitesFile, kLinksFile, kSitesBackup, kLinksBackup};
  if (c.fault == RealFault::kDiskTooSmall) expected.insert("filler");
  EXPECT_EQ(Leaves(folder_.path()), expected) << "nothing is left beside the lists";
}

INSTANTIATE_TEST_SUITE_P(
    Program, SaveMeetsARealFault,
    ::testing::Values(
        // The new sites list does not fit: it stays whole; the links list fits and is saved.
        RealFaultCase{"DiskTooSmall",
                      RealFault::kDiskTooSmall,
                      {.sites = Lines("site-", 1000, "\r\n"), .links = kLinksAtStart},
                      {},
                      {SitesNotWritten()},
                      {.sites = Lines("site-", 1000, "\r\n"),
                       .links = kLinksSaved,
                       .sites_backup = Lines("site-", 1000, "\r\n"),
                       .links_backup = kLinksSaved}},
        // ulimit -f 8: the backup at start fails (the old one stays), then the save of the sites list.
        RealFaultCase{"FileSizeLimit",
                      RealFault::kFileSizeLimit,
                      {.sites = kSitesOfALimit,
                       .links = kLinksAtStart,
                       .sites_backup = "old sites backup\r\n",
                       .links_backup = "old links backup\r\n"},
                      {},
                      {SitesNotWritten()},
                      {.sites = kSitesOfALimit,
                       .links = kLinksSaved,
                       .sites_backup = "old sites backup\r\n",
                       .links_backup = kLinksSaved}},
        // A pipe is neither loaded, backed up nor written into: the save is refused at once.
        RealFaultCase{"PipeAsSites",
                      RealFault::kPipeAsSites,
                      {.sites = "", .links = kLinksAtStart, .sites_backup = "old sites backup\r\n"},
                      {SitesFileMissing()},
                      {SitesNotCreated()},
                      {.sites = kPipe,
                       .links = kLinksSaved,
                       .sites_backup = "old sites backup\r\n",
                       .links_backup = kLinksSaved}},
        // The backup copies fail (silently, as always): the save is not confirmed, its backups were not made.
        RealFaultCase{
            "SitesBackupReadOnly",
            RealFault::kSitesBackupReadOnly,
            {.sites = kSitesAtStart, .links = kLinksAtStart, .sites_backup = "old sites backup\r\n"},
            {},
            {},
            {.sites = kSitesSaved,
             .links = kLinksSaved,
             .sites_backup = "old sites backup\r\n",
             .links_backup = kLinksSaved}},
        // Killed while the sites list of 1,000,000 lines is being saved: each file is the old or the new one.
        RealFaultCase{"KilledMidSave",
                      RealFault::kKilledMidSave,
                      {.sites = kMillionSites,
                       .links = kLinksAtStart,
                       .sites_backup = kMillionSites,
                       .links_backup = kLinksAtStart},
                      {},
                      {},
                      {.sites = kMillionSites + "gamma.example\r\n",
                       .links = kLinksSaved,
                       .sites_backup = kMillionSites + "gamma.example\r\n",
                       .links_backup = kLinksSaved}}),
    [](const ::testing::TestParamInfo<RealFaultCase>& tested) { return std::string(tested.param.name); });
#endif

}  // namespace
}  // namespace vw::testing
