// File calls on POSIX systems (Linux).
//
// Exclusive opening is an advisory flock(LOCK_EX | LOCK_NB) held while the file is open; the copy honours it
// on both files, and replaces its target only whole (a new file beside it, renamed over it). Because root
// writes through any permission bits, a regular file with no write bit at all is treated as read-only here,
// as the read-only attribute is on Windows: it is never emptied or replaced.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
  while (::flock(fd, how | LOCK_NB) != 0) {
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

// Locks a file opened for writing, refuses a read-only one, and empties it. Devices (such as /dev/full) are
// written as they are; emptying applies to regular files only, as O_TRUNC does.
bool PrepareForWriting(int fd) {
  struct stat st {};
  if (!Lock(fd, LOCK_EX) || ::fstat(fd, &st) != 0) return false;
  if (S_ISREG(st.st_mode)) {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    if (::ftruncate(fd, 0) != 0) return false;
  }
  return true;
}

// Opens for writing with `flags`, never emptying before the lock and the read-only test have passed, so that
// a refused file keeps its content.
std::optional<OsHandle> OpenForWriting(TextView name, int flags) {
  const auto path = NativeName(name);
  if (!path) return std::nullopt;
  const int fd = OpenRetrying(*path, flags, 0666);
  if (fd < 0) return std::nullopt;
  if (!PrepareForWriting(fd)) {
    ::close(fd);
    return std::nullopt;
  }
  return fd;
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
  if (::fsync(fd) == 0) return true;
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
    if (fd >= 0 || errno != EEXIST) return fd;
  }
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

// Replaces the file `path` names by a copy of the open file `from`, never leaving it cut: the copy goes into
// a new file beside it, is handed to the disk, and only then renamed over it. On any failure (a full disk, a
// file-size limit) the new file is removed and the target is as it was. An existing target must be a regular
// file with a write bit that nobody holds exclusively (it stays locked until it is replaced); the copy takes
// over its permission bits and, where this process may give it, its owner.
bool ReplaceWithCopy(int from, const std::string& path) {
  const auto final_name = FinalName(path);
  if (!final_name) return false;
  struct stat old {};
  const int held = OpenRetrying(*final_name, O_WRONLY | O_NONBLOCK);
  if (held < 0 && errno != ENOENT) return false;
  if (held >= 0) {
    // A file copied over itself is refused here too: the exclusive lock meets the source's shared one.
    const bool replaceable = Lock(held, LOCK_EX) && ::fstat(held, &old) == 0 && S_ISREG(old.st_mode) &&
                             (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    if (!replaceable) {
      ::close(held);
      return false;
    }
  }
  std::string temp;
  const int to = CreateBeside(*final_name, temp);
  bool ok = to >= 0;
  if (ok) {
    if (held >= 0) {
      ok = ::fchmod(to, old.st_mode & 07777) == 0;
      if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        const int owned = ::fchown(to, old.st_uid, old.st_gid);  // only root may; the copy is whole anyway
        (void)owned;
      }
    }
    ok = ok && CopyData(from, to) && Sync(to);
    ok = (::close(to) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), final_name->c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
  }
  if (held >= 0) ::close(held);
  return ok;
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

  std::optional<OsHandle> CreateReadWrite(TextView name) override {
    return OpenForWriting(name, O_RDWR | O_CREAT);  // emptied once locked: O_RDWR|O_CREAT|O_TRUNC
  }

  std::optional<OsHandle> TruncateExisting(TextView name) override {
    return OpenForWriting(name, O_WRONLY);  // emptied once locked: O_WRONLY|O_TRUNC
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
