// The operating system's file calls, as the list file layer needs them. One real implementation per platform
// (os_file_posix.cpp, os_file_win32.cpp); tests may install their own for what a real machine cannot produce,
// such as a read error part-way through a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"

namespace vw {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// An open file as the layer below hands it out: a file descriptor, a HANDLE, or whatever a test layer uses.
using OsHandle = std::intptr_t;

// The operating system's own answer: the working directory, read whole whatever its length, with no separator
// added; nullopt when it cannot be read.
std::optional<Text> OsWorkingDirectory();

// Why a file could not be opened for shared reading, in words a message can show.
struct OpenRefusal {
  enum class Kind {
    kMissing,     // no such file
    kInUse,       // held by a writer (an exclusive lock or share mode) at this moment
    kDirectory,   // a folder
    kNotRegular,  // a device, a pipe or another special file
    kDenied,      // the permissions do not let this user read it
    kOther,       // anything else: `detail` holds the system's own words
  };
  Kind kind = Kind::kOther;
  std::string detail;
};

class OsFiles {
 public:
  virtual ~OsFiles() = default;

  // Opens an existing file for reading, exclusively: fails while it is open anywhere else.
  virtual std::optional<OsHandle> OpenReadExclusive(TextView name) = 0;
  // Opens an existing regular file for reading alongside any number of other readers (a shared lock, shared
  // reading); fails at once, with `refusal` saying why, while a writer holds it or when it cannot be read. A
  // test layer that has no use for it refuses it.
  virtual std::optional<OsHandle> OpenReadShared(TextView /*name*/, OpenRefusal& refusal) {
    refusal = {OpenRefusal::Kind::kOther, "shared reading is not offered by this file layer"};
    return std::nullopt;
  }
  // Saving a file whole. The file is never written in place: the new content goes to a new file beside it
  // (same folder), which takes the file's place in one step only once it is written and handed to the disk,
  // so a failure or a crash at any moment leaves the old content or the new one, whole.
  //
  // CreateReplacement refuses, leaving everything as it was, exactly where writing the file would be refused:
  // it is read-only, held by another program, or not a regular file (a folder, a pipe, a device; never
  // opened, never blocked on). Otherwise it holds the existing file against every other opening until the end
  // of the save, and returns the new file, empty and open for writing. `first_attempt`: read and write access
  // to the file, which may be missing; otherwise write access only, to a file that exists.
  virtual std::optional<OsHandle> CreateReplacement(TextView name, bool first_attempt) = 0;
  // Ends a save begun by CreateReplacement, once the new file has been flushed and closed through its handle
  // (which names the save here). `keep`: the new file takes the old one's place (its permission bits and,
  // where allowed, its owner; a symbolic link stays and has the file it points to replaced); false when that
  // failed, the old file then as it was. Not `keep`: the new file is removed, the old one stays as it was.
  // Either way the old file is let go of and nothing is left beside it.
  virtual bool FinishReplacement(OsHandle file, bool keep) = 0;

  // Reads up to `size` bytes: the count read, 0 at the end of the file, -1 on a read error.
  virtual std::int64_t Read(OsHandle file, char* data, std::size_t size) = 0;
  // Writes all `size` bytes; false when that did not happen.
  virtual bool Write(OsHandle file, const char* data, std::size_t size) = 0;
  // Hands what was written to the disk (fsync, FlushFileBuffers); false on failure.
  virtual bool Flush(OsHandle file) = 0;
  virtual bool Close(OsHandle file) = 0;

  // Copies `source` over `target`, replacing a target that exists, whole or not at all: the copy goes to a
  // new file beside the target, is flushed, and takes its place in one step. Fails, leaving the target as it
  // was, when the source is missing or not a regular file, the target is read-only or not a regular file,
  // either is held exclusively elsewhere, or the copy does not fit.
  virtual bool Copy(TextView source, TextView target) = 0;

  // The working directory, read whole whatever its length, with no separator added; nullopt when it cannot be
  // read. A test layer may answer another.
  virtual std::optional<Text> WorkingDirectory() { return OsWorkingDirectory(); }
};

// The platform's own file calls.
OsFiles& NativeOsFiles();

// The layer in use: the native one unless a test has installed another.
OsFiles& CurrentOsFiles();

// Installs `files` as the layer in use for the life of this object, then puts back the one before. For tests.
class ScopedOsFiles {
 public:
  explicit ScopedOsFiles(OsFiles& files);
  ~ScopedOsFiles();
  ScopedOsFiles(const ScopedOsFiles&) = delete;
  ScopedOsFiles& operator=(const ScopedOsFiles&) = delete;

 private:
  OsFiles* previous_;
};

#ifndef _WIN32
// The system calls of the POSIX layer that a test replaces to produce what the machine does not on demand: an
// fsync that fails (a disk reporting an I/O error), a new file put in a list's place between a reader's open
// and its flock. The real calls unless a test has set others.
struct PosixCalls {
  int (*fsync)(int fd);
  int (*flock)(int fd, int operation);
};
PosixCalls& PosixSystemCalls();
#endif

// The working directory as the layer in use answers it (the expected password is made from it).
std::optional<Text> WorkingDirectory();

}  // namespace vw
