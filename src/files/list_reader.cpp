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
  while (!AtEnd(slot)) {
    const Text line = ReadLine(slot);
    // A line the guard cut short is not an entry of the file.
    if (BinarySignOf(slot) != BinarySign::kNone) break;
    if (on_line) on_line(line);
    list.Append(line);
  }
  result.binary = BinarySignOf(slot);
  // A read error ends the data like the end of the file: the caller must not take what was read for the
  // whole file.
  if (result.binary != BinarySign::kNone) {
    result.status = ListRead::Status::kLooksBinary;
  } else if (ReadFailed(slot)) {
    result.status = ListRead::Status::kReadError;
  }
  CloseListFile(slot);
  return result;
}

}  // namespace vw
