// `veraway-check lint`: the list checks of rules/list_lint, as compiler-style diagnostics or jsonl, and a
// summary by rule.
#include <algorithm>
#include <array>

#include "cli/command_parts.h"
#include "cli/commands.h"
#include "rules/host_names.h"
#include "rules/list_lint.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

// The message of a finding, and the entries to write instead where there are some.
struct Explained {
  std::string message;
  std::vector<std::string> safer;
};

std::string QuotedUtf8(const std::string& text) {
  return Dump(Json(text));
}

std::string JoinQuoted(const std::vector<std::string>& texts, const char* last_joint) {
  std::string out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += i + 1 == texts.size() ? last_joint : ", ";
    out += QuotedUtf8(texts[i]);
  }
  return out;
}

std::string JoinPlain(const std::vector<std::string>& texts) {
  std::string out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += i + 1 == texts.size() ? " and " : ", ";
    out += texts[i];
  }
  return out;
}

// An address that holds `entry` in its query, which the browser's rule approves by it.
std::string SmuggledIn(const std::string& entry) {
  const std::string_view scheme = entry.rfind("://", 0) == 0 ? "https"
                                  : entry.rfind('.', 0) == 0 ? "https://www"
                                                             : "";
  return "http://evil.example/?u=" + std::string(scheme) + entry;
}

// What the safer forms let through, for both consumers: through Squid a form counts only in the host when the
// network rule anchors it there; in the browser every entry approves any address that holds it.
std::string SaferSays(const std::vector<std::string>& safer) {
  const bool anchored = std::all_of(safer.begin(), safer.end(), [](const std::string& form) {
    return AnchorOf(Utf8ToText(form)).kind != EntryAnchor::kAnywhere;
  });
  std::string out = "write " + JoinQuoted(safer, " or ");
  std::vector<std::string> where;
  for (const std::string& form : safer) where.push_back(form[0] == '.' ? "its subdomains" : "that host");
  out += anchored ? ": through Squid only " + JoinPlain(where) + "; in the browser any address that holds "
                  : " (through Squid too, any address that holds it: lint --for squid gives the forms Squid "
                    "anchors at the host); in the browser any address that holds ";
  out += safer.size() > 1 ? "one" : "it";
  out += ", as " + SmuggledIn(safer[0]);
  return out;
}

Explained Explain(const FolderLists& lists, const LintFinding& finding, const HostNames& hosts,
                  bool for_squid) {
  const TextView entry = ListOf(lists, finding.at.list)[finding.at.index];
  switch (finding.rule) {
    case LintRule::kBom:
      return {"a byte-order mark (U+FEFF) stands before the first entry, so it never matches", {}};
    case LintRule::kLineEnds:
      return {
          (finding.count == 1 ? std::string("this line ends")
                              : std::to_string(finding.count) + " lines in a row (to line " +
                                    std::to_string(finding.at.index + finding.count) + ") each end") +
              " in " + (finding.line_end == '\r' ? "a lone CR" : "a NUL byte") +
              ", which ends a line for the editor but not for grep -n and most tools: they show it within "
              "line " +
              std::to_string(finding.grep_line) + "; saving the list in the editor writes CR LF",
          {}};
    case LintRule::kWhitespace:
      return {
          "a blank or tab at the start or the end: an address holds none, so this entry never matches as "
          "meant",
          {}};
    case LintRule::kEmpty:
      return {finding.count == 1 ? "an empty line approves nothing"
                                 : std::to_string(finding.count) + " empty lines in a row (to line " +
                                       std::to_string(finding.at.index + finding.count) + ") approve nothing",
              {}};
    case LintRule::kDuplicate:
      return {"the same entry stands at " + Place(lists, finding.other), {}};
    case LintRule::kRedundant:
      return {Quoted(ListOf(lists, finding.other.list)[finding.other.index]) + " (" +
                  Place(lists, finding.other) +
                  ") occurs inside this entry, so this one approves nothing more",
              {}};
    case LintRule::kBroad:
      return {Quoted(entry) +
                  " occurs in the addresses of at least 2 % of real sites: it approves a large share of all "
                  "addresses",
              {}};
    case LintRule::kSuffix: {
      const HostEntry host = ReadHostEntry(entry, hosts);
      return {Quoted(entry) + " is a public suffix: it approves every site under it, as https://anyone." +
                  host.host + "/; name the sites meant, as \"." + "SITE." + host.host + "/\"",
              {}};
    }
    case LintRule::kUnanchored: {
      const HostEntry host = ReadHostEntry(entry, hosts);
      Explained out;
      out.safer = AnchoredForms(host, hosts, for_squid);
      out.message = Quoted(entry) + " also occurs in other sites' host names: it approves " +
                    JoinPlain(AlsoApproved(host, hosts)) + "; " + SaferSays(out.safer);
      return out;
    }
    case LintRule::kIdn: {
      const HostEntry host = ReadHostEntry(entry, hosts);
      Explained out;
      out.safer = {AsciiForm(host)};
      out.message = "the host is written in Unicode: browsers send it as " + QuotedUtf8(host.ascii) +
                    ", which this entry never matches; write " + QuotedUtf8(out.safer[0]);
      return out;
    }
    case LintRule::kHttps: {
      Explained out;
      out.message =
          "Squid sees only host:port of an HTTPS request, judged as https://host/: an entry with a path, a "
          "query or a scheme other than https never approves one";
      const HostEntry host = ReadHostEntry(entry, hosts);
      if (host.is_host) {
        out.safer = host.dot ? std::vector<std::string>{"." + host.host + "/"}
                             : std::vector<std::string>{"://" + host.host + "/", "." + host.host + "/"};
        out.message += "; for HTTPS to this site " + SaferSays(out.safer);
      }
      return out;
    }
    case LintRule::kUnsent:
      switch (SquidNeverSends(entry)) {
        case Unsent::kFragment:
          return {"holds \"#\": clients send no fragment, so through Squid this entry never matches", {}};
        case Unsent::kDefaultPort:
          return {
              "names the default port, which Squid leaves out of the URL (http://host/, and a CONNECT to "
              "port 443 is https://host/): through Squid this entry never matches; leave the port out",
              {}};
        case Unsent::kRawUnicode:
        case Unsent::kNothing:
          break;
      }
      return {
          "a character beyond ASCII in the path: browsers send it %-escaped as UTF-8, so through Squid "
          "this entry matches no browser's request; write it %-escaped",
          {}};
    case LintRule::kUppercase:
      return {
          "upper-case letters in the host name: browsers send host names in lower case, and matching is "
          "case-sensitive",
          {}};
    case LintRule::kMalformed:
      return {"bytes that were not UTF-8, read as U+FFFD", {}};
    case LintRule::kControl:
      return {"a control character inside the entry", {}};
  }
  return {};
}

std::uint32_t RuleMask(const std::vector<std::string>& names) {
  std::uint32_t mask = 0;
  for (const std::string& name : names) {
    if (const auto rule = LintRuleNamed(name)) mask |= 1u << static_cast<int>(*rule);
  }
  return mask;
}

}  // namespace

int RunLint(const Options& options) {
  FolderLists lists;
  if (!ReadFolderLists(options.dir, lists)) return kError;
  LintOptions lint;
  if (!options.only.empty()) lint.rules = RuleMask(options.only);
  lint.rules &= ~RuleMask(options.ignore);
  lint.for_squid = options.lint_for == "squid";
  lint.ends = std::move(lists.ends);
  const HostNames& hosts = SystemHostNames();
  const TrustIndex index(lists.Lists());
  Progress progress("entries checked");
  const std::vector<LintFinding> findings =
      LintLists(lists.Lists(), index, hosts, lint, [&](std::size_t checked) { progress.Update(checked); });
  progress.Done();
  Output output;
  std::array<std::size_t, kLintRuleCount> counts{};
  for (const LintFinding& finding : findings) {
    ++counts[static_cast<std::size_t>(finding.rule)];
    std::string& out = output.buffer();
    const Explained explained = Explain(lists, finding, hosts, lint.for_squid);
    if (options.format == Format::kJsonl) {
      Json line{{"file", ListPath(lists.dir, finding.at.list)},
                {"line", finding.at.index + 1},
                {"rule", LintRuleName(finding.rule)},
                {"message", explained.message},
                {"entry", TextToUtf8(ListOf(lists, finding.at.list)[finding.at.index])}};
      if (!explained.safer.empty()) line["safer"] = explained.safer;
      out += Dump(line);
    } else {
      out += Place(lists, finding.at) + ": warning: " + explained.message + " [" +
             LintRuleName(finding.rule) + "]";
    }
    out += '\n';
    output.Flush(false);
  }
  // The summary: counts by rule, in the rules' order.
  Json by_rule = Json::object();
  std::string text = findings.empty()       ? "no findings"
                     : findings.size() == 1 ? "1 finding:"
                                            : std::to_string(findings.size()) + " findings:";
  for (int i = 0; i < kLintRuleCount; ++i) {
    if (counts[static_cast<std::size_t>(i)] == 0) continue;
    const char* name = LintRuleName(static_cast<LintRule>(i));
    by_rule[name] = counts[static_cast<std::size_t>(i)];
    text +=
        (by_rule.size() == 1 ? " " : ", ") + std::to_string(counts[static_cast<std::size_t>(i)]) + " " + name;
  }
  if (options.format == Format::kJsonl) {
    output.buffer() += Dump(Json{{"findings", findings.size()}, {"by_rule", by_rule}}) + "\n";
  }
  if (!output.Flush()) {
    Error("standard output: write error");
    return kError;
  }
  if (options.format == Format::kText) Note(text);
  return findings.empty() ? kOk : kFindings;
}

}  // namespace vw::cli
