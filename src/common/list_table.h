// The lists, one row each: everything that tells one list from another. Code that does the same for every
// list loops over kListTable; a new list is one row here (and its place in the editor's window).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace vw {

enum class ListKind : std::uint8_t { kSites, kLinks };

struct ListInfo {
  ListKind kind;           // its place in kListTable
  const char16_t* file;    // relative to the working directory (the companion's: to the folder given)
  const char16_t* backup;  // the copy the editor makes at start
  const char* label;       // its name in the companion's output: "sites"
  // Under the link rule: every entry of it that occurs in an address approves it, or only the first. The
  // lists are asked in table order, and the first list that approves an address gives the answer.
  bool every_match;
};

inline constexpr ListInfo kListTable[] = {
    {ListKind::kSites, u"TrustFile_SafeSites.txt", u"TrustFile_SafeSites-BK.txt", "sites", true},
    {ListKind::kLinks, u"TrustFile_SafeLinks.txt", u"TrustFile_SafeLinks-BK.txt", "links", false},
};
inline constexpr std::size_t kListCount = std::size(kListTable);

// A list's place in kListTable and in a PerList.
constexpr std::size_t ListNo(ListKind kind) {
  return static_cast<std::size_t>(kind);
}
constexpr const ListInfo& RowOf(ListKind kind) {
  return kListTable[ListNo(kind)];
}

// One T per list, in table order.
template <class T>
using PerList = std::array<T, kListCount>;

}  // namespace vw
