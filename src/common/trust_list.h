// TrustEntry and the ordered lists of approved sites and links.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/text.h"

namespace vw {

// One entry of a list: one line of a list file exactly as read, untrimmed, possibly empty. The list owns the
// characters; an entry stays valid, unchanged, for the life of its list.
using TrustEntry = TextView;

// Ordered list of entries in file order, appended to and walked first to last. Entries are packed into large
// shared blocks, so a million short entries cost little more than their characters; a run of empty entries
// costs one record however long it is, so no file of empty lines makes a list grow.
class TrustList {
 public:
  void Append(TextView text);
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // How many of the entries are empty texts.
  std::size_t EmptyCount() const {
    return empty_runs_.empty() ? 0 : empty_runs_.back().empty_before + empty_runs_.back().count;
  }
  TrustEntry operator[](std::size_t index) const;

  // Bytes held beyond the object itself (for the memory benchmark).
  std::size_t HeapBytes() const;

 private:
  // Characters of the stored entries (all but the empty ones), back to back, in blocks that never move once
  // made. An entry never spans two blocks: one that does not fit in what is left of the last block starts the
  // next one.
  struct Block {
    std::unique_ptr<char16_t[]> chars;
    std::size_t capacity = 0;     // units
    std::size_t first_entry = 0;  // stored index of the first entry stored in this block
  };
  std::vector<Block> blocks_;
  // Per stored entry, the offset just past its last unit inside its block. It starts where the previous entry
  // ended, or at 0 when it is the first entry of its block.
  std::vector<std::size_t> ends_;
  std::size_t used_ = 0;  // units used in the last block
  // Runs of empty entries, in order: entries [first, first + count) are empty, and `empty_before` empty
  // entries stand before `first`. An entry's stored index is its index less the empty entries before it.
  struct EmptyRun {
    std::size_t first = 0;
    std::size_t count = 0;
    std::size_t empty_before = 0;
  };
  std::vector<EmptyRun> empty_runs_;
  std::size_t size_ = 0;
};

}  // namespace vw
