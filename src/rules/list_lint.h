// The companion's list checks: entries that look like an approval but are not one, or approve more than
// meant. Host names are judged with the public suffix list (rules/host_names.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/trust_list.h"
#include "rules/host_names.h"
#include "rules/trust_index.h"

namespace vw {

// In the order a line's findings are listed.
enum class LintRule : std::uint8_t {
  kBom,         // a byte-order mark before the first entry of a file: that entry never matches
  kLineEnds,    // the line ends in a lone CR or a NUL byte: its number differs from what grep -n shows
  kWhitespace,  // a blank or tab at the start or the end: no address holds one
  kEmpty,       // an empty line approves nothing; a run of them is one finding, `count` lines long
  kDuplicate,   // the same text stands earlier (the lists in table order); `other` is its first place
  kRedundant,   // a narrow entry occurs inside this one, so this one approves nothing more; `other` names it
  kBroad,       // occurs in the addresses of a large share of real sites (rules/broad_parts.inc)
  kSuffix,      // a public suffix, or a part of host names inside one: every site under it is approved
  kUnanchored,  // a host name that also occurs inside other sites' host names
  kIdn,         // a host name written in Unicode, where browsers send its ASCII ("xn--") form
  kHttps,       // (lists Squid enforces) approves no CONNECT, judged as https://host/ (ApprovesAConnect)
  kUnsent,      // (lists Squid enforces) holds what no URL through Squid holds (SquidNeverSends)
  kUppercase,   // an upper-case letter in the host part (before the first "/" after any "scheme://")
  kMalformed,   // U+FFFD: bytes that were not UTF-8 when the file was read
  kControl,     // another control character (a tab inside the entry, say)
};
inline constexpr int kLintRuleCount = 15;

const char* LintRuleName(LintRule rule);
// The rule of that name.
std::optional<LintRule> LintRuleNamed(std::string_view name);

struct LintFinding {
  EntryRef at;
  LintRule rule = LintRule::kEmpty;
  EntryRef other;             // for kDuplicate and kRedundant
  std::size_t grep_line = 0;  // for kLineEnds: the line grep -n shows this line's end on
  char line_end = 0;          // for kLineEnds: CR or NUL
  std::size_t count = 1;      // for kEmpty and kLineEnds: the lines in a row from `at` on
};

// Lines that end in something other than LF or CR LF: the line number in the list (1-based) of the first, the
// byte that ended it (CR or NUL), its line as grep -n counts (LF alone ends a line), and how many lines in a
// row from it on end the same way on that same grep line (a run is one record, so a file of lone CRs or NUL
// bytes costs nothing per line).
struct OddLineEnd {
  std::size_t line = 0;
  char end = '\r';
  std::size_t grep_line = 0;
  std::size_t count = 1;
};

// Collects the odd line ends of a list as the list reader reads it, told how each line ended, in order: CR or
// NUL for an odd end, LF for LF, CR LF and the end of the file.
class LineEndScan {
 public:
  void Ended(char end);
  const std::vector<OddLineEnd>& found() const { return found_; }
  std::vector<OddLineEnd>& found() { return found_; }

 private:
  std::vector<OddLineEnd> found_;
  std::size_t line_ = 1;
  std::size_t grep_line_ = 1;
};

struct LintOptions {
  // The rules to report; the others are not checked, except as far as `redundant` needs them.
  std::uint32_t rules = (1u << kLintRuleCount) - 1;
  bool Wants(LintRule rule) const { return (rules >> static_cast<int>(rule) & 1u) != 0; }
  // The odd line ends of each file (from LineEndScan), for `line-ends`.
  PerList<std::vector<OddLineEnd>> ends;
  // The lists are enforced by Squid (veraway-check squid): `https` and `unsent` are checked too.
  bool for_squid = false;
};

// Whether `entry` can approve a CONNECT under the network rule, which judges the host:port that is all Squid
// knows of an HTTPS request as "https://host/" (rules/link_rule.h): not when it names another scheme
// ("http://"), or holds a path after the host's "/", a query, a user name or anything else no host holds.
// Upper-case letters are left to `uppercase`.
bool ApprovesAConnect(TextView entry);

// What an entry holds that no URL Squid hands the helper does, so that through Squid it never matches.
enum class Unsent : std::uint8_t {
  kNothing,
  kFragment,     // "#": clients never send the fragment
  kDefaultPort,  // "http://host:80", "://host:80" or "https://host:443": Squid leaves the default port out
  kRawUnicode,   // a character beyond ASCII after the host: clients send it %-escaped (UTF-8)
};
Unsent SquidNeverSends(TextView entry);

// Every finding in the lists, sorted by list (in table order), line, then rule. `index` is over the same
// lists. `progress`, when given, is called now and then with the number of entries checked so far.
std::vector<LintFinding> LintLists(const ListSet& lists, const TrustIndex& index, const HostNames& hosts,
                                   const LintOptions& options = {},
                                   const std::function<void(std::size_t checked)>& progress = {});

// How an entry reads as a host name, for the host rules and their messages.
struct HostEntry {
  bool is_host = false;   // [scheme://][.]host[rest], the host ending in a top-level name the list knows
  bool scheme = false;    // begins with "scheme://" or "://"
  bool dot = false;       // begins with "." (without a scheme)
  bool open_end = false;  // nothing follows the host, so longer host names hold it too
  bool unicode = false;   // the host holds characters beyond ASCII
  std::string left;       // what stands before the host: "scheme://", "://", "." or nothing
  std::string host;       // as written, UTF-8
  std::string ascii;      // its ASCII form
  std::string rest;       // what follows the host, UTF-8
};
HostEntry ReadHostEntry(TextView entry, const HostNames& hosts);

// For the messages: the anchored forms that the same substring rule honours, and addresses of other sites
// that an unanchored entry also approves.
// `for_squid`: only forms the network rule anchors at the host ("://host/", ".host/").
std::vector<std::string> AnchoredForms(const HostEntry& entry, const HostNames& hosts,
                                       bool for_squid = false);
std::vector<std::string> AlsoApproved(const HostEntry& entry, const HostNames& hosts);
// The entry with its host in ASCII form (for `idn`).
std::string AsciiForm(const HostEntry& entry);

}  // namespace vw
