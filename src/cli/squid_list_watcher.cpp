#include "cli/squid_list_watcher.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <tuple>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "cli/console.h"
#include "files/list_file.h"

namespace vw::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the list files are looked at.
constexpr auto kLookEvery = 1s;
// The list file layer's slot for looking whether a list can be opened (the reading itself uses another).
constexpr int kProbeSlot = 15;

FileStamp StampOf(const std::string& path) {
  const std::filesystem::path native(Utf8ToText(path));
  std::error_code error;
  FileStamp stamp;
  // Anything but "not found" (a directory, no permission) counts as there: the read says what is wrong.
  if (std::filesystem::status(native, error).type() == std::filesystem::file_type::not_found) return stamp;
  stamp.exists = true;
  stamp.permissions = std::filesystem::status(native, error).permissions();
  stamp.size = std::filesystem::file_size(native, error);
  stamp.written = std::filesystem::last_write_time(native, error);
  return stamp;
}

}  // namespace

ListWatcher::ListWatcher(std::string dir, std::atomic<bool>& hangup) : dir_(std::move(dir)), hangup_(hangup) {
  for (const ListInfo& row : kListTable) paths_[ListNo(row.kind)] = ListPath(dir_, row.kind);
  Read(Stamp());
  thread_ = std::thread([this] { Watch(); });
}

ListWatcher::~ListWatcher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

const SquidLists* ListWatcher::Current() {
  if (ready_.load(std::memory_order_acquire)) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      current_.swap(pending_);
      ready_.store(false, std::memory_order_relaxed);
    }
    changed_.notify_one();  // the watching thread frees the lists taken out of force
  }
  return current_.get();
}

FolderStamp ListWatcher::Stamp() const {
  FolderStamp stamp;
  for (std::size_t n = 0; n < kListCount; ++n) stamp[n] = StampOf(paths_[n]);
  return stamp;
}

void ListWatcher::Watch() {
#ifdef __linux__
  // Building a large index takes a core for a while: the answering thread comes first when the cores are
  // busy (on Linux the nice value is a thread's own).
  setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
#endif
  std::unique_lock<std::mutex> lock(mutex_);
  auto next_look = Clock::now() + kLookEvery;
  while (!stop_) {
    changed_.wait_for(lock, 100ms);
    if (stop_) break;
    std::unique_ptr<const SquidLists> retired;
    if (!ready_.load(std::memory_order_relaxed)) retired = std::move(pending_);
    lock.unlock();
    retired.reset();  // freeing a large index takes a while: never under the lock
    const bool hangup = hangup_.exchange(false, std::memory_order_relaxed);
    const auto now = Clock::now();
    if (hangup || now >= next_look) {
      next_look = now + kLookEvery;
      const FolderStamp stamp = Stamp();
      if (hangup || !(stamp == tried_) || (in_use_ && CanOpen())) Read(stamp);
    }
    lock.lock();
  }
}

// Reads the lists and builds their index; hands them over only when all were read whole.
void ListWatcher::Read(const FolderStamp& stamp) {
  tried_ = stamp;
  in_use_ = false;
  if (std::none_of(stamp.begin(), stamp.end(), [](const FileStamp& file) { return file.exists; })) {
    Report(NoneExists(dir_) + ": every request is answered BH");
    HandOver(nullptr);
    return;
  }
  const auto start = Clock::now();
  auto fresh = std::make_unique<SquidLists>();
  // A file that changes again while it is read is read again from the start, at the next look.
  const auto changed = [&] { return !(Stamp() == stamp); };
  const FolderRead read = ReadFolderListsQuietly(dir_, fresh->folder, changed);
  if (read.stopped || (read.error.empty() && changed())) {
    tried_ = {};
    return;
  }
  if (!read.error.empty()) {
    in_use_ = read.in_use;
    Report(read.error + " (the lists read before stay in force)");
    return;
  }
  fresh->index = std::make_unique<TrustIndex>(fresh->folder.Lists());
  const auto count = [](const std::string& path, const TrustList& list, bool missing) {
    if (missing) return path + " missing (no entries)";
    return path + ": " + std::to_string(list.size()) + (list.size() == 1 ? " entry" : " entries");
  };
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  std::string counts;
  for (std::size_t n = 0; n < kListCount; ++n) {
    if (n > 0) counts += ", ";
    counts += count(paths_[n], fresh->folder.entries[n], read.missing[n]);
  }
  Note("lists in force: " + counts + "; read in " + std::to_string(millis) + " ms");
  last_error_.clear();
  HandOver(std::move(fresh));
}

// Puts `lists` (null: none) in force at the answering thread's next request.
void ListWatcher::HandOver(std::unique_ptr<const SquidLists> lists) {
  std::unique_ptr<const SquidLists> replaced;
  const std::lock_guard<std::mutex> lock(mutex_);
  replaced = std::move(pending_);  // built but never taken over, or already out of force
  pending_ = std::move(lists);
  ready_.store(true, std::memory_order_release);
}

void ListWatcher::Report(const std::string& error) {
  if (error == last_error_) return;
  last_error_ = error;
  Error(error);
}

// After a failed read, whether every list file can be opened now. A list held by another program (an editor
// saving it) may be let go with no change the stamp would show, once its last write is seen; this asks the
// list file layer without a word on standard error, so a held list is reported once.
bool ListWatcher::CanOpen() {
  for (const std::string& path : paths_) {
    const Text name = Utf8ToText(path);
    if (OpenForReading(kProbeSlot, name)) {
      CloseListFile(kProbeSlot);
    } else if (std::error_code error; std::filesystem::exists(std::filesystem::path(name), error) || error) {
      return false;
    }
  }
  return true;
}

}  // namespace vw::cli
