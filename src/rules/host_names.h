// Host names as the public suffix list sees them: which names are public suffixes (anyone may register a site
// under them), which part of a host is a site's own registrable domain, and the ASCII ("xn--") form that
// browsers send for a name written in Unicode.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vw {

class HostNames {
 public:
  virtual ~HostNames() = default;
  // `host` in ASCII and lower case. True when the list names it a public suffix: a rule of the list, or a
  // name under a wildcard rule that no exception takes back. The list's implicit rule that an unknown
  // top-level name is a suffix does not count here.
  virtual bool IsPublicSuffix(std::string_view host) const = 0;
  // The site's own part of `host`, at its end: its public suffix and one label more, an unknown top-level
  // name counting as a suffix. Empty when `host` is a public suffix itself.
  virtual std::string_view RegistrableDomain(std::string_view host) const = 0;
};

// The ASCII form of a lower-case host name in UTF-8: each label with characters beyond ASCII written as
// "xn--" and its punycode, as browsers send it. False when a label cannot be encoded. Written here, not taken
// from libidn2: the Windows build has no libidn2, and both builds must give the same answer, also for names
// that IDNA2008 refuses but browsers still send (emoji). A test holds it to libidn2 on every name of the
// list.
bool HostToAscii(std::string_view host, std::string& ascii);

// The build's. Linux: libpsl, with the newer of its built-in list and the system's publicsuffix file.
// Windows: ListHostNames over the build machine's public_suffix_list.dat, compiled into the program.
const HostNames& SystemHostNames();

// The rules of a public_suffix_list.dat text, matched here. This is what the Windows build uses, where libpsl
// is not at hand; a test checks it against libpsl on Linux.
std::unique_ptr<HostNames> ListHostNames(std::string_view dat);

// The punycode of one label's code points (the "bootstring" encoding), without the "xn--" prefix. False when
// the label is too long to encode.
bool Punycode(std::u32string_view label, std::string& out);

#ifdef VW_HAVE_LIBPSL
// libpsl over the rules of the file `dat_path` (for the test that compares the two).
std::unique_ptr<HostNames> LibpslHostNames(const char* dat_path);
#endif

}  // namespace vw
