#include "files/list_reader.h"

namespace vw {

ListRead ReadListFile(int slot, TextView name, const ListReadOptions& options, TrustList& list,
                      const std::function<void(const Text& line)>& on_line) {
  ListRead result;
  const bool opened = options.access == ListAccess::kShared
                          ? OpenForSharedReading(slot, name, options.wait, result.refusal)
                          : OpenForReading(slot, name);
  if (!opened) {
    result.status = ListRead::Status::kNotOpened;
    return result;
  }
  if (options.refuse_binary) GuardAgainstBinary(slot);
  std::size_t lines = 0;
  while (!AtEnd(slot)) {
    const Text line = ReadLine(slot);
    // A line the guard cut short is not an entry of the file, nor one past the limit.
    if (BinarySignOf(slot) != BinarySign::kNone) break;
    if (options.max_bytes != 0 && BytesRead(slot) > options.max_bytes) {
      result.status = ListRead::Status::kTooLarge;
      break;
    }
    if (on_line) on_line(line);
    list.Append(line);
    if ((++lines & 4095) == 0 && options.stop && options.stop()) {
      result.status = ListRead::Status::kStopped;
      break;
    }
  }
  result.binary = BinarySignOf(slot);
  // A read error ends the data like the end of the file: the caller must not take what was read for the
  // whole file.
  if (result.status != ListRead::Status::kWhole) {
    // stopped on purpose: said above
  } else if (result.binary != BinarySign::kNone) {
    result.status = ListRead::Status::kLooksBinary;
  } else if (ReadFailed(slot)) {
    result.status = ListRead::Status::kReadError;
  }
  CloseListFile(slot);
  return result;
}

}  // namespace vw
