#include "cli/folder_lists.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/console.h"
#include "files/list_reader.h"

namespace vw::cli {
namespace {

constexpr int kSlot = 0;

// Why a list file could not be opened, as the error message says it.
std::string Reason(const OpenRefusal& refusal) {
  switch (refusal.kind) {
    case OpenRefusal::Kind::kMissing:
      return "no such file";
    case OpenRefusal::Kind::kInUse:
      return "in use by another program";
    case OpenRefusal::Kind::kDirectory:
      return "it is a directory";
    case OpenRefusal::Kind::kNotRegular:
      return "it is not a regular file";
    case OpenRefusal::Kind::kDenied:
      return "permission denied";
    case OpenRefusal::Kind::kOther:
      break;
  }
  return refusal.detail;
}

std::string TooLarge(const std::string& path) {
  return path + ": larger than " + kListByteLimitText + ", the most a list may hold; not read";
}

// Reads one list, and how its lines ended; `missing` is set when there is no such file (an empty list). The
// error, if any, into `folder`.
bool ReadList(const std::string& path, TrustList& list, std::vector<OddLineEnd>& ends, Progress& progress,
              bool& missing, FolderRead& folder, const std::function<bool()>& stop) {
  const Text name = Utf8ToText(path);
  // By the size first, so that a list too large costs neither time nor memory.
  std::error_code error;
  const std::filesystem::path native(name);
  if (std::filesystem::is_regular_file(native, error) &&
      std::filesystem::file_size(native, error) > kListByteLimit && !error) {
    folder.error = TooLarge(path);
    return false;
  }
  ListReadOptions options;
  options.access = ListAccess::kShared;
  options.wait = kListWait;
  options.refuse_binary = true;
  options.max_bytes = kListByteLimit;
  options.stop = stop;
  std::size_t count = 0;
  LineEndScan scan;
  const ListRead read = ReadListFile(kSlot, name, options, list, [&](const Text&) {
    progress.Update(++count);
    scan.Ended(LastLineEnd(kSlot));
  });
  ends = std::move(scan.found());
  switch (read.status) {
    case ListRead::Status::kWhole:
      return true;
    case ListRead::Status::kNotOpened:
      if (read.refusal.kind == OpenRefusal::Kind::kMissing) {
        missing = true;
        return true;
      }
      folder.in_use = read.refusal.kind == OpenRefusal::Kind::kInUse;
      folder.error = path + ": cannot be opened: " + Reason(read.refusal);
      return false;
    case ListRead::Status::kReadError:
      folder.error =
          path + ": cannot be read: a read error ended it after line " + std::to_string(list.size());
      return false;
    case ListRead::Status::kLooksBinary:
      folder.error = path + (read.binary == BinarySign::kMostlyZeros
                                 ? ": looks binary: most of its bytes are zero bytes; not a list"
                                 : ": looks binary: line " + std::to_string(list.size() + 1) +
                                       " runs past 4 MiB without a line end; not a list");
      return false;
    case ListRead::Status::kTooLarge:
      folder.error = TooLarge(path);
      return false;
    case ListRead::Status::kStopped:
      folder.stopped = true;
      return false;
  }
  return false;
}

}  // namespace

std::string NoneExists(const std::string& dir) {
  std::string text = "neither";
  for (const ListInfo& row : kListTable) {
    if (row.kind != kListTable[0].kind) text += " nor";
    // Appended apart: MinGW's g++ 12 sees a false -Wrestrict in " " + std::string.
    text += ' ';
    text += ListPath(dir, row.kind);
  }
  return text + " exists";
}

std::string ListPath(const std::string& dir, ListKind list) {
  const std::string name = TextToUtf8(RowOf(list).file);
  if (dir.empty()) return name;
  const char last = dir.back();
  if (last == '/' || last == static_cast<char>(kPathSeparator)) return dir + name;
  return dir + static_cast<char>(kPathSeparator) + name;
}

FolderRead ReadFolderListsQuietly(const std::string& dir, FolderLists& lists,
                                  const std::function<bool()>& stop) {
  lists.dir = dir;
  FolderRead read;
  Progress progress("entries read");
  for (const ListInfo& row : kListTable) {
    const std::size_t n = ListNo(row.kind);
    if (!ReadList(ListPath(dir, row.kind), lists.entries[n], lists.ends[n], progress, read.missing[n], read,
                  stop))
      return read;
  }
  // One missing list is an empty list, as in the editor; all missing is most likely the wrong folder.
  if (std::find(read.missing.begin(), read.missing.end(), false) == read.missing.end())
    read.error = NoneExists(dir) + ": not a folder of lists";
  return read;
}

bool ReadFolderLists(const std::string& dir, FolderLists& lists) {
  const FolderRead read = ReadFolderListsQuietly(dir, lists);
  if (!read.error.empty()) {
    Error(read.error);
    return false;
  }
  for (const ListInfo& row : kListTable) {
    if (read.missing[ListNo(row.kind)])
      Note(ListPath(dir, row.kind) + " is missing: it counts as an empty list");
  }
  return true;
}

}  // namespace vw::cli
