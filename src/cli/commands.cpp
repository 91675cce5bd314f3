#include "cli/commands.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/console.h"
#include "cli/folder_lists.h"
#include "rules/list_lint.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

using Json = nlohmann::ordered_json;  // fields in the order written

constexpr int kOk = 0;
constexpr int kFindings = 1;
constexpr int kError = 2;

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A text in double quotes, escaped as every field of text output is (see Shown).
std::string Quoted(TextView text) {
  return ShownQuoted(TextToUtf8(text));
}

const TrustList& ListOf(const FolderLists& lists, ListKind kind) {
  return kind == ListKind::kSites ? lists.sites : lists.links;
}

// "DIR/TrustFile_SafeSites.txt:12"
std::string Place(const FolderLists& lists, EntryRef entry) {
  return Shown(ListPath(lists.dir, entry.list)) + ":" + std::to_string(entry.index + 1);
}

Json ApprovalsJson(const FolderLists& lists, const std::vector<EntryRef>& approvals) {
  Json by = Json::array();
  for (const EntryRef& entry : approvals) {
    by.push_back({{"list", entry.list == ListKind::kSites ? "sites" : "links"},
                  {"line", entry.index + 1},
                  {"entry", TextToUtf8(ListOf(lists, entry.list)[entry.index])}});
  }
  return by;
}

void AppendApprovalsText(const FolderLists& lists, const std::vector<EntryRef>& approvals, const char* indent,
                         std::string& out) {
  for (const EntryRef& entry : approvals) {
    out += indent;
    out += Place(lists, entry);
    out += ": ";
    out += Shown(TextToUtf8(ListOf(lists, entry.list)[entry.index]));
    out += '\n';
  }
}

// The addresses of the command line, else the lines of standard input, one at a time.
class Addresses {
 public:
  explicit Addresses(const std::vector<std::string>& given) : given_(given), stdin_(stdin) {}
  bool Next(std::string& address) {
    if (!given_.empty()) {
      if (next_ == given_.size()) return false;
      address = given_[next_++];
      return true;
    }
    // A blank line is no address: skipped, neither tested nor counted.
    while (stdin_.Next(address)) {
      if (address.find_first_not_of(" \t") != std::string::npos) return true;
    }
    return false;
  }
  bool Failed() const { return stdin_.Failed(); }

 private:
  const std::vector<std::string>& given_;
  std::size_t next_ = 0;
  LineReader stdin_;
};

int Finish(Output& output, const Addresses& addresses, int status) {
  if (addresses.Failed()) {
    Error("standard input: read error");
    status = kError;
  }
  if (!output.Flush()) {
    Error("standard output: write error");
    status = kError;
  }
  return status;
}

std::string LintMessage(const FolderLists& lists, const LintFinding& finding) {
  const TextView entry = ListOf(lists, finding.at.list)[finding.at.index];
  switch (finding.rule) {
    case LintRule::kBom:
      return "a byte-order mark (U+FEFF) stands before the first entry, so it never matches";
    case LintRule::kWhitespace:
      return "a blank or tab at the start or the end: an address holds none, so this entry never matches as "
             "meant";
    case LintRule::kEmpty:
      return finding.count == 1 ? "an empty line approves nothing"
                                : std::to_string(finding.count) + " empty lines in a row (to line " +
                                      std::to_string(finding.at.index + finding.count) + ") approve nothing";
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

int RunTest(const Options& options) {
  FolderLists lists;
  if (!ReadFolderLists(options.dir, lists)) return kError;
  const TrustIndex index(lists.sites, lists.links);
  Addresses addresses(options.addresses);
  Output output;
  Progress progress("addresses tested");
  std::vector<EntryRef> approvals;
  std::string address;
  std::size_t count = 0;
  int status = kOk;
  while (addresses.Next(address)) {
    index.Verdict(Utf8ToText(address), approvals);
    if (approvals.empty()) status = kFindings;
    std::string& out = output.buffer();
    if (options.format == Format::kJsonl) {
      out += Dump(Json{
          {"address", address}, {"approved", !approvals.empty()}, {"by", ApprovalsJson(lists, approvals)}});
      out += '\n';
    } else {
      out += approvals.empty() ? "not approved: " : "approved: ";
      out += Shown(address);
      out += '\n';
      AppendApprovalsText(lists, approvals, "  ", out);
    }
    output.Flush(false);
    progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

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

int RunDiff(const Options& options) {
  FolderLists lists;
  FolderLists other;
  if (!ReadFolderLists(options.dir, lists) || !ReadFolderLists(options.against, other)) return kError;
  const TrustIndex index(lists.sites, lists.links);
  const TrustIndex other_index(other.sites, other.links);
  Addresses addresses(options.addresses);
  Output output;
  Progress progress("addresses compared");
  std::vector<EntryRef> approvals;
  std::vector<EntryRef> other_approvals;
  std::string address;
  std::size_t count = 0;
  int status = kOk;
  const std::string dir_name = options.dir.empty() ? "." : options.dir;
  while (addresses.Next(address)) {
    const Text text = Utf8ToText(address);
    index.Verdict(text, approvals);
    other_index.Verdict(text, other_approvals);
    progress.Update(++count);
    if (approvals.empty() == other_approvals.empty()) continue;
    status = kFindings;
    std::string& out = output.buffer();
    if (options.format == Format::kJsonl) {
      out += Dump(
          Json{{"address", address},
               {"dir", {{"approved", !approvals.empty()}, {"by", ApprovalsJson(lists, approvals)}}},
               {"against",
                {{"approved", !other_approvals.empty()}, {"by", ApprovalsJson(other, other_approvals)}}}});
      out += '\n';
    } else {
      out += Shown(address) + '\n';
      for (const auto* side : {&lists, &other}) {
        const std::vector<EntryRef>& by = side == &lists ? approvals : other_approvals;
        out += "  " + Shown(side == &lists ? dir_name : options.against) +
               (by.empty() ? ": not approved\n" : ": approved\n");
        AppendApprovalsText(*side, by, "    ", out);
      }
    }
    output.Flush(false);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
