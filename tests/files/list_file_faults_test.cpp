// Faults: files held by this or another process, read-only files, a full disk, a size limit, and (through the
// in-memory layer) what a real machine cannot produce on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "files/list_file.h"
#include "files/list_file_test_util.h"
#include "files/memory_os_files.h"

#ifdef _WIN32
#include <process.h>
#include <stdlib.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vw {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

constexpr char kContent[] = "site.example\r\nother.example\r\n";

// What every other opening of a held file must do: fail. (Whether the file is as it was can only be looked at
// once it is free again: on Windows, even the test's own reading of it is refused while it is held.)
void ExpectHeldElsewhere(const TempDir& dir, const std::string& leaf) {
  const Text name = dir.Name(leaf);
  EXPECT_FALSE(OpenForReading(4, name));
  EXPECT_TRUE(AtEnd(4));  // the slot stayed free
  EXPECT_FALSE(CreateForWriting(5, name));
  EXPECT_FALSE(WriteLine(5, u"must not arrive"));
  EXPECT_FALSE(CopyOver(name, dir.Name("copy-of-held.txt")));
  WriteBytes(dir.File("other.txt"), "other\r\n");
  EXPECT_FALSE(CopyOver(dir.Name("other.txt"), name));
}

// Once it is let go of: unchanged, and open to this process again.
void ExpectFreeAgain(const TempDir& dir, const std::string& leaf) {
  EXPECT_EQ(ReadBytes(dir.File(leaf)), kContent);
  ASSERT_TRUE(OpenForReading(4, dir.Name(leaf)));
  EXPECT_EQ(ReadLine(4), u"site.example");
  EXPECT_TRUE(CloseListFile(4));
}

TEST(ListFileExclusiveTest, SecondOpeningInThisProcessFails) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  ASSERT_TRUE(OpenForReading(0, dir.Name("list.txt")));
  ExpectHeldElsewhere(dir, "list.txt");
  EXPECT_EQ(ReadLine(0), u"site.example");  // the holder reads on undisturbed
  EXPECT_TRUE(CloseListFile(0));
  ExpectFreeAgain(dir, "list.txt");
}

TEST(ListFileExclusiveTest, FileBeingWrittenCannotBeOpened) {
  TempDir dir;
  ASSERT_TRUE(CreateForWriting(1, dir.Name("list.txt")));
  EXPECT_FALSE(OpenForReading(0, dir.Name("list.txt")));
  EXPECT_FALSE(CreateForWriting(2, dir.Name("list.txt")));
  EXPECT_TRUE(WriteLine(1, u"site.example"));
  EXPECT_TRUE(WriteLine(1, u"other.example"));
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(ReadBytes(dir.File("list.txt")), kContent);
}

#ifndef _WIN32

// Another process holds the file: this one can neither read, create, nor copy it.
TEST(ListFileExclusiveTest, AnotherProcessHoldsTheFile) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const char opened = OpenForReading(0, dir.Name("list.txt")) ? 'y' : 'n';
    if (write(ready[1], &opened, 1) != 1) _exit(2);
    char go;
    if (read(release[0], &go, 1) != 1) _exit(3);
    _exit(CloseListFile(0) ? 0 : 4);
  }
  char opened = 0;
  ASSERT_EQ(read(ready[0], &opened, 1), 1);
  ASSERT_EQ(opened, 'y');
  ExpectHeldElsewhere(dir, "list.txt");
  ASSERT_EQ(write(release[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ExpectFreeAgain(dir, "list.txt");
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

// This process holds the file: another process can neither read nor create it.
TEST(ListFileExclusiveTest, AnotherProcessIsRefused) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  ASSERT_TRUE(OpenForReading(0, dir.Name("list.txt")));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int result = 0;
    if (OpenForReading(1, dir.Name("list.txt"))) result |= 1;
    if (CreateForWriting(2, dir.Name("list.txt"))) result |= 2;
    if (CopyOver(dir.Name("list.txt"), dir.Name("copy.txt"))) result |= 4;
    _exit(result);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "bit 1: read, 2: create, 4: copy succeeded";
  EXPECT_TRUE(CloseListFile(0));
  EXPECT_EQ(ReadBytes(dir.File("list.txt")), kContent);
}

#else

// Another process (list_file_holder.exe, beside this test) holds the file through share mode 0.
TEST(ListFileExclusiveTest, AnotherProcessHoldsTheFile) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  const char* self = _pgmptr;  // this program's full path
  ASSERT_NE(self, nullptr);
  const std::string holder = (fs::path(self).parent_path() / "list_file_holder.exe").string();
  const auto quoted = [](const fs::path& p) { return "\"" + p.string() + "\""; };
  const std::string args[] = {quoted(dir.File("list.txt")), quoted(dir.File("ready")),
                              quoted(dir.File("release"))};
  const intptr_t process = _spawnl(_P_NOWAIT, holder.c_str(), "list_file_holder", args[0].c_str(),
                                   args[1].c_str(), args[2].c_str(), static_cast<const char*>(nullptr));
  ASSERT_NE(process, -1) << holder;
  for (int i = 0; i < 600 && !fs::exists(dir.File("ready")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(fs::exists(dir.File("ready")));
  ExpectHeldElsewhere(dir, "list.txt");
  WriteBytes(dir.File("release"), "");
  int status = -1;
  ASSERT_EQ(_cwait(&status, process, _WAIT_CHILD), process);
  EXPECT_EQ(status, 0);
  ExpectFreeAgain(dir, "list.txt");
}

#endif

// Makes a file read-only: no write bit at all (on Windows, the read-only attribute).
void MakeReadOnly(const fs::path& file) {
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// Wine run as root (as CI runs it) keeps the read-only attribute but lets every write through, so the fault
// cannot be produced there; real Windows refuses, and on Linux the layer itself refuses.
bool PlatformIgnoresReadOnly(const fs::path& file) {
#ifdef _WIN32
  return std::ofstream(file, std::ios::binary | std::ios::app).is_open();
#else
  (void)file;
  return false;
#endif
}

TEST(ListFileReadOnlyTest, CreateForWritingFailsAndLeavesTheFile) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  MakeReadOnly(dir.File("list.txt"));
  if (PlatformIgnoresReadOnly(dir.File("list.txt"))) GTEST_SKIP() << "this machine writes read-only files";
  EXPECT_FALSE(CreateForWriting(1, dir.Name("list.txt")));
  EXPECT_FALSE(WriteLine(1, u"x"));
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(ReadBytes(dir.File("list.txt")), kContent);
  // It can still be read.
  ASSERT_TRUE(OpenForReading(0, dir.Name("list.txt")));
  EXPECT_EQ(ReadLine(0), u"site.example");
  EXPECT_TRUE(CloseListFile(0));
}

TEST(ListFileReadOnlyTest, CopyOverAReadOnlyTargetFails) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), "new\r\n");
  WriteBytes(dir.File("list-BK.txt"), kContent);
  MakeReadOnly(dir.File("list-BK.txt"));
  if (PlatformIgnoresReadOnly(dir.File("list-BK.txt"))) GTEST_SKIP() << "this machine writes read-only files";
  EXPECT_FALSE(CopyOver(dir.Name("list.txt"), dir.Name("list-BK.txt")));
  EXPECT_EQ(ReadBytes(dir.File("list-BK.txt")), kContent);
  // A read-only source copies as usual.
  MakeReadOnly(dir.File("list.txt"));
  EXPECT_TRUE(CopyOver(dir.Name("list.txt"), dir.Name("copy.txt")));
  EXPECT_EQ(ReadBytes(dir.File("copy.txt")), "new\r\n");
}

#ifndef _WIN32

// Lists are read, written and copied from and to regular files only: a directory, a pipe or a device would
// otherwise block the program, load an endless run of empty lines, or swallow a saved list. Each is refused
// at once (a pipe nobody reads included), never opened for writing, and a file copied from or over one is
// left as it was.
TEST(ListFileNotARegularFileTest, ReadingWritingAndCopyingRefuseIt) {
  TempDir dir;
  fs::create_directory(dir.File("folder"));
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", dir.File("zeros"));
  fs::create_symlink("/dev/full", dir.File("full"));
  fs::create_symlink("pipe", dir.File("link-to-pipe"));
  // Another program waits to read the pipe: no list or backup ever opens it for writing.
  std::atomic<bool> met_a_writer = false;
  std::thread reader([&] {
    const int fd = ::open(dir.File("pipe").c_str(), O_RDONLY);  // returns once a writer opens it
    met_a_writer = true;
    if (fd >= 0) ::close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // for the reader to be waiting
  for (const char* leaf : {"folder", "pipe", "zeros", "full", "link-to-pipe"}) {
    const fs::file_type kind = fs::status(dir.File(leaf)).type();
    EXPECT_FALSE(OpenForReading(0, dir.Name(leaf))) << leaf;
    EXPECT_TRUE(AtEnd(0)) << leaf << ": the slot stays free";
    EXPECT_FALSE(CreateForWriting(1, dir.Name(leaf))) << leaf;
    EXPECT_FALSE(WriteLine(1, u"must not arrive")) << leaf << ": the slot stays free";
    WriteBytes(dir.File("backup.txt"), kContent);
    EXPECT_FALSE(CopyOver(dir.Name(leaf), dir.Name("backup.txt"))) << leaf;
    EXPECT_EQ(ReadBytes(dir.File("backup.txt")), kContent) << leaf;
    EXPECT_FALSE(CopyOver(dir.Name("backup.txt"), dir.Name(leaf))) << leaf;
    EXPECT_EQ(fs::status(dir.File(leaf)).type(), kind) << leaf;
  }
  EXPECT_FALSE(met_a_writer) << "the pipe was opened for writing";
  // Lets the reader go, when it still waits (a non-blocking opening fails at once when nobody reads).
  const int release = ::open(dir.File("pipe").c_str(), O_WRONLY | O_NONBLOCK);
  reader.join();
  if (release >= 0) ::close(release);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 6) << "nothing left beside the files";
}

// A list or backup that is a symbolic link: the file it points to gets the new content, and the link stays.
// A link that leads nowhere is refused and left as it is: the file it names is never made through it.
TEST(ListFileSymbolicLinkTest, TheFileLinkedToIsReplacedAndTheLinkStays) {
  struct Case {
    const char* why;
    bool save;      // saved through CreateForWriting, else copied over with CopyOver
    bool dangling;  // the link points to a file that does not exist
  } const cases[] = {
      {"a list saved through a link", true, false},
      {"a backup copied through a link", false, false},
      {"a list behind a dangling link", true, true},
      {"a backup behind a dangling link", false, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_directory(dir.File("real"));
    if (!c.dangling) WriteBytes(dir.File("real/target.txt"), "old\r\n");
    fs::create_symlink("real/target.txt", dir.File("link.txt"));
    WriteBytes(dir.File("source.txt"), kContent);
    bool done;
    if (c.save) {
      done = CreateForWriting(1, dir.Name("link.txt")) && WriteLine(1, u"site.example") &&
             WriteLine(1, u"other.example") && CloseListFile(1);
    } else {
      done = CopyOver(dir.Name("source.txt"), dir.Name("link.txt"));
    }
    EXPECT_EQ(done, !c.dangling) << c.why;
    EXPECT_TRUE(fs::is_symlink(dir.File("link.txt"))) << c.why;
    EXPECT_EQ(fs::read_symlink(dir.File("link.txt")), "real/target.txt") << c.why;
    if (c.dangling) {
      EXPECT_FALSE(fs::exists(dir.File("real/target.txt"))) << c.why;
    } else {
      EXPECT_EQ(ReadBytes(dir.File("real/target.txt")), kContent) << c.why;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("real")), {}), c.dangling ? 0 : 1) << c.why;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3) << c.why;
  }
}

#endif

// A small file system of its own for one test. On Linux a tmpfs mounted on a fresh folder, unmounted at the
// end. On Windows (under Wine) a small drive made beforehand and named by VW_SMALL_DRIVE, such as S:\\ (see
// scripts/wine-small-drive.sh): a fresh folder on it.
class SmallFileSystem {
 public:
#ifndef _WIN32
  explicit SmallFileSystem(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("vw-test", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) why_ = std::string("cannot mount a tmpfs (needs root): ") + std::strerror(errno);
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
#else
  explicit SmallFileSystem(std::size_t) : dir_(Drive()) {
    const char* drive = std::getenv("VW_SMALL_DRIVE");
    mounted_ = drive != nullptr && *drive != 0;
    if (!mounted_) why_ = "VW_SMALL_DRIVE names no small drive (scripts/wine-small-drive.sh makes one)";
  }
  static fs::path Drive() {
    const char* drive = std::getenv("VW_SMALL_DRIVE");
    return drive != nullptr && *drive != 0 ? fs::path(drive) : fs::temp_directory_path();
  }
#endif
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  const TempDir& dir() const {
    return dir_;
  }
  bool mounted() const {
    return mounted_;
  }
  const std::string& why() const {
    return why_;
  }

  // Fills every free byte with a file of its own, then gives `left` bytes back.
  void FillLeaving(std::size_t left) const {
    std::FILE* filler = std::fopen(dir_.File("filler").string().c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    std::setvbuf(filler, nullptr, _IONBF, 0);
    const std::string block(4096, 'f');
    std::uintmax_t size = 0;
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) size += block.size();
    std::fclose(filler);
    ASSERT_GT(size, left);
    fs::resize_file(dir_.File("filler"), size - left);
  }

 private:
  TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

std::set<std::string> Leaves(const fs::path& folder) {
  std::set<std::string> leaves;
  for (const auto& e : fs::directory_iterator(folder)) leaves.insert(e.path().filename().string());
  return leaves;
}

// The disk fills up while a list is saved or copied over its backup: the file is replaced whole or not at
// all, and nothing is left beside it. Once there is room again, the same save or copy replaces it whole and
// keeps its permission bits.
TEST(ListFileDiskFullTest, ReplacementThatDoesNotFitLeavesTheFileAsItWas) {
  std::string list;
  for (int i = 0; list.size() < 100000; ++i) list += "site-" + std::to_string(i) + ".example\r\n";
  for (const bool save : {true, false}) {
    for (const bool target_exists : {true, false}) {
      SCOPED_TRACE(std::string(save ? "save" : "copy") +
                   (target_exists ? ", the file exists" : ", no file yet"));
      const SmallFileSystem disk(256 * 1024);
      if (!disk.mounted()) GTEST_SKIP() << disk.why();
      const TempDir& dir = disk.dir();
      const std::string target = save ? "list.txt" : "list-BK.txt";
      if (!save) WriteBytes(dir.File("list.txt"), list);
      if (target_exists) WriteBytes(dir.File(target), kContent);
      const auto replace = [&] {
        if (!save) return CopyOver(dir.Name("list.txt"), dir.Name(target));
        if (!CreateForWriting(1, dir.Name(target))) return false;
        bool written = true;
        for (std::size_t at = 0, end; (end = list.find('\r', at)) != std::string::npos; at = end + 2)
          written = WriteLine(1, Utf8ToText(list.substr(at, end - at))) && written;
        return CloseListFile(1) && written;
      };
      std::set<std::string> before = Leaves(dir.path());
      before.insert("filler");
      disk.FillLeaving(40 * 1024);  // room for less than half of the list

      EXPECT_FALSE(replace());
      EXPECT_EQ(Leaves(dir.path()), before);
      EXPECT_EQ(fs::exists(dir.File(target)), target_exists);
      EXPECT_EQ(testing::Hex(ReadBytes(dir.File(target))), testing::Hex(target_exists ? kContent : ""));

      fs::remove(dir.File("filler"));  // room again
      const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
      if (target_exists) fs::permissions(dir.File(target), kept, fs::perm_options::replace);
#ifndef _WIN32
      // Root gives the new file the old one's owner too.
      const bool owner_kept = target_exists && ::geteuid() == 0;
      if (owner_kept) {
        ASSERT_EQ(::chown(dir.File(target).c_str(), 65534, 65534), 0);
      }
#endif
      EXPECT_TRUE(replace());
      EXPECT_TRUE(ReadBytes(dir.File(target)) == list);
#ifndef _WIN32
      if (target_exists) {
        EXPECT_EQ(fs::status(dir.File(target)).permissions(), kept) << "the file keeps its permissions";
      }
      struct stat st {};
      if (owner_kept && ::stat(dir.File(target).c_str(), &st) == 0) {
        EXPECT_EQ(st.st_uid, 65534u) << "the file keeps its owner";
        EXPECT_EQ(st.st_gid, 65534u) << "the file keeps its group";
      }
#endif
      before.erase("filler");
      before.insert(target);
      EXPECT_EQ(Leaves(dir.path()), before);
    }
  }
}

#ifndef _WIN32
// A file size limit in a child process: the write that crosses it fails, and so does the close; the list
// keeps its old content.
TEST(ListFileDiskFullTest, FileSizeLimitInAChild) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  constexpr rlim_t kLimit = 1000;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // the failing write then reports EFBIG instead of ending the process
    const rlimit limit{kLimit, kLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    if (!CreateForWriting(1, dir.Name("list.txt"))) _exit(11);
    int first_failure = -1;
    for (int i = 0; i < 100; ++i) {
      if (!WriteLine(1, Text(50, u'z')) && first_failure < 0) first_failure = i;
    }
    if (CloseListFile(1)) _exit(12);
    // 78 lines of 52 bytes fill the buffer; the 79th writes it out, which crosses the limit.
    _exit(first_failure == 78 ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(dir.File("list.txt")), kContent);
  EXPECT_EQ(Leaves(dir.path()), std::set<std::string>{"list.txt"});
}

// The layer's own system calls replaced for one test, then put back.
struct ScopedPosixCalls {
  explicit ScopedPosixCalls(PosixCalls calls) : saved(PosixSystemCalls()) { PosixSystemCalls() = calls; }
  ~ScopedPosixCalls() { PosixSystemCalls() = saved; }
  PosixCalls saved;
};

// A disk that reports an I/O error on fsync: the save and the copy fail, and the list is as it was.
TEST(ListFileDiskFullTest, AFailingFsyncFailsTheSaveAndTheCopy) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  WriteBytes(dir.File("other.txt"), "other\r\n");
  const ScopedPosixCalls failing({[](int) { return errno = EIO, -1; }, PosixSystemCalls().flock});
  ASSERT_TRUE(CreateForWriting(1, dir.Name("list.txt")));
  EXPECT_TRUE(WriteLine(1, u"new"));
  EXPECT_FALSE(CloseListFile(1));
  EXPECT_FALSE(CopyOver(dir.Name("other.txt"), dir.Name("list.txt")));
  EXPECT_EQ(ReadBytes(dir.File("list.txt")), kContent);
  EXPECT_EQ(Leaves(dir.path()), (std::set<std::string>{"list.txt", "other.txt"}));
}

// A saver puts its new file in the list's place between a reader's open and its lock: what the reader opened
// is the old file, so it opens again and reads the new one.
TEST(ListFileSharedReadingTest, ANewFilePutInPlaceBeforeTheLockIsTheOneRead) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), "old\r\n");
  WriteBytes(dir.File("new.txt"), "new\r\n");
  static const TempDir* renaming = &dir;
  const ScopedPosixCalls rename_first({PosixSystemCalls().fsync, [](int fd, int operation) {
                                         if (renaming != nullptr)
                                           fs::rename(renaming->File("new.txt"), renaming->File("list.txt"));
                                         renaming = nullptr;
                                         return ::flock(fd, operation);
                                       }});
  OpenRefusal refusal;
  ASSERT_TRUE(OpenForSharedReading(0, dir.Name("list.txt"), std::chrono::seconds(10), refusal));
  EXPECT_EQ(ReadLine(0), u"new");
  EXPECT_TRUE(CloseListFile(0));
}

#endif

// Through the in-memory layer
// --------------------------------------------------------------------------------

std::string NumberedLines(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += "line " + std::to_string(1000 + i) + "\r\n";  // 11 bytes each
  return bytes;
}

TEST(ListFileReadErrorTest, ErrorPartWayIsToldApartFromTheEnd) {
  struct Case {
    const char* why;
    std::size_t fail_at;
    std::size_t read_chunk;
    std::size_t whole_lines;  // lines read whole before the error
    std::string cut_line;     // then the part of the next line before the error, if any
  } const cases[] = {
      {"error at the first read", 0, 4096, 0, ""},
      {"error after two buffers", 8192, 4096, 744, "line 174"},
      {"error on a line boundary", 1100, 4096, 100, ""},
      {"error after short reads", 1105, 3, 100, "line "},
      {"error while looking past a CR", 1110, 4096, 100, "line 1100"},
  };
  for (const Case& c : cases) {
    testing::MemoryOsFiles os;
    os.files[u"list.txt"] = NumberedLines(1000);
    os.fail_read_at = c.fail_at;
    os.read_chunk = c.read_chunk;
    ScopedOsFiles use(os);
    ASSERT_TRUE(OpenForReading(0, u"list.txt")) << c.why;
    std::vector<Text> expected;
    for (std::size_t i = 0; i < c.whole_lines; ++i)
      expected.push_back(Utf8ToText("line " + std::to_string(1000 + i)));
    if (!c.cut_line.empty()) expected.push_back(Utf8ToText(c.cut_line));
    EXPECT_EQ(testing::ReadAllLines(0), expected) << c.why;
    EXPECT_TRUE(ReadFailed(0)) << c.why;
    EXPECT_TRUE(AtEnd(0)) << c.why;
    EXPECT_TRUE(CloseListFile(0)) << c.why;
  }
}

TEST(ListFileReadErrorTest, WholeFileIsNoError) {
  testing::MemoryOsFiles os;
  os.files[u"list.txt"] = NumberedLines(1000);
  os.fail_read_at = 11001;  // the reads up to the end, and the one that finds it, succeed
  ScopedOsFiles use(os);
  ASSERT_TRUE(OpenForReading(0, u"list.txt"));
  EXPECT_EQ(testing::ReadAllLines(0).size(), 1000u);
  EXPECT_TRUE(AtEnd(0));
  EXPECT_FALSE(ReadFailed(0));
  EXPECT_TRUE(CloseListFile(0));
}

TEST(ListFileCreateTest, SecondAttemptOpensAFileTheFirstRefuses) {
  testing::MemoryOsFiles os;
  os.files[u"hidden.txt"] = "old\r\n";
  os.refuse_read_write_create.insert(u"hidden.txt");
  ScopedOsFiles use(os);
  ASSERT_TRUE(CreateForWriting(1, u"hidden.txt"));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"CreateReplacement", "CreateReplacement, second attempt"}));
  EXPECT_TRUE(WriteLine(1, u"new"));
  EXPECT_EQ(os.files[u"hidden.txt"], "old\r\n");
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(os.files[u"hidden.txt"], "new\r\n");
}

#ifndef _WIN32
// The same on the real file system: a list file that may be written but not read cannot be opened for
// reading and writing; the second attempt empties and writes it. Root reads any file whatever its bits, so
// the child that saves gives up root for an unprivileged user first.
TEST(ListFileCreateTest, SecondAttemptWritesAFileThatCannotBeRead) {
  TempDir dir;
  const fs::path file = dir.File("write-only.txt");
  WriteBytes(file, kContent);
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::replace);
  uid_t uid = ::geteuid();
  gid_t gid = ::getegid();
  if (uid == 0) {
    // Whatever the umask: the new file is made beside the list, so the folder must be writable too.
    fs::permissions(dir.path(), fs::perms::others_exec | fs::perms::others_write, fs::perm_options::add);
    const passwd* nobody = ::getpwnam("nobody");
    uid = nobody != nullptr ? nobody->pw_uid : 65534;
    gid = nobody != nullptr ? nobody->pw_gid : 65534;
    ASSERT_EQ(::chown(file.c_str(), uid, gid), 0);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
      _exit(10);
    if (::open(file.c_str(), O_RDWR) >= 0) _exit(11);  // the first attempt must meet a refusal
    if (!CreateForWriting(1, dir.Name("write-only.txt"))) _exit(12);
    if (!WriteLine(1, u"new") || !CloseListFile(1)) _exit(13);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "10: no unprivileged user, 11: the file could be read, 12: not opened, "
         "13: not written";
  fs::permissions(file, fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(ReadBytes(file), "new\r\n");
}
#endif

#ifndef _WIN32
// A umask that takes every write bit away makes a new list read-only, and a read-only list is never written:
// the save and the copy are refused, and the empty file made to hold the name is not left behind.
TEST(ListFileCreateTest, NewFileThatTheUmaskMakesReadOnlyIsRefusedAndNotLeft) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), kContent);
  const mode_t previous = ::umask(0222);
  const bool created = CreateForWriting(1, dir.Name("new.txt"));
  const bool copied = CopyOver(dir.Name("list.txt"), dir.Name("new-BK.txt"));
  ::umask(previous);
  EXPECT_FALSE(created);
  EXPECT_FALSE(copied);
  EXPECT_EQ(Leaves(dir.path()), std::set<std::string>{"list.txt"});
}
#endif

TEST(ListFileCreateTest, FirstAttemptSucceedingIsTheOnlyOne) {
  testing::MemoryOsFiles os;
  ScopedOsFiles use(os);
  ASSERT_TRUE(CreateForWriting(1, u"plain.txt"));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"CreateReplacement"}));
  EXPECT_TRUE(CloseListFile(1));
}

TEST(ListFileCreateTest, BothAttemptsRefusedLeavesTheSlotFree) {
  testing::MemoryOsFiles os;
  os.refuse_read_write_create.insert(u"missing-hidden.txt");
  ScopedOsFiles use(os);
  EXPECT_FALSE(CreateForWriting(1, u"missing-hidden.txt"));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"CreateReplacement", "CreateReplacement, second attempt"}));
  EXPECT_FALSE(WriteLine(1, u"x"));
  EXPECT_EQ(os.files.count(u"missing-hidden.txt"), 0u);
  EXPECT_EQ(os.open_count(), 0);
}

// Every failure of a save reaches the caller, and the file keeps its old content: the new file replaces it
// only when it was written, flushed and closed without fault.
TEST(ListFileWriteFailureTest, EachFailureReachesTheCallerAndKeepsTheFile) {
  struct Case {
    const char* why;
    bool fail_writes;
    bool fail_flush;
    bool fail_close;
    bool fail_replace;
    std::size_t line_length;
    bool write_line_result;
    std::vector<std::string> calls_at_close;
  } const cases[] = {
      {"all well", false, false, false, false, 10, true, {"Flush", "Close", "Replace"}},
      {"buffered write fails at close", true, false, false, false, 10, true, {"Close", "Discard"}},
      {"direct write fails at once", true, false, false, false, 5000, false, {"Close", "Discard"}},
      {"flush to disk fails", false, true, false, false, 10, true, {"Flush", "Close", "Discard"}},
      {"close fails", false, false, true, false, 10, true, {"Flush", "Close", "Discard"}},
      {"replacing fails", false, false, false, true, 10, true, {"Flush", "Close", "Replace"}},
  };
  for (const Case& c : cases) {
    testing::MemoryOsFiles os;
    os.files[u"f"] = "old\r\n";
    os.fail_writes = c.fail_writes;
    os.fail_flush = c.fail_flush;
    os.fail_close = c.fail_close;
    os.fail_replace = c.fail_replace;
    ScopedOsFiles use(os);
    ASSERT_TRUE(CreateForWriting(1, u"f")) << c.why;
    EXPECT_EQ(WriteLine(1, Text(c.line_length, u'a')), c.write_line_result) << c.why;
    os.calls.clear();
    const bool all_well = !c.fail_writes && !c.fail_flush && !c.fail_close && !c.fail_replace;
    EXPECT_EQ(CloseListFile(1), all_well) << c.why;
    EXPECT_EQ(os.calls, c.calls_at_close) << c.why;
    EXPECT_EQ(os.files[u"f"], all_well ? std::string(10, 'a') + "\r\n" : "old\r\n") << c.why;
    EXPECT_EQ(os.open_count(), 0) << c.why;
  }
}

// After a failed write nothing more is written to that file, even when the disk recovers: the bytes after the
// failure would follow a hole. Whether the failure was a line written directly or the buffer written out.
TEST(ListFileWriteFailureTest, NothingMoreIsWrittenAfterAFailure) {
  struct Case {
    const char* why;
    std::size_t first_length;  // of the lines written while the disk fails
    int lines_until_failure;   // WriteLine calls until one reports the failure
    std::vector<std::size_t> writes;
  } const cases[] = {
      {"a line too long for the buffer", 5000, 1, {5000}},
      {"the full buffer written out", 100, 41, {40 * 102}},  // 40 lines of 102 bytes fill it
  };
  for (const Case& c : cases) {
    testing::MemoryOsFiles os;
    os.fail_writes = true;
    ScopedOsFiles use(os);
    ASSERT_TRUE(CreateForWriting(1, u"f")) << c.why;
    for (int i = 1; i < c.lines_until_failure; ++i) EXPECT_TRUE(WriteLine(1, Text(c.first_length, u'a')));
    EXPECT_FALSE(WriteLine(1, Text(c.first_length, u'a'))) << c.why;
    os.fail_writes = false;
    for (int i = 0; i < 200; ++i) EXPECT_FALSE(WriteLine(1, Text(100, u'b'))) << c.why;
    EXPECT_FALSE(CloseListFile(1)) << c.why;
    EXPECT_EQ(os.write_sizes, c.writes) << c.why;
    EXPECT_EQ(os.files.count(u"f"), 0u) << c.why << ": nothing was there, nothing is";
  }
}

TEST(ListFileReadCloseTest, CloseFailureOfAReadFileIsReported) {
  testing::MemoryOsFiles os;
  os.files[u"f"] = "a";
  os.fail_close = true;
  ScopedOsFiles use(os);
  ASSERT_TRUE(OpenForReading(0, u"f"));
  EXPECT_FALSE(CloseListFile(0));
  EXPECT_EQ(os.open_count(), 0);
}

}  // namespace
}  // namespace vw
