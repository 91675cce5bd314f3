// The squid helper's protocol: what Squid writes on a request line and what it reads back, as pure functions.
// A request line is an optional channel ID (with concurrency=N) and then the request's URL as `%>ru` gives
// it; the answer is `OK log=...` when the lists approve the address, `ERR` when they do not, `BH message=...`
// for a line that cannot be judged or while no lists could be read.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/folder_lists.h"
#include "common/text.h"
#include "rules/trust_index.h"

namespace vw::cli {

// A request line longer than this is answered BH without being kept: Squid's own limits on a URL are far
// below it, and memory stays bounded whatever arrives.
inline constexpr std::size_t kLongestRequest = 1 << 20;

// Both lists of the folder, read whole, and the index over them; never changed once built.
struct SquidLists {
  FolderLists folder;
  std::unique_ptr<TrustIndex> index;
};

// The channel ID that starts a request line, if any, taken off `rest`: with concurrency=N Squid puts a number
// first, and a URL is never only digits.
std::string_view TakeChannel(std::string_view& rest);

// The URL the client sent, from the value Squid writes for `%#>ru`: Squid %-escapes every % of the URL and
// every byte that RFC 1738 calls unsafe (space " # < > { } | \ ^ ~ [ ] ` '), every control and every
// non-ASCII byte, and nothing else; undoing exactly that one layer gives back the client's bytes, so `%7E`
// from a client stays `%7E` and only Squid's own `%7E` becomes `~`. The bytes are read as UTF-8. Empty when
// `address` holds it; otherwise why the value cannot be judged (a % that Squid's escaping never leaves, a
// byte that it would have escaped, a control byte or malformed UTF-8 in the client's URL), and `address` is
// unspecified.
std::string_view SquidUrlToAddress(std::string_view value, Text& address);

// The helper's verdict on `address`, the client's URL (as SquidUrlToAddress gives it back), with the lists of
// `index` (null while none could be read): empty when it can be judged, the approving entries under the
// network rule (LinkRule::kNetwork) then in `approvals`; else why not, the message of a BH answer. The helper
// answers with it and `veraway-check test --as squid` reports it, so both always agree.
std::string_view JudgeSquidAddress(TextView address, const TrustIndex* index,
                                   std::vector<EntryRef>& approvals);

// `value` as one token of an answer: %-escaped where Squid would otherwise end or misread it.
void AppendAnswerValue(std::string_view value, std::string& out);

// Answers request lines one at a time; keeps its buffers from one line to the next.
class SquidJudge {
 public:
  // Appends the answer to one request line (without its LF) to `out`, given the lists in force (null while
  // none could be read).
  void Answer(std::string_view line, const SquidLists* lists, std::string& out);
  // Appends the answer to a line longer than kLongestRequest, which began with `channel` (maybe empty).
  static void AnswerTooLong(std::string_view channel, std::string& out);

 private:
  Text address_;
  std::vector<EntryRef> approvals_;
  std::string value_;
};

}  // namespace vw::cli
