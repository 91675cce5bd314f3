// Host names from the public suffix list compiled into the program (the Windows build).
#include "rules/host_names.h"

namespace vw {

// Generated at configure time from the build machine's public_suffix_list.dat (Debian's publicsuffix).
extern const char kPublicSuffixList[];

const HostNames& SystemHostNames() {
  static const std::unique_ptr<HostNames> names = ListHostNames(kPublicSuffixList);
  return *names;
}

}  // namespace vw
