// `veraway-check lint`: the list checks of rules/list_lint, as compiler-style diagnostics or jsonl.
#include "cli/command_parts.h"
#include "cli/commands.h"
#include "rules/list_lint.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

std::string LintMessage(const FolderLists& lists, const LintFinding& finding) {
  const TextView entry = ListOf(lists, finding.at.list)[finding.at.index];
  switch (finding.rule) {
    case LintRule::kBom:
      return "a byte-order mark (U+FEFF) stands before the first entry, so it never matches";
    case LintRule::kWhitespace:
      return "a blank or tab at the start or the end: an address holds none, so this entry never matches as "
             "meant";
    case LintRule::kEmpty:
      return "an empty line approves nothing";
    case LintRule::kDuplicate:
      return "the same entry stands at " + Place(lists, finding.other);
    case LintRule::kRedundant:
      return Quoted(ListOf(lists, finding.other.list)[finding.other.index]) + " (" +
             Place(lists, finding.other) + ") occurs inside this entry, so this one approves nothing more";
    case LintRule::kBroad:
      return entry.size() <= 3
                 ? Quoted(entry) + " is three characters or fewer: it approves nearly everything"
                 : Quoted(entry) +
                       " occurs in what almost every address holds: it approves nearly "
                       "everything";
    case LintRule::kUppercase:
      return "upper-case letters in the host name: browsers send host names in lower case, and matching is "
             "case-sensitive";
    case LintRule::kMalformed:
      return "bytes that were not UTF-8, read as U+FFFD";
    case LintRule::kControl:
      return "a control character inside the entry";
  }
  return {};
}

}  // namespace

int RunLint(const Options& options) {
  FolderLists lists;
  if (!ReadFolderLists(options.dir, lists)) return kError;
  const TrustIndex index(lists.sites, lists.links);
  Progress progress("entries checked");
  const std::vector<LintFinding> findings =
      LintLists(lists.sites, lists.links, index, [&](std::size_t checked) { progress.Update(checked); });
  progress.Done();
  Output output;
  for (const LintFinding& finding : findings) {
    std::string& out = output.buffer();
    const std::string message = LintMessage(lists, finding);
    if (options.format == Format::kJsonl) {
      out += Dump(Json{{"file", ListPath(lists.dir, finding.at.list)},
                       {"line", finding.at.index + 1},
                       {"rule", LintRuleName(finding.rule)},
                       {"message", message},
                       {"entry", TextToUtf8(ListOf(lists, finding.at.list)[finding.at.index])}});
    } else {
      out += Place(lists, finding.at) + ": warning: " + message + " [" + LintRuleName(finding.rule) + "]";
    }
    out += '\n';
    output.Flush(false);
  }
  if (!output.Flush()) {
    Error("standard output: write error");
    return kError;
  }
  return findings.empty() ? kOk : kFindings;
}

}  // namespace vw::cli
