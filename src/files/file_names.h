// The four files the program reads and writes, relative to the working directory (rows of
// common/list_table.h).
#pragma once

#include "common/list_table.h"

namespace vw {

inline constexpr const char16_t* kSitesFile = RowOf(ListKind::kSites).file;
inline constexpr const char16_t* kLinksFile = RowOf(ListKind::kLinks).file;
inline constexpr const char16_t* kSitesBackup = RowOf(ListKind::kSites).backup;
inline constexpr const char16_t* kLinksBackup = RowOf(ListKind::kLinks).backup;

}  // namespace vw
