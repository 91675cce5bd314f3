// `veraway-check squid`: Squid's external ACL helper. The loop: request lines read from standard input,
// answered (squid_protocol.h) with the lists in force, which are read again when either file changes and on
// SIGHUP (squid_list_watcher.h), without a request ever waiting for it.
#pragma once

#include <string>

namespace vw::cli {

// Answers requests until standard input ends. The exit status: 0, or 2 when standard input or output fails.
int RunSquid(const std::string& dir);

}  // namespace vw::cli
