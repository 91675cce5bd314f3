// The four files the program reads and writes, relative to the working directory.
#pragma once

namespace vw {

inline constexpr char16_t kSitesFile[] = u"TrustFile_SafeSites.txt";
inline constexpr char16_t kLinksFile[] = u"TrustFile_SafeLinks.txt";
inline constexpr char16_t kSitesBackup[] = u"TrustFile_SafeSites-BK.txt";
inline constexpr char16_t kLinksBackup[] = u"TrustFile_SafeLinks-BK.txt";

}  // namespace vw
