// The squid helper's lists, kept up to date on a thread of their own: the first read happens before any
// request, every later one beside the answering, which takes the new lists over between two requests
// (Current) and never waits for a read or an index to be built. The lists in force are always what the files
// say now, whatever came before: a missing file is an empty list, all missing leave no lists (every request
// answered BH). A file that cannot be read whole (held, unreadable, binary, too large) leaves the lists in
// force. Standard error (Squid's cache.log) gets one line for each reload that takes effect and one for each
// new error.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/squid_protocol.h"

namespace vw::cli {

// What a list file looks like from outside: a change of any of it means the file must be read again.
struct FileStamp {
  bool exists = false;
  std::filesystem::perms permissions = std::filesystem::perms::unknown;  // chmod 000 is a change too
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written{};
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

using FolderStamp = PerList<FileStamp>;

class ListWatcher {
 public:
  // Reads the lists of `dir`, then looks at them every second, and whenever `hangup` is set (which it
  // clears).
  ListWatcher(std::string dir, std::atomic<bool>& hangup);
  ~ListWatcher();

  ListWatcher(const ListWatcher&) = delete;
  ListWatcher& operator=(const ListWatcher&) = delete;

  // The newest lists read whole, or null while none could be read. Valid until the next call.
  const SquidLists* Current();

 private:
  FolderStamp Stamp() const;
  void Watch();
  void Read(const FolderStamp& stamp);
  void HandOver(std::unique_ptr<const SquidLists> lists);
  void Report(const std::string& error);
  bool CanOpen();

  const std::string dir_;
  PerList<std::string> paths_;
  std::atomic<bool>& hangup_;

  // The answering thread's own.
  std::unique_ptr<const SquidLists> current_;

  // Shared under mutex_: the lists handed over (ready_) or taken out of force (!ready_).
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<const SquidLists> pending_;
  std::atomic<bool> ready_{false};
  bool stop_ = false;

  // The watching thread's own (and the constructor's, before that thread starts).
  FolderStamp tried_;       // the files as they were at the last read
  bool in_use_ = false;     // the last read met a list held by another program: tried again once it opens
  std::string last_error_;  // the error last reported, not repeated until a read succeeds

  std::thread thread_;  // last: starts once everything above is set
};

}  // namespace vw::cli
