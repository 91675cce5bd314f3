// `veraway-check squid`: Squid's external ACL helper. Squid writes one request a line on standard input
// (optionally a channel ID first, then the request's URL as `%>ru` gives it) and reads one answer a line:
// `OK log=...` when the lists approve the address, `ERR` when they do not, `BH message=...` for a line that
// cannot be judged or while no lists could be read. The lists are read again when either file changes, and
// on SIGHUP, without a request ever waiting for it.
#pragma once

#include <string>

namespace vw::cli {

// Answers requests until standard input ends. The exit status: 0, or 2 when standard input or output fails.
int RunSquid(const std::string& dir);

}  // namespace vw::cli
