#include "cli/folder_lists.h"

#include "cli/console.h"
#include "files/file_names.h"
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

// Reads one list, and how its lines ended; `missing` is set when there is no such file (an empty list, with a
// note).
bool ReadList(const std::string& path, TrustList& list, std::vector<OddLineEnd>& ends, Progress& progress,
              bool& missing) {
  ListReadOptions options;
  options.access = ListAccess::kShared;
  options.wait = kListWait;
  options.refuse_binary = true;
  std::size_t count = 0;
  LineEndScan scan;
  const ListRead read = ReadListFile(kSlot, Utf8ToText(path), options, list, [&](const Text&) {
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
      Error(path + ": cannot be opened: " + Reason(read.refusal));
      return false;
    case ListRead::Status::kReadError:
      Error(path + ": cannot be read: a read error ended it after line " + std::to_string(list.size()));
      return false;
    case ListRead::Status::kLooksBinary:
      Error(path + (read.binary == BinarySign::kMostlyZeros
                        ? ": looks binary: most of its bytes are zero bytes; not a list"
                        : ": looks binary: line " + std::to_string(list.size() + 1) +
                              " runs past 4 MiB without a line end; not a list"));
      return false;
  }
  return false;
}

}  // namespace

std::string ListPath(const std::string& dir, ListKind list) {
  const std::string name = TextToUtf8(list == ListKind::kSites ? kSitesFile : kLinksFile);
  if (dir.empty()) return name;
  const char last = dir.back();
  if (last == '/' || last == static_cast<char>(kPathSeparator)) return dir + name;
  return dir + static_cast<char>(kPathSeparator) + name;
}

bool ReadFolderLists(const std::string& dir, FolderLists& lists) {
  lists.dir = dir;
  Progress progress("entries read");
  const std::string sites = ListPath(dir, ListKind::kSites);
  const std::string links = ListPath(dir, ListKind::kLinks);
  bool sites_missing = false;
  bool links_missing = false;
  if (!ReadList(sites, lists.sites, lists.sites_ends, progress, sites_missing) ||
      !ReadList(links, lists.links, lists.links_ends, progress, links_missing)) {
    return false;
  }
  // One missing list is an empty list, as in the editor; both missing is most likely the wrong folder.
  if (sites_missing && links_missing) {
    Error("neither " + sites + " nor " + links + " exists: not a folder of lists");
    return false;
  }
  if (sites_missing) Note(sites + " is missing: it counts as an empty list");
  if (links_missing) Note(links + " is missing: it counts as an empty list");
  return true;
}

}  // namespace vw::cli
