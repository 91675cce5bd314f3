#include "cli/folder_lists.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli/console.h"
#include "files/file_names.h"
#include "files/list_file.h"
#include "files/os_file.h"

namespace vw::cli {
namespace {

constexpr int kSlot = 0;

// Why a file that the list file layer could not open is not readable: a missing file is not an error.
enum class OpenFailure { kMissing, kError };

OpenFailure Explain(const std::string& path, std::string& reason) {
  const std::filesystem::path native(Utf8ToText(path));
  std::error_code error;
  const auto status = std::filesystem::status(native, error);
  if (status.type() == std::filesystem::file_type::not_found) return OpenFailure::kMissing;
  if (error) {
    reason = error.message();
  } else if (status.type() == std::filesystem::file_type::directory) {
    reason = "it is a directory";
  } else if (status.type() != std::filesystem::file_type::regular) {
    reason = "it is not a regular file";
  } else if (std::ifstream(native, std::ios::binary).is_open()) {
    reason = "it is in use: another program holds it open exclusively";
  } else {
    reason = "permission denied";
  }
  return OpenFailure::kError;
}

bool ReadList(const std::string& path, TrustList& list, Progress& progress) {
  if (!OpenForReading(kSlot, Utf8ToText(path))) {
    std::string reason;
    if (Explain(path, reason) == OpenFailure::kMissing) {
      Note(path + " is missing: it counts as an empty list");
      return true;
    }
    Error(path + ": cannot be opened: " + reason);
    return false;
  }
  while (!AtEnd(kSlot)) {
    list.Append(ReadLine(kSlot));
    progress.Update(list.size());
  }
  const bool failed = ReadFailed(kSlot);
  CloseListFile(kSlot);
  if (failed) {
    Error(path + ": cannot be read: a read error ended it after line " + std::to_string(list.size()));
    return false;
  }
  return true;
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
  return ReadList(ListPath(dir, ListKind::kSites), lists.sites, progress) &&
         ReadList(ListPath(dir, ListKind::kLinks), lists.links, progress);
}

}  // namespace vw::cli
