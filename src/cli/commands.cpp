#include "cli/commands.h"

#include "cli/command_parts.h"
#include "rules/trust_index.h"

namespace vw::cli {

int RunTest(const Options& options) {
  FolderLists lists;
  if (!ReadFolderLists(options.dir, lists)) return kError;
  const TrustIndex index(lists.Lists());
  Addresses addresses(options.addresses);
  Output output;
  Progress progress("addresses tested");
  AddressJudge judge(index, options.as_squid);
  std::vector<EntryRef> approvals;
  std::string address;
  std::size_t count = 0;
  int status = kOk;
  while (addresses.Next(address)) {
    judge.Judge(address, approvals);
    if (approvals.empty()) status = kFindings;
    AppendTestVerdict(lists, address, approvals, judge.unusable(), options.format, output.buffer());
    output.Flush(false);
    progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
