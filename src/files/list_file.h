// The list file layer: a list file is read and written line by line through a numbered slot.
//
// Format: UTF-8 without a byte-order mark (none written, none recognised: EF BB BF reads as U+FEFF). Lines
// end in CR LF, a lone LF, a lone CR or a zero byte when read; CR LF is written after every line. Every open
// slot reads or writes through one 4096-byte buffer. Slots are numbered 0 to 15; any other number fails to
// open and reads as a free slot. All names are used as given, relative to the working directory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/text.h"
#include "files/os_file.h"

namespace vw {

// Opens an existing file for reading, exclusively: fails when it is missing, cannot be read, or is open
// anywhere else. A slot that still holds a file is closed first. On failure the slot is free.
bool OpenForReading(int slot, TextView name);

// Opens an existing regular file for reading alongside any number of other readers (a shared lock on Linux,
// shared reading on Windows). While a writer holds it, tries again for up to `wait`, then fails as in use. A
// slot that still holds a file is closed first. On failure the slot is free and `refusal` says why.
bool OpenForSharedReading(int slot, TextView name, std::chrono::milliseconds wait, OpenRefusal& refusal);

// Reading a file that may not be a list at all: once guarded, a slot stops reading (AtEnd turns true) as soon
// as the file shows itself binary, so neither time nor memory grows with such a file.
enum class BinarySign {
  kNone,
  kMostlyZeros,  // once 64 KiB are read, more than half of the bytes read are zero bytes
  kNoLineEnd,    // a line longer than 4 MiB
};
inline constexpr std::size_t kBinaryZerosAfter = 64 * 1024;
inline constexpr std::size_t kBinaryLineBytes = 4 * 1024 * 1024;
void GuardAgainstBinary(int slot);
// Why a guarded slot stopped; kNone while it reads on (and for an unguarded or free slot).
BinarySign BinarySignOf(int slot);

// Opens the file for writing, exclusively, to be replaced whole by the lines written: they go to a new file
// beside it, which takes its place at CloseListFile. Until then the file keeps its content; when the save
// fails, it keeps it for good. A first attempt with read and write access that may create; when that fails,
// a second with write access only, to a file that exists. Refused, with the file as it was, when it is
// read-only, held elsewhere, or not a regular file (a folder, a pipe, a device). A slot that still holds a
// file is closed first. On failure the slot is free.
bool CreateForWriting(int slot, TextView name);

// The bytes read from the file so far (a buffer ahead of the lines handed out); 0 for a slot not open for
// reading.
std::uint64_t BytesRead(int slot);

// True exactly when no further byte can be read (also after a read error, and on a slot not open for
// reading). Consumes nothing.
bool AtEnd(int slot);

// The next line, decoded, without its terminator; an empty text at the end of the file.
Text ReadLine(int slot);

// How the line ReadLine last gave ended: '\r' for a lone CR, '\0' for a NUL byte, '\n' for LF, CR LF or the
// end of the file. Lint tells the first two apart, as other tools do not count them as line ends.
char LastLineEnd(int slot);

// True when a read error ended the data early, as opposed to the end of the file. Ask before CloseListFile,
// which frees the slot.
bool ReadFailed(int slot);

// Writes the text as UTF-8, then CR LF. False when the slot is not open for writing, and from the first
// failed write on: after a failure nothing more is written to that file.
bool WriteLine(int slot, TextView text);

// Writes out what the buffer holds (for a file being written), hands it to the disk and closes it; then the
// new content takes the file's place in one step, or, when anything failed, is removed and the file stays as
// it was. Frees the slot. False when a write, the flush to disk, the close or the replacement failed. A free
// slot gives true.
bool CloseListFile(int slot);

// What a list file held, to tell later whether anything changed it: whether it was there, its size, and a
// hash of its bytes (64 bits over every byte; two different contents share one only by a freak chance).
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// The bytes that went through `slot` the last time it was closed: those read (to the end of the file, or up
// to a read error), or those written. Taken as the bytes pass, at no extra read. No file for a free slot.
FileStamp LastStamp(int slot);
// The file as it is now, read whole through `slot` (shared reading, no wait): a stamp of no file when it is
// missing; nullopt when it is there but cannot be read (held by a writer, a folder, unreadable...). The slot
// is free afterwards.
std::optional<FileStamp> StampNow(int slot, TextView name);

// Copies `source` over `target`, replacing a target that exists, whole or not at all. Fails, leaving the
// target as it was, when the source is missing or not a regular file, the target is read-only or not a
// regular file, either file is held exclusively elsewhere, or the copy does not fit.
bool CopyOver(TextView source, TextView target);

}  // namespace vw
