// Reading the lists of a folder through the one list reader, as the editor does (never writing them).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/trust_list.h"
#include "rules/list_lint.h"
#include "rules/trust_index.h"

namespace vw::cli {

struct FolderLists {
  std::string dir;             // as given; empty for the working directory
  PerList<TrustList> entries;  // by ListNo
  // The lines that ended oddly (a lone CR, a NUL byte), seen in the same reading, for lint.
  PerList<std::vector<OddLineEnd>> ends;
  // For the engines: every list of `entries`.
  ListSet Lists() const {
    ListSet lists;
    for (std::size_t n = 0; n < kListCount; ++n) lists[n] = &entries[n];
    return lists;
  }
};

// The name to show and open for a list file of `dir`: the bare file name for the working directory.
std::string ListPath(const std::string& dir, ListKind list);

// "neither DIR/TrustFile_SafeSites.txt nor DIR/TrustFile_SafeLinks.txt exists": when no list file is there.
std::string NoneExists(const std::string& dir);

// How long a list held by a writer (the editor saving it) is waited for before it counts as in use.
inline constexpr std::chrono::milliseconds kListWait{2000};

// The largest list file the companion reads: a million entries of 30 characters take 32 MB, and memory while
// a list and its index are built stays within a few times the file's size.
inline constexpr std::uint64_t kListByteLimit = std::uint64_t{64} << 20;
inline constexpr const char* kListByteLimitText = "64 MiB";

// What reading the lists of a folder came to.
struct FolderRead {
  std::string error;        // why they could not be read, in one line naming the file; empty when they were
  bool in_use = false;      // ... because a list was held by another program
  bool stopped = false;     // ... because `stop` asked (no error then)
  PerList<bool> missing{};  // no such file: an empty list
};

// Reads every list of `dir` beside any number of other readers, saying nothing. A missing file counts as an
// empty list; all missing is an error. So is a file larger than kListByteLimit (by its size before it is
// read, and by what is read, for a file that grows), one that cannot be opened or read whole, or one that
// looks binary. `stop`, asked now and then while reading, ends the reading early.
FolderRead ReadFolderListsQuietly(const std::string& dir, FolderLists& lists,
                                  const std::function<bool()>& stop = {});

// The same, for a command: the error on stderr and false, or a note on stderr for each missing list.
bool ReadFolderLists(const std::string& dir, FolderLists& lists);

}  // namespace vw::cli
