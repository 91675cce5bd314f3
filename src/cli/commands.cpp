#include "cli/commands.h"

#include <future>
#include <memory>

#include "cli/command_parts.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

// Addresses answered together; a batch below kSplit is answered on one thread, a larger one on two.
constexpr std::size_t kBatch = 4096;
constexpr std::size_t kSplit = 64;

}  // namespace

int RunTest(const Options& options) {
  FolderLists lists;
  if (!ReadFolderLists(options.dir, lists)) return kError;
  // The index is built on a second thread while the first addresses are read.
  auto building =
      std::async(std::launch::async, [&] { return std::make_unique<const TrustIndex>(lists.Lists()); });
  Addresses addresses(options.addresses);
  Output output;
  Progress progress("addresses tested");
  std::vector<std::string> batch;
  bool more = NextBatch(addresses, kBatch, batch);
  const std::unique_ptr<const TrustIndex> index = building.get();
  // Answers batch[begin, end) into `out`; false when some address is not approved.
  const auto answer = [&](std::size_t begin, std::size_t end, std::string& out) {
    AddressJudge judge(*index, options.as_squid);
    std::vector<EntryRef> approvals;
    bool all_approved = true;
    for (std::size_t i = begin; i < end; ++i) {
      const std::string& address = batch[i];
      judge.Judge(address, approvals);
      if (approvals.empty()) all_approved = false;
      AppendTestVerdict(lists, address, approvals, judge.unusable(), options.format, out);
    }
    return all_approved;
  };
  std::size_t count = 0;
  int status = kOk;
  std::string second_half;
  for (; more; more = NextBatch(addresses, kBatch, batch)) {
    // A large batch in two halves, the second on another thread into a buffer of its own, then joined in
    // order.
    const std::size_t half = batch.size() < kSplit ? batch.size() : batch.size() / 2;
    second_half.clear();
    auto second = std::async(half == batch.size() ? std::launch::deferred : std::launch::async,
                             [&] { return answer(half, batch.size(), second_half); });
    const bool first_approved = answer(0, half, output.buffer());
    if (!second.get() || !first_approved) status = kFindings;
    output.buffer() += second_half;
    output.Flush(false);
    for (std::size_t i = 0; i < batch.size(); ++i) progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
