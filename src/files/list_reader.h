// The one list reader: a list file into a TrustList, line by line through a slot of the list file layer, for
// the editor's load and for the companion alike.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "common/trust_list.h"
#include "files/list_file.h"
#include "files/os_file.h"

namespace vw {

enum class ListAccess {
  kExclusive,  // the editor: fails while the file is open anywhere else
  kShared,     // the companion: beside any number of readers; waits a while for a writer to let go
};

struct ListReadOptions {
  ListAccess access = ListAccess::kExclusive;
  std::chrono::milliseconds wait{0};  // shared: how long to wait for a writer that holds the file
  bool refuse_binary = false;         // stop at the first sign that the file is binary (GuardAgainstBinary)
  std::uint64_t max_bytes = 0;        // stop once more bytes than this have been read; 0: no limit
  // Asked every 4096 lines: true stops the reading (the file changed again, the result is not wanted).
  std::function<bool()> stop;
};

struct ListRead {
  enum class Status {
    kWhole,        // opened and read to its end
    kNotOpened,    // nothing read; with shared access `refusal` says why
    kReadError,    // a read error ended the data early; the lines before it are in the list
    kLooksBinary,  // stopped as binary (`binary` says why); the lines before are in the list
    kTooLarge,     // stopped past max_bytes; the lines before are in the list
    kStopped,      // stopped when `stop` asked; the lines before are in the list
  };
  Status status = Status::kWhole;
  OpenRefusal refusal;
  BinarySign binary = BinarySign::kNone;
};

// Reads the list file `name` through `slot` and appends each line to `list`, calling `on_line` with it just
// before (the editor shows each line as it is read). The slot is free again when this returns.
ListRead ReadListFile(int slot, TextView name, const ListReadOptions& options, TrustList& list,
                      const std::function<void(const Text& line)>& on_line = {});

}  // namespace vw
