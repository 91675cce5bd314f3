// File calls on POSIX systems (Linux).
//
// Exclusive opening is an advisory flock(LOCK_EX | LOCK_NB) held while the file is open; the copy honours it
// on both files. Because root writes through any permission bits, a regular file with no write bit at all is
// treated as read-only here, as the read-only attribute is on Windows: it is never emptied or replaced.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    if (!IsRegularFile(from) || !Lock(from, LOCK_SH)) {
      ::close(from);
      return false;
    }
    const int to = OpenRetrying(*to_path, O_WRONLY | O_CREAT | O_NONBLOCK, 0666);
    if (to < 0) {
      ::close(from);
      return false;
    }
    // Copying a file over itself fails here too: the exclusive lock meets the source's shared one.
    bool ok = PrepareForWriting(to);
    if (ok) {
      std::vector<char> buffer(64 * 1024);
      for (;;) {
        const std::int64_t n = Read(from, buffer.data(), buffer.size());
        if (n <= 0) {
          ok = n == 0;
          break;
        }
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) {
          ok = false;
          break;
        }
      }
      ok = Sync(to) && ok;
    }
    ok = (::close(to) == 0) && ok;
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
