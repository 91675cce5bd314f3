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
  // Answers the chunks of the batch not yet taken, each into its own place; a chunk's answers are appended in
  // order once both threads are done.
  struct Chunk {
    std::string answers;
    bool all_approved = true;
  };
  std::vector<Chunk> chunks;
  std::atomic<std::size_t> next_chunk{0};
  const auto answer_chunks = [&] {
    AddressJudge judge(*index, options.as_squid);
    std::vector<EntryRef> approvals;
    for (std::size_t at; (at = next_chunk.fetch_add(1)) < chunks.size();) {
      Chunk& chunk = chunks[at];
      chunk.answers.clear();
      chunk.all_approved = true;
      const std::size_t end = std::min(batch.size(), (at + 1) * kShare);
      for (std::size_t i = at * kShare; i < end; ++i) {
        const std::string& address = batch[i];
        judge.Judge(address, approvals);
        if (approvals.empty()) chunk.all_approved = false;
        AppendTestVerdict(lists, address, approvals, judge.unusable(), options.format, chunk.answers);
      }
    }
  };
  std::size_t count = 0;
  int status = kOk;
  for (; more; more = NextBatch(addresses, kBatch, batch)) {
    chunks.resize((batch.size() + kShare - 1) / kShare);
    next_chunk = 0;
    auto second = std::async(chunks.size() == 1 ? std::launch::deferred : std::launch::async, answer_chunks);
    answer_chunks();
    second.get();
    for (const Chunk& chunk : chunks) {
      output.buffer() += chunk.answers;
      if (!chunk.all_approved) status = kFindings;
    }
    output.Flush(false);
    for (std::size_t i = 0; i < batch.size(); ++i) progress.Update(++count);
  }
  progress.Done();
  return Finish(output, addresses, status);
}

}  // namespace vw::cli
