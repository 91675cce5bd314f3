#include "rules/list_lint.h"

#include <algorithm>
#include <unordered_map>

#include "rules/link_rule.h"

namespace vw {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Letters that FoldCase changes although they are already lower case (other forms of a small letter).
bool IsLowerVariant(char16_t c) {
  switch (c) {
    case 0xB5:   // micro sign
    case 0x17F:  // long s
    case 0x345:  // combining ypogegrammeni
    case 0x3C2:  // final sigma
    case 0x3D0:
    case 0x3D1:
    case 0x3D5:
    case 0x3D6:
    case 0x3F0:
    case 0x3F1:
    case 0x3F5:
      return true;
    default:
      return false;
  }
}

bool IsUpperCase(char16_t c) {
  return FoldCase(c) != c && !IsLowerVariant(c);
}

bool HostHasUpperCase(TextView entry) {
  const std::size_t scheme_end = entry.find(u"://");
  const std::size_t host_start = scheme_end == TextView::npos ? 0 : scheme_end + 3;
  const std::size_t host_end = std::min(entry.find(u'/', host_start), entry.size());
  return std::any_of(entry.begin() + static_cast<std::ptrdiff_t>(host_start),
                     entry.begin() + static_cast<std::ptrdiff_t>(host_end), IsUpperCase);
}

// The texts that the addresses of a large share of real sites hold, sorted.
const std::vector<TextView>& BroadParts() {
  static const std::vector<TextView> parts = [] {
    static constexpr const char16_t* kParts[] = {
#include "rules/broad_parts.inc"
    };
    std::vector<TextView> sorted(std::begin(kParts), std::end(kParts));
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }();
  return parts;
}

bool IsBroad(TextView entry) {
  return std::binary_search(BroadParts().begin(), BroadParts().end(), entry);
}

// A tab at either end is the whitespace rule's finding; every other control character is this rule's.
bool HasOtherControl(TextView entry) {
  for (std::size_t i = 0; i < entry.size(); ++i) {
    if (!IsControl(entry[i])) continue;
    if (entry[i] == u'\t' && (i == 0 || i + 1 == entry.size())) continue;
    return true;
  }
  return false;
}

// A character of a host name in lower case. Beyond ASCII: letters of other scripts, but not the spaces,
// invisible marks and other full stops that a browser's name mapping would change or drop, so that the
// punycode lint suggests is the one a browser sends.
bool IsHostChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
  if (c <= 0xA0 || c == 0xAD || IsUpperCase(c)) return false;
  if (c >= 0x2000 && c <= 0x206F) return false;  // spaces, joiners, marks, bidi controls
  return c != 0x3000 && c != 0x3002 && c != 0xFEFF && c != 0xFF0E && c != 0xFF61 && c != 0xFFFD;
}

// Whether names written in front of this host belong to other sites: the host is a registrable domain (or
// the end of one), not a name under one.
bool OpenAtStart(const HostEntry& entry, const HostNames& hosts) {
  return !entry.scheme && !entry.dot && hosts.RegistrableDomain(entry.ascii) == entry.ascii;
}

class Linter {
 public:
  Linter(const ListSet& lists, const TrustIndex& index, const HostNames& hosts, const LintOptions& options)
      : lists_(lists), index_(index), hosts_(hosts), options_(options) {
    std::size_t total = 0;
    for (std::size_t n = 0; n < kListCount; ++n) {
      start_[n] = total;
      total += lists[n]->size();
    }
    judged_.resize(total);
  }

  void Lint(EntryRef at, std::vector<LintFinding>& out) {
    const TextView entry = TextOf(at);
    const auto add = [&](LintRule rule, EntryRef other = {}) {
      if (options_.Wants(rule)) out.push_back({at, rule, other, 0, 0});
    };
    if (at.index == 0 && !entry.empty() && entry[0] == u'\uFEFF') add(LintRule::kBom);
    const std::vector<OddLineEnd>& ends = options_.ends[ListNo(at.list)];
    std::size_t& next_end = next_end_[ListNo(at.list)];
    while (next_end < ends.size() && ends[next_end].line <= at.index + 1) {
      const OddLineEnd& run = ends[next_end];
      if (run.line == at.index + 1 && options_.Wants(LintRule::kLineEnds)) {
        out.push_back({at, LintRule::kLineEnds, {}, run.grep_line, run.end, run.count});
      }
      ++next_end;
    }
    if (entry.empty()) {
      // A run of empty lines is one finding (the findings of other rules on its lines may follow it), so
      // findings never grow with a file of empty lines.
      LintFinding* run = empty_run_ < out.size() ? &out[empty_run_] : nullptr;
      if (run != nullptr && run->at.list == at.list && run->at.index + run->count == at.index) {
        ++run->count;
      } else if (options_.Wants(LintRule::kEmpty)) {
        empty_run_ = out.size();
        add(LintRule::kEmpty);
      }
      return;
    }
    if (IsBlank(entry.front()) || IsBlank(entry.back())) add(LintRule::kWhitespace);
    const bool want_redundant = options_.Wants(LintRule::kRedundant);
    if (want_redundant || options_.Wants(LintRule::kDuplicate)) {
      // A shorter entry that is itself too wide does not make this one redundant: lint would advise deleting
      // a wanted site and keeping the risk. That entry gets its own finding instead.
      const TrustIndex::Relations relations = index_.RelationsOf(
          entry, want_redundant
                     ? std::function<bool(EntryRef)>([&](EntryRef inside) { return !Risky(inside); })
                     : std::function<bool(EntryRef)>([](EntryRef) { return false; }));
      if (relations.has_equal && !(relations.equal == at)) add(LintRule::kDuplicate, relations.equal);
      if (relations.has_inside) add(LintRule::kRedundant, relations.inside);
    }
    const std::uint8_t judged = Judge(at);
    if ((judged & kBroadBit) != 0) add(LintRule::kBroad);
    if ((judged & kSuffixBit) != 0) add(LintRule::kSuffix);
    if ((judged & kUnanchoredBit) != 0) add(LintRule::kUnanchored);
    if ((judged & kIdnBit) != 0) add(LintRule::kIdn);
    if (options_.for_squid && !ApprovesAConnect(entry)) add(LintRule::kHttps);
    if (options_.for_squid && SquidNeverSends(entry) != Unsent::kNothing) add(LintRule::kUnsent);
    if (HostHasUpperCase(entry)) add(LintRule::kUppercase);
    if (entry.find(u'\uFFFD') != TextView::npos) add(LintRule::kMalformed);
    if (HasOtherControl(entry)) add(LintRule::kControl);
  }

 private:
  static constexpr std::uint8_t kJudgedBit = 1;
  static constexpr std::uint8_t kBroadBit = 2;
  static constexpr std::uint8_t kSuffixBit = 4;
  static constexpr std::uint8_t kUnanchoredBit = 8;
  static constexpr std::uint8_t kIdnBit = 16;

  TextView TextOf(EntryRef at) const { return (*lists_[ListNo(at.list)])[at.index]; }

  // The host rules' verdict on an entry, worked out once.
  std::uint8_t Judge(EntryRef at) {
    std::uint8_t& judged = judged_[start_[ListNo(at.list)] + at.index];
    if (judged != 0) return judged;
    const TextView entry = TextOf(at);
    judged = kJudgedBit;
    if (IsBroad(entry)) judged |= kBroadBit;
    const HostEntry host = ReadHostEntry(entry, hosts_);
    if (host.is_host) {
      const bool suffix = !host.scheme && hosts_.IsPublicSuffix(host.ascii);
      if (suffix) judged |= kSuffixBit;
      if (!suffix && (host.open_end || OpenAtStart(host, hosts_))) judged |= kUnanchoredBit;
      if (host.unicode) judged |= kIdnBit;
    }
    return judged;
  }

  bool Risky(EntryRef at) { return (Judge(at) & (kBroadBit | kSuffixBit | kUnanchoredBit)) != 0; }

  ListSet lists_;
  PerList<std::size_t> start_{};  // where each list's entries begin in judged_
  const TrustIndex& index_;
  const HostNames& hosts_;
  const LintOptions& options_;
  std::vector<std::uint8_t> judged_;  // per entry, the lists in table order; 0 until judged
  std::size_t empty_run_ =
      static_cast<std::size_t>(-1);  // where in the findings the open run of empty lines is
  PerList<std::size_t> next_end_{};  // per list, the first of its odd line ends not yet reported
};

}  // namespace

const char* LintRuleName(LintRule rule) {
  switch (rule) {
    case LintRule::kBom:
      return "bom";
    case LintRule::kLineEnds:
      return "line-ends";
    case LintRule::kWhitespace:
      return "whitespace";
    case LintRule::kEmpty:
      return "empty";
    case LintRule::kDuplicate:
      return "duplicate";
    case LintRule::kRedundant:
      return "redundant";
    case LintRule::kBroad:
      return "broad";
    case LintRule::kSuffix:
      return "suffix";
    case LintRule::kUnanchored:
      return "unanchored";
    case LintRule::kIdn:
      return "idn";
    case LintRule::kHttps:
      return "https";
    case LintRule::kUnsent:
      return "unsent";
    case LintRule::kUppercase:
      return "uppercase";
    case LintRule::kMalformed:
      return "malformed";
    case LintRule::kControl:
      return "control";
  }
  return "?";
}

bool ApprovesAConnect(TextView entry) {
  TextView rest = entry;
  if (const std::size_t separator = entry.find(u"://"); separator != TextView::npos) {
    // Only at the scheme separator of "https://host/": what stands before it ends "https".
    const TextView scheme = entry.substr(0, separator);
    if (scheme.size() > 5 || TextView(u"https").substr(5 - scheme.size()) != scheme) return false;
    rest = entry.substr(separator + 3);
  }
  // The rest must fit in "host[:port]/": no "/" but a last one.
  const std::size_t slash = rest.find(u'/');
  if (slash != TextView::npos && slash + 1 != rest.size()) return false;
  return std::all_of(
      rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(std::min(slash, rest.size())), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'.' || c == u'-' || c == u'_' || c == u':' || c == u'[' || c == u']';
      });
}

Unsent SquidNeverSends(TextView entry) {
  if (entry.find(u'#') != TextView::npos) return Unsent::kFragment;
  const std::size_t separator = entry.find(u"://");
  const std::size_t host = separator == TextView::npos ? 0 : separator + 3;
  const std::size_t host_end = std::min(entry.find(u'/', host), entry.size());
  if (separator != TextView::npos) {
    const TextView scheme = entry.substr(0, separator);
    const TextView authority = entry.substr(host, host_end - host);
    const auto ends_with = [&](TextView port) {
      return authority.size() > port.size() && authority.substr(authority.size() - port.size()) == port;
    };
    if (((scheme.empty() || scheme == u"http") && ends_with(u":80")) ||
        (scheme == u"https" && ends_with(u":443"))) {
      return Unsent::kDefaultPort;
    }
  }
  // Beyond the host: past its "/" (the entry's first "/" when it names no scheme).
  if (std::any_of(entry.begin() + static_cast<std::ptrdiff_t>(host_end), entry.end(),
                  [](char16_t c) { return c >= 0x80; })) {
    return Unsent::kRawUnicode;
  }
  return Unsent::kNothing;
}

std::optional<LintRule> LintRuleNamed(std::string_view name) {
  for (int i = 0; i < kLintRuleCount; ++i) {
    const auto rule = static_cast<LintRule>(i);
    if (name == LintRuleName(rule)) return rule;
  }
  return std::nullopt;
}

void LineEndScan::Ended(char end) {
  if (end == '\n') {
    ++line_;
    ++grep_line_;
    return;
  }
  if (!found_.empty()) {
    OddLineEnd& last = found_.back();
    if (last.end == end && last.grep_line == grep_line_ && last.line + last.count == line_) {
      ++last.count;
      ++line_;
      return;
    }
  }
  found_.push_back({line_++, end, grep_line_, 1});
}

HostEntry ReadHostEntry(TextView text, const HostNames& hosts) {
  HostEntry entry;
  std::size_t start = 0;
  const std::size_t scheme_end = text.find(u"://");
  if (scheme_end != TextView::npos && (scheme_end == 0 || IsSchemeName(text.substr(0, scheme_end)))) {
    entry.scheme = true;
    start = scheme_end + 3;
  } else if (!text.empty() && text[0] == u'.') {
    entry.dot = true;
    start = 1;
  }
  std::size_t end = start;
  while (end < text.size() && IsHostChar(text[end])) ++end;
  const TextView host = text.substr(start, end - start);
  if (host.empty() || host.front() == u'.' || host.back() == u'.' || host.find(u"..") != TextView::npos) {
    return entry;
  }
  if (end < text.size() && TextView(u"/:?#").find(text[end]) == TextView::npos) return entry;
  entry.open_end = end == text.size();
  entry.unicode = std::any_of(host.begin(), host.end(), [](char16_t c) { return c >= 0x80; });
  entry.host = TextToUtf8(host);
  if (!entry.unicode) {
    entry.ascii = entry.host;
  } else if (!HostToAscii(entry.host, entry.ascii)) {
    return entry;
  }
  // A host name ends in a top-level name the list knows; "index.html" and "login" are no host names.
  const std::size_t last_dot = entry.ascii.rfind('.');
  const std::string_view top = last_dot == std::string::npos
                                   ? std::string_view(entry.ascii)
                                   : std::string_view(entry.ascii).substr(last_dot + 1);
  if (!hosts.IsPublicSuffix(top)) return entry;
  entry.left = TextToUtf8(text.substr(0, start));
  entry.rest = TextToUtf8(text.substr(end));
  entry.is_host = true;
  return entry;
}

std::vector<std::string> AnchoredForms(const HostEntry& entry, const HostNames& hosts, bool for_squid) {
  const std::string right = entry.host + (entry.open_end ? "/" : entry.rest);
  if (OpenAtStart(entry, hosts) || (for_squid && !entry.scheme && !entry.dot))
    return {"://" + right, "." + right};
  return {entry.left + right};
}

std::vector<std::string> AlsoApproved(const HostEntry& entry, const HostNames& hosts) {
  std::vector<std::string> also;
  const std::string rest = entry.open_end || entry.rest.empty() || entry.rest[0] != '/' ? "/" : entry.rest;
  const std::string scheme = "https://";
  const std::string below = entry.dot ? "www." : "";
  if (OpenAtStart(entry, hosts)) also.push_back(scheme + "evil-" + entry.host + rest);
  if (entry.open_end) {
    also.push_back(scheme + below + entry.host + ".attacker.example/");
    // The last label may also be the start of another top-level name: "t.co" in "t.com".
    const std::size_t last_dot = entry.ascii.rfind('.');
    const std::string top = entry.ascii.substr(last_dot == std::string::npos ? 0 : last_dot + 1);
    // Asked once per top-level name: lint may explain a million entries under a handful of them.
    thread_local std::unordered_map<std::string, char> longer_tops;
    thread_local const HostNames* longer_tops_of = nullptr;
    if (longer_tops_of != &hosts) {
      longer_tops.clear();
      longer_tops_of = &hosts;
    }
    const auto [found, added] = longer_tops.try_emplace(top, '\0');
    if (added) {
      for (char c = 'a'; c <= 'z' && found->second == '\0'; ++c) {
        if (hosts.IsPublicSuffix(top + c)) found->second = c;
      }
    }
    if (found->second != '\0') also.push_back(scheme + below + entry.host + found->second + "/");
  }
  return also;
}

std::string AsciiForm(const HostEntry& entry) {
  return entry.left + entry.ascii + entry.rest;
}

std::vector<LintFinding> LintLists(const ListSet& lists, const TrustIndex& index, const HostNames& hosts,
                                   const LintOptions& options,
                                   const std::function<void(std::size_t checked)>& progress) {
  std::vector<LintFinding> findings;
  Linter linter(lists, index, hosts, options);
  std::size_t checked = 0;
  // Entries are walked in the order of the result, so the findings come out sorted.
  for (const ListInfo& row : kListTable) {
    for (std::size_t i = 0; i < lists[ListNo(row.kind)]->size(); ++i) {
      linter.Lint(EntryRef{row.kind, i}, findings);
      if (progress && ++checked % 4096 == 0) progress(checked);
    }
  }
  return findings;
}

}  // namespace vw
