// Reading the two lists of a folder through the list file layer, as the editor does (never writing them).
#pragma once

#include <string>

#include "common/trust_list.h"
#include "rules/trust_index.h"

namespace vw::cli {

struct FolderLists {
  std::string dir;  // as given; empty for the working directory
  TrustList sites;
  TrustList links;
};

// The name to show and open for a list file of `dir`: the bare file name for the working directory.
std::string ListPath(const std::string& dir, ListKind list);

// Reads both lists of `dir`. A missing file counts as an empty list, with a note on stderr. A file that
// cannot be opened or read gets an error on stderr naming it and the reason, and the result is false.
bool ReadFolderLists(const std::string& dir, FolderLists& lists);

}  // namespace vw::cli
