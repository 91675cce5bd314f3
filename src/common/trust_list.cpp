// TrustList: entries packed into large character blocks.
#include "common/trust_list.h"

#include <algorithm>

namespace vw {
namespace {

// Blocks start small, so a short list costs little, and double up to 1 Mi units (2 MiB). An entry longer than
// the next block would be gets a block of its own size.
constexpr std::size_t kFirstBlockUnits = 1024;
constexpr std::size_t kLargestBlockUnits = std::size_t{1} << 20;

}  // namespace

void TrustList::Append(TextView text) {
  const std::size_t n = text.size();
  if (n == 0) {
    if (!empty_runs_.empty() && empty_runs_.back().first + empty_runs_.back().count == size_) {
      ++empty_runs_.back().count;
    } else {
      const std::size_t before =
          empty_runs_.empty() ? 0 : empty_runs_.back().empty_before + empty_runs_.back().count;
      empty_runs_.push_back(EmptyRun{size_, 1, before});
    }
    ++size_;
    return;
  }
  if (blocks_.empty() || blocks_.back().capacity - used_ < n) {
    std::size_t capacity =
        blocks_.empty() ? kFirstBlockUnits : std::min(blocks_.back().capacity * 2, kLargestBlockUnits);
    capacity = std::max(capacity, n);
    // Old blocks stay where they are, so `text` may even be an entry of this list. Should a later step throw,
    // the new block simply waits, empty, for the next entry.
    blocks_.push_back(Block{std::make_unique_for_overwrite<char16_t[]>(capacity), capacity, ends_.size()});
    used_ = 0;
  }
  std::copy(text.begin(), text.end(), blocks_.back().chars.get() + used_);
  ends_.push_back(used_ + n);
  used_ += n;
  ++size_;
}

TrustEntry TrustList::operator[](std::size_t index) const {
  if (!empty_runs_.empty()) {
    // The last run that begins at or before `index`: either it holds `index`, or all its entries and those
    // of the runs before it stand before `index`.
    auto after = std::upper_bound(empty_runs_.begin(), empty_runs_.end(), index,
                                  [](std::size_t i, const EmptyRun& r) { return i < r.first; });
    if (after != empty_runs_.begin()) {
      const EmptyRun& run = *(after - 1);
      if (index < run.first + run.count) return TrustEntry(u"", 0);
      index -= run.empty_before + run.count;
    }
  }
  // The block holding `index` is the last one whose first entry is not after it.
  auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                [](std::size_t i, const Block& b) { return i < b.first_entry; });
  const Block& block = *(after - 1);
  const std::size_t begin = index == block.first_entry ? 0 : ends_[index - 1];
  return TrustEntry(block.chars.get() + begin, ends_[index] - begin);
}

std::size_t TrustList::HeapBytes() const {
  std::size_t bytes = blocks_.capacity() * sizeof(Block) + ends_.capacity() * sizeof(std::size_t) +
                      empty_runs_.capacity() * sizeof(EmptyRun);
  for (const Block& b : blocks_) bytes += b.capacity * sizeof(char16_t);
  return bytes;
}

}  // namespace vw
