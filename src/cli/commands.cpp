#include "cli/commands.h"

#include "cli/command_parts.h"
#include "rules/trust_index.h"

namespace vw::cli {

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
      out += address;
      out += '\n';
      AppendApprovalsText(lists, approvals, "  ", out);
    }
    output.Flush(false);
    progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
