// The list file layer: a list file is read and written line by line through a numbered slot.
//
// Format: UTF-8 without a byte-order mark (none written, none recognised: EF BB BF reads as U+FEFF). Lines
// end in CR LF, a lone LF, a lone CR or a zero byte when read; CR LF is written after every line. Every open
// slot reads or writes through one 4096-byte buffer. Slots are numbered 0 to 15; any other number fails to
// open and reads as a free slot. All names are used as given, relative to the working directory.
#pragma once

#include <chrono>
#include <cstddef>

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

// Creates the file, or empties an existing one, and opens it for writing, exclusively. A first attempt with
// read and write access that may create; when that fails, a second with write access only that empties an
// existing file. A slot that still holds a file is closed first. On failure the slot is free and an existing
// file is as it was.
bool CreateForWriting(int slot, TextView name);

// True exactly when no further byte can be read (also after a read error, and on a slot not open for
// reading). Consumes nothing.
bool AtEnd(int slot);

// The next line, decoded, without its terminator; an empty text at the end of the file.
Text ReadLine(int slot);

// True when a read error ended the data early, as opposed to the end of the file. Ask before CloseListFile,
// which frees the slot.
bool ReadFailed(int slot);

// Writes the text as UTF-8, then CR LF. False when the slot is not open for writing, and from the first
// failed write on: after a failure nothing more is written to that file.
bool WriteLine(int slot, TextView text);

// Writes out what the buffer holds (for a file being written) and hands it to the disk, then closes the file
// and frees the slot. False when a write, the flush to disk or the close failed. A free slot gives true.
bool CloseListFile(int slot);

// Copies `source` over `target`, replacing a target that exists. Fails, leaving the target as it was, when
// the source is missing, the target is read-only, or either file is held exclusively elsewhere.
bool CopyOver(TextView source, TextView target);

}  // namespace vw
