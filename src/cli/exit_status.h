// The exit statuses of every veraway-check command, the Squid helper's included.
#pragma once

namespace vw::cli {

constexpr int kOk = 0;        // all good
constexpr int kFindings = 1;  // an address not approved, a finding, a verdict that differs
constexpr int kError = 2;     // an error: a list that cannot be read, a usage error, a failed read or write

}  // namespace vw::cli
