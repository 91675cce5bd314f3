#include "cli/commands.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>

#include "cli/command_parts.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

// Addresses answered together. A batch of more than kShare is shared by two threads in chunks of kShare,
// which each takes in turn, so that the faster thread (the other one reads and writes between batches)
// answers more of them.
constexpr std::size_t kBatch = 4096;
constexpr std::size_t kShare = 64;

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
  // Answers the chunks of the batch not yet taken, each into its own buffer; false when some address is not
  // approved.
  std::vector<std::string> answers;
  std::atomic<std::size_t> next_chunk{0};
  const auto answer_chunks = [&] {
    AddressJudge judge(*index, options.as_squid);
    std::vector<EntryRef> approvals;
    bool all_approved = true;
    for (std::size_t chunk; (chunk = next_chunk.fetch_add(1)) < answers.size();) {
      std::string& out = answers[chunk];
      out.clear();
      const std::size_t end = std::min(batch.size(), (chunk + 1) * kShare);
      for (std::size_t i = chunk * kShare; i < end; ++i) {
        const std::string& address = batch[i];
        judge.Judge(address, approvals);
        if (approvals.empty()) all_approved = false;
        AppendTestVerdict(lists, address, approvals, judge.unusable(), options.format, out);
      }
    }
    return all_approved;
  };
  std::size_t count = 0;
  int status = kOk;
  for (; more; more = NextBatch(addresses, kBatch, batch)) {
    answers.resize((batch.size() + kShare - 1) / kShare);
    next_chunk = 0;
    auto second = std::async(answers.size() == 1 ? std::launch::deferred : std::launch::async, answer_chunks);
    const bool first_approved = answer_chunks();
    if (!second.get() || !first_approved) status = kFindings;
    for (const std::string& answer : answers) output.buffer() += answer;
    output.Flush(false);
    for (std::size_t i = 0; i < batch.size(); ++i) progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
