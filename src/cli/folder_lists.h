// Reading the two lists of a folder through the one list reader, as the editor does (never writing them).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "common/trust_list.h"
#include "rules/list_lint.h"
#include "rules/trust_index.h"

namespace vw::cli {

struct FolderLists {
  std::string dir;  // as given; empty for the working directory
  TrustList sites;
  TrustList links;
  // The lines that ended oddly (a lone CR, a NUL byte), seen in the same reading, for lint.
  std::vector<OddLineEnd> sites_ends;
  std::vector<OddLineEnd> links_ends;
};

// The name to show and open for a list file of `dir`: the bare file name for the working directory.
std::string ListPath(const std::string& dir, ListKind list);

// How long a list held by a writer (the editor saving it) is waited for before it counts as in use.
inline constexpr std::chrono::milliseconds kListWait{2000};

// Reads both lists of `dir` beside any number of other readers. A missing file counts as an empty list, with
// a note on stderr; both missing is an error. A file that cannot be opened or read whole, or looks binary,
// gets an error on stderr naming it and the reason, and the result is false.
bool ReadFolderLists(const std::string& dir, FolderLists& lists);

}  // namespace vw::cli
