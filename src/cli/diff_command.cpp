// `veraway-check diff`: two folders of lists compared.
#include "cli/command_parts.h"
#include "cli/commands.h"
#include "rules/trust_index.h"

namespace vw::cli {

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
      out += address + '\n';
      for (const auto* side : {&lists, &other}) {
        const std::vector<EntryRef>& by = side == &lists ? approvals : other_approvals;
        out += "  " + (side == &lists ? dir_name : options.against) +
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
