// The companion's commands. Each returns the exit status: 0 all good, 1 findings (an address not approved, a
// warning, a verdict that differs), 2 an error.
#pragma once

#include <string>
#include <vector>

namespace vw::cli {

enum class Format { kText, kJsonl };

struct Options {
  std::string dir;  // empty: the working directory
  Format format = Format::kText;
  std::vector<std::string> addresses;  // none: one a line from standard input
  bool as_squid = false;               // test and diff: the squid helper's verdict (the network rule)
  std::string against;                 // diff only
  std::vector<std::string> only;       // lint only: the rules to report (none: all)
  std::vector<std::string> ignore;     // lint only: rules not to report
  std::string lint_for;  // lint only: where the lists are enforced besides the browser ("squid")
};

int RunTest(const Options& options);
int RunLint(const Options& options);
int RunDiff(const Options& options);

}  // namespace vw::cli
