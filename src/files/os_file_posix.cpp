// File calls on POSIX systems (Linux).
//
// Exclusive opening is an advisory flock(LOCK_EX | LOCK_NB) held while the file is open; the copy honours it
// on both files. A file is never written in place: a save and a copy write a new file beside it and rename it
// over it once it is whole and on the disk. Because root writes through any permission bits, a regular file
// with no write bit at all is treated as read-only here, as the read-only attribute is on Windows: it is
// never replaced.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "files/os_file.h"

namespace vw {
namespace {

std::optional<std::string> NativeName(TextView name) {
  if (name.empty() || name.find(u'\0') != TextView::npos) return std::nullopt;
  return TextToUtf8(name);
}

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool Lock(int fd, int how) {
  while (PosixSystemCalls().flock(fd, how | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Lists are read from regular files only: a directory has no lines, and a device or pipe may never end
// (/dev/zero would be an endless run of empty lines) or block the program.
bool IsRegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

OpenRefusal RefusalOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return {OpenRefusal::Kind::kMissing, {}};
    case EACCES:
    case EPERM:
      return {OpenRefusal::Kind::kDenied, {}};
    case EISDIR:
      return {OpenRefusal::Kind::kDirectory, {}};
    case EWOULDBLOCK:
      return {OpenRefusal::Kind::kInUse, {}};
    default:
      return {OpenRefusal::Kind::kOther, std::strerror(error)};
  }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Sync(int fd) {
  if (PosixSystemCalls().fsync(fd) == 0) return true;
  // A device or pipe that has nothing to synchronise is not a failure.
  return errno == EINVAL || errno == EROFS;
}

// The file a name stands for: a symbolic link is followed, so that a replacement replaces the file it points
// to and the link stays. nullopt for a link that leads nowhere.
std::optional<std::string> FinalName(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string name(resolved);
  std::free(resolved);
  return name;
}

// A new file, created here and nowhere else, beside `path`: its name is `path`'s folder, a dot, the leaf and
// a number. The name is returned through `name`; -1 when no such file could be made.
int CreateBeside(const std::string& path, std::string& name) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + leaf + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".new";
    const int fd = OpenRetrying(name, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  name.clear();  // nothing of this process's own to remove
  return -1;
}

bool CopyData(int from, int to) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n;
    do {
      n = ::read(from, buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n == 0;
    if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
  }
}

// The file that a save or a copy replaces, held from the start to the end of the replacement.
struct Target {
  std::string name;      // the file itself: a symbolic link followed
  int held = -1;         // the file, opened and locked
  bool created = false;  // it was missing: made empty here to be held, and removed again if the save fails
  struct stat old {};
};

bool Writable(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Holds the file `path` names for replacing: a regular file with a write bit that nobody else holds, or,
// when `may_be_missing`, no file at all (an empty one is made and held, so that two savers keep apart there
// too). Anything else (a folder, a pipe, a device) is refused before it is opened, so that no open can block
// or disturb a device. `access` is O_RDWR or O_WRONLY.
std::optional<Target> HoldTarget(const std::string& path, int access, bool may_be_missing) {
  const auto final_name = FinalName(path);
  if (!final_name) return std::nullopt;
  Target t;
  t.name = *final_name;
  struct stat st {};
  if (::stat(t.name.c_str(), &st) == 0) {
    if (!Writable(st)) return std::nullopt;
    // O_NONBLOCK: should the name have become a pipe meanwhile, the open still does not wait for a reader.
    t.held = OpenRetrying(t.name, access | O_NONBLOCK | O_NOFOLLOW);
  } else if (errno == ENOENT && may_be_missing) {
    t.held = OpenRetrying(t.name, access | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    t.created = t.held >= 0;
  }
  if (t.held < 0) return std::nullopt;
  if (!Lock(t.held, LOCK_EX) || ::fstat(t.held, &t.old) != 0 || !Writable(t.old)) {
    if (t.created) ::unlink(t.name.c_str());
    ::close(t.held);
    return std::nullopt;
  }
  return t;
}

// A new file beside the target for its replacement, with the target's permission bits and, where this process
// may give it, its owner. -1 when it cannot be made.
int CreateReplacementFile(const Target& t, std::string& name) {
  const int fd = CreateBeside(t.name, name);
  if (fd < 0 || t.created) return fd;
  bool ok = ::fchmod(fd, t.old.st_mode & 07777) == 0;
  if (ok && (t.old.st_uid != ::geteuid() || t.old.st_gid != ::getegid())) {
    const int owned = ::fchown(fd, t.old.st_uid, t.old.st_gid);  // only root may; the file is whole anyway
    (void)owned;
  }
  if (!ok) {
    ::close(fd);
    ::unlink(name.c_str());
    return -1;
  }
  return fd;
}

// Puts the new file, written, flushed and closed, in the target's place (`keep`), or removes it; then lets go
// of the old file. The rename is one step: any reader finds the old file or the new one, whole. The folder is
// flushed too, so that the rename itself survives a power failure (where the file system allows).
bool FinishTarget(Target& t, const std::string& new_name, bool keep) {
  bool ok = keep && ::rename(new_name.c_str(), t.name.c_str()) == 0;
  if (!ok && !new_name.empty()) ::unlink(new_name.c_str());
  if (ok) {
    const std::size_t slash = t.name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : t.name.substr(0, slash + 1);
    const int dir = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);  // best effort: the content is on the disk already
      ::close(dir);
    }
  }
  if (!ok && t.created) ::unlink(t.name.c_str());  // nothing was there before the save
  ::close(t.held);
  t.held = -1;
  return ok;
}

// Replaces the file `path` names by a copy of the open file `from`, never leaving it cut. On any failure (a
// full disk, a file-size limit) the new file is removed and the target is as it was. The copy needs write
// access to the target's folder.
bool ReplaceWithCopy(int from, const std::string& path) {
  // A file copied over itself is refused here: the exclusive lock meets the source's shared one.
  auto target = HoldTarget(path, O_WRONLY, true);
  if (!target) return false;
  std::string temp;
  const int to = CreateReplacementFile(*target, temp);
  if (to < 0) {
    FinishTarget(*target, temp, false);
    return false;
  }
  bool ok = CopyData(from, to) && Sync(to);
  ok = (::close(to) == 0) && ok;
  return FinishTarget(*target, temp, ok);
}

// The saves under way: by the new file's descriptor, the file it replaces and its own name.
struct Replacement {
  Target target;
  std::string new_name;
};
std::map<int, Replacement>& Replacements() {
  static std::map<int, Replacement> replacements;
  return replacements;
}

class PosixFiles final : public OsFiles {
 public:
  std::optional<OsHandle> OpenReadExclusive(TextView name) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    const int fd = OpenRetrying(*path, O_RDONLY | O_NONBLOCK);  // a pipe must not block the opening
    if (fd < 0) return std::nullopt;
    if (!IsRegularFile(fd) || !Lock(fd, LOCK_EX)) {
      ::close(fd);
      return std::nullopt;
    }
    return fd;
  }

  std::optional<OsHandle> OpenReadShared(TextView name, OpenRefusal& refusal) override {
    const auto path = NativeName(name);
    if (!path) {
      refusal = {OpenRefusal::Kind::kOther, "not a valid file name"};
      return std::nullopt;
    }
    const int fd = OpenRetrying(*path, O_RDONLY | O_NONBLOCK);  // a pipe must not block the opening
    if (fd < 0) {
      refusal = RefusalOf(errno);
      return std::nullopt;
    }
    struct stat opened {};
    struct stat named {};
    bool ok = false;
    if (::fstat(fd, &opened) != 0) {
      refusal = RefusalOf(errno);
    } else if (S_ISDIR(opened.st_mode)) {
      refusal = {OpenRefusal::Kind::kDirectory, {}};
    } else if (!S_ISREG(opened.st_mode)) {
      refusal = {OpenRefusal::Kind::kNotRegular, {}};
    } else if (!Lock(fd, LOCK_SH)) {
      refusal = RefusalOf(errno);
    } else if (::stat(path->c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
               named.st_ino != opened.st_ino) {
      // A writer put a new file in the list's place after this one was opened: this is the old one.
      refusal = {OpenRefusal::Kind::kInUse, {}};
    } else {
      ok = true;
    }
    if (!ok) {
      ::close(fd);
      return std::nullopt;
    }
    return fd;
  }

  std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) override {
    const auto path = NativeName(name);
    if (!path) return std::nullopt;
    // The two attempts differ in the access asked of an existing file (a file that may be written but not
    // read passes the second only) and in whether the file may be missing.
    auto target = HoldTarget(*path, first_attempt ? O_RDWR : O_WRONLY, first_attempt);
    if (!target) return std::nullopt;
    std::string new_name;
    const int fd = CreateReplacementFile(*target, new_name);
    if (fd < 0) {
      FinishTarget(*target, new_name, false);
      return std::nullopt;
    }
    Replacements()[fd] = Replacement{std::move(*target), std::move(new_name)};
    return fd;
  }

  bool FinishReplacement(OsHandle file, bool keep) override {
    auto it = Replacements().find(static_cast<int>(file));
    if (it == Replacements().end()) return false;
    Replacement r = std::move(it->second);
    Replacements().erase(it);
    return FinishTarget(r.target, r.new_name, keep);
  }

  std::int64_t Read(OsHandle file, char* data, std::size_t size) override {
    ssize_t n;
    do {
      n = ::read(static_cast<int>(file), data, size);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  bool Write(OsHandle file, const char* data, std::size_t size) override {
    return WriteAll(static_cast<int>(file), data, size);
  }

  bool Flush(OsHandle file) override { return Sync(static_cast<int>(file)); }

  bool Close(OsHandle file) override {
    // Linux releases the descriptor even when close reports an error, so it is never retried.
    return ::close(static_cast<int>(file)) == 0;
  }

  bool Copy(TextView source, TextView target) override {
    const auto from_path = NativeName(source);
    const auto to_path = NativeName(target);
    if (!from_path || !to_path) return false;
    const int from = OpenRetrying(*from_path, O_RDONLY | O_NONBLOCK);
    if (from < 0) return false;
    // A shared lock on the source: it fails while anyone holds the file exclusively.
    const bool ok = IsRegularFile(from) && Lock(from, LOCK_SH) && ReplaceWithCopy(from, *to_path);
    ::close(from);
    return ok;
  }
};

}  // namespace

PosixCalls& PosixSystemCalls() {
  static PosixCalls calls{&::fsync, &::flock};
  return calls;
}

OsFiles& NativeOsFiles() {
  static PosixFiles files;
  return files;
}

std::optional<Text> OsWorkingDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return Utf8ToText(buffer.data());
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace vw
