#include "cli/squid_helper.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/folder_lists.h"
#include "files/file_names.h"
#include "files/list_file.h"
#include "rules/trust_index.h"

namespace vw::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A request line longer than this is answered BH without being kept: Squid's own limits on a URL are far
// below it, and memory stays bounded whatever arrives.
constexpr std::size_t kLongestRequest = 1 << 20;
// How often the list files are looked at.
constexpr auto kLookEvery = 1s;
// The list file layer's slot for looking whether a list can be opened (the reading itself uses another).
constexpr int kProbeSlot = 15;

// Set by SIGHUP (from any thread), taken by the thread that reads the lists.
std::atomic<bool> g_hangup{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnHangup(int) {
  g_hangup.store(true, std::memory_order_relaxed);
}

// Both lists of the folder, read whole, and the index over them; never changed once built.
struct Lists {
  FolderLists folder;
  std::unique_ptr<TrustIndex> index;
};

// What a list file looks like from outside: a change of any of it means the file must be read again.
struct FileStamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written{};
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct FolderStamp {
  FileStamp sites;
  FileStamp links;
  friend bool operator==(const FolderStamp&, const FolderStamp&) = default;
};

FileStamp StampOf(const std::string& path) {
  const std::filesystem::path native(Utf8ToText(path));
  std::error_code error;
  FileStamp stamp;
  // Anything but "not found" (a directory, no permission) counts as there: the read says what is wrong.
  if (std::filesystem::status(native, error).type() == std::filesystem::file_type::not_found) return stamp;
  stamp.exists = true;
  stamp.size = std::filesystem::file_size(native, error);
  stamp.written = std::filesystem::last_write_time(native, error);
  return stamp;
}

// Reads the lists of a folder and keeps them up to date on a thread of its own: the first read happens
// before any request, every later one beside the answering, which takes the new lists over between two
// requests (Current) and never waits for a read or an index to be built.
class ListWatcher {
 public:
  explicit ListWatcher(std::string dir)
      : dir_(std::move(dir)),
        sites_path_(ListPath(dir_, ListKind::kSites)),
        links_path_(ListPath(dir_, ListKind::kLinks)) {
    Read(Stamp());
    thread_ = std::thread([this] { Watch(); });
  }

  ~ListWatcher() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  ListWatcher(const ListWatcher&) = delete;
  ListWatcher& operator=(const ListWatcher&) = delete;

  // The newest lists read whole, or null while none could be read. Valid until the next call.
  const Lists* Current() {
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

 private:
  FolderStamp Stamp() const { return {StampOf(sites_path_), StampOf(links_path_)}; }

  void Watch() {
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
      std::unique_ptr<const Lists> retired;
      if (!ready_.load(std::memory_order_relaxed)) retired = std::move(pending_);
      lock.unlock();
      retired.reset();  // freeing a large index takes a while: never under the lock
      const bool hangup = g_hangup.exchange(false, std::memory_order_relaxed);
      const auto now = Clock::now();
      if (hangup || now >= next_look) {
        next_look = now + kLookEvery;
        const FolderStamp stamp = Stamp();
        if (hangup || !(stamp == tried_) || (failed_ && CanOpen())) Read(stamp);
      }
      lock.lock();
    }
  }

  // Reads both lists and builds their index; hands them over only when both were read whole.
  void Read(const FolderStamp& stamp) {
    tried_ = stamp;
    failed_ = false;
    if (have_lists_) {
      // A list file that is gone (being replaced, or deleted) leaves the lists in force; one that was already
      // missing when they were read still counts as empty.
      for (const auto& [now, then, path] : {std::tuple(stamp.sites, in_force_.sites, &sites_path_),
                                            std::tuple(stamp.links, in_force_.links, &links_path_)}) {
        if (!now.exists && then.exists) {
          // No retry until it is back (the stamp changes).
          Error(*path + " is missing: the lists read before stay in force");
          return;
        }
      }
    } else if (!stamp.sites.exists && !stamp.links.exists) {
      // No retry until one appears (the stamp changes): there is nothing new to say meanwhile.
      Error("neither " + sites_path_ + " nor " + links_path_ + " exists: every request is answered BH");
      return;
    }
    auto fresh = std::make_unique<Lists>();
    failed_ = !ReadFolderLists(dir_, fresh->folder);  // when it fails it has said why, in one line
    if (failed_) return;
    if (!(Stamp() == stamp)) {
      // Written to while being read: the next look reads it again, once the writing has ended.
      tried_ = {};
      return;
    }
    fresh->index = std::make_unique<TrustIndex>(fresh->folder.sites, fresh->folder.links);
    std::unique_ptr<const Lists> replaced;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      replaced = std::move(pending_);  // built but never taken over, or already out of force
      pending_ = std::move(fresh);
      ready_.store(true, std::memory_order_release);
    }
    in_force_ = stamp;
    have_lists_ = true;
  }

  // After a failed read, whether both list files can be opened now. A list held by another program (an
  // editor saving it) may be let go with no change the stamp would show, once its last write is seen; this
  // asks the list file layer without a word on standard error, so a held list is reported once.
  bool CanOpen() {
    for (const std::string* path : {&sites_path_, &links_path_}) {
      const Text name = Utf8ToText(*path);
      if (OpenForReading(kProbeSlot, name)) {
        CloseListFile(kProbeSlot);
      } else if (std::error_code error;
                 std::filesystem::exists(std::filesystem::path(name), error) || error) {
        return false;
      }
    }
    return true;
  }

  const std::string dir_;
  const std::string sites_path_;
  const std::string links_path_;

  // The answering thread's own.
  std::unique_ptr<const Lists> current_;

  // Shared under mutex_: the lists handed over (ready_) or taken out of force (!ready_).
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<const Lists> pending_;
  std::atomic<bool> ready_{false};
  bool stop_ = false;

  // The watching thread's own (and the constructor's, before that thread starts).
  FolderStamp tried_;     // the files as they were at the last read
  FolderStamp in_force_;  // ... at the read whose lists are in force
  bool have_lists_ = false;
  bool failed_ = false;  // the last read failed

  std::thread thread_;  // last: starts once everything above is set
};

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view NextToken(std::string_view& rest) {
  const std::size_t begin = std::min(rest.find_first_not_of(' '), rest.size());
  const std::size_t end = std::min(rest.find(' ', begin), rest.size());
  const std::string_view token = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return token;
}

// The channel ID that starts a request line, if any: with concurrency=N Squid puts a number first, and a
// URL is never only digits.
std::string_view ChannelOf(std::string_view& rest) {
  std::string_view after = rest;
  const std::string_view first = NextToken(after);
  if (!IsDigits(first)) return {};
  rest = after;
  return first;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Squid hands the URL over with its characters that RFC 1738 calls unsafe %-escaped, but every %
// as it was: an escape the client sent stays, and an invalid one passes as it is. A browser tests its URL
// with these characters as they are where it sends them so: ~ | ^ [ ] ' anywhere, and also ` { } \ in the
// query. Those escapes are undone; every other one stays, as in the address the browser tests (a space is
// %20, a non-ASCII character its UTF-8 bytes %-escaped). `url` holds printable ASCII only.
void BrowserAddress(std::string_view url, Text& address) {
  address.clear();
  bool in_query = false;
  for (std::size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 && HexValue(url[i + 2]) >= 0) {
      const char decoded = static_cast<char>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
      const std::string_view raw = in_query ? "~|^[]'`{}\\" : "~|^[]'";
      if (raw.find(decoded) != std::string_view::npos) {
        c = decoded;
        i += 2;
      }
    } else if (c == '?') {
      in_query = true;
    }
    address.push_back(static_cast<char16_t>(c));
  }
}

// A value as one token of an answer: %-escaped where Squid would otherwise end or misread it.
void AppendValue(std::string_view value, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= 'A' && byte <= 'Z') ||
                       std::string_view("-._~:/?=&@!$()*+,;").find(c) != std::string_view::npos;
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
}

void AppendBh(std::string_view reason, std::string& out) {
  out += "BH message=";
  AppendValue(reason, out);
  out += '\n';
}

// Answers one request line into `out`.
class Judge {
 public:
  void Answer(std::string_view line, const Lists* lists, std::string& out) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view channel = ChannelOf(line);
    if (!channel.empty()) {
      out += channel;
      out += ' ';
    }
    const std::string_view url = NextToken(line);
    if (url.empty()) return AppendBh(channel.empty() ? "empty request" : "no URL after the channel ID", out);
    if (std::any_of(url.begin(), url.end(), [](char c) { return c <= ' ' || c > '~'; })) {
      return AppendBh("a control or non-ASCII byte that Squid sends %-escaped", out);
    }
    if (lists == nullptr) return AppendBh("no list could be read", out);
    BrowserAddress(url, address_);
    lists->index->Verdict(address_, approvals_);
    if (approvals_.empty()) {
      out += "ERR\n";
      return;
    }
    // The first approving entry, as lint and test name a place: FILE:LINE:ENTRY.
    const EntryRef first = approvals_.front();
    const bool site = first.list == ListKind::kSites;
    value_ = TextToUtf8(site ? kSitesFile : kLinksFile);
    value_ += ':';
    value_ += std::to_string(first.index + 1);
    value_ += ':';
    AppendUtf8((site ? lists->folder.sites : lists->folder.links)[first.index], value_);
    out += "OK log=";
    AppendValue(value_, out);
    out += '\n';
  }

  void AnswerTooLong(std::string_view channel, std::string& out) {
    if (!channel.empty()) {
      out += channel;
      out += ' ';
    }
    AppendBh("request longer than " + std::to_string(kLongestRequest) + " bytes", out);
  }

 private:
  Text address_;
  std::vector<EntryRef> approvals_;
  std::string value_;
};

// Standard input and output as plain descriptors: a read returns what the pipe holds (no waiting for a
// full buffer), and each batch of answers is written out before the next read.
long ReadInput(char* data, std::size_t size) {
#ifdef _WIN32
  return _read(0, data, static_cast<unsigned>(size));
#else
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, data, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
#endif
}

bool WriteOutput(std::string& out) {
  std::size_t done = 0;
  while (done < out.size()) {
#ifdef _WIN32
    const int n = _write(1, out.data() + done, static_cast<unsigned>(out.size() - done));
#else
    const ssize_t n = ::write(STDOUT_FILENO, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  out.clear();
  return true;
}

void CatchSignals() {
#ifdef SIGHUP
  struct sigaction action {};
  action.sa_handler = OnHangup;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGHUP, &action, nullptr);
  // Squid gone: the write fails and the helper ends, instead of being killed mid-answer.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace

int RunSquid(const std::string& dir) {
  CatchSignals();
  ListWatcher watcher(dir);
  Judge judge;
  std::string in;           // what has been read and not yet answered
  std::size_t scanned = 0;  // in[0, scanned) holds no line end
  bool too_long = false;    // skipping the rest of a line longer than kLongestRequest
  std::string too_long_channel;
  std::string out;
  std::vector<char> chunk(1 << 16);
  for (;;) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = in.find('\n', std::max(start, scanned));
      if (too_long) {
        if (end == std::string::npos) {
          start = in.size();
          break;
        }
        judge.AnswerTooLong(too_long_channel, out);
        too_long = false;
        start = end + 1;
        continue;
      }
      if (end == std::string::npos) {
        if (in.size() - start > kLongestRequest) {
          std::string_view head = std::string_view(in).substr(start, 32);
          too_long_channel = ChannelOf(head);
          too_long = true;
          start = in.size();
        }
        break;
      }
      judge.Answer(std::string_view(in).substr(start, end - start), watcher.Current(), out);
      start = end + 1;
    }
    in.erase(0, start);
    scanned = in.size();
    if (!out.empty() && !WriteOutput(out)) {
      Error("standard output: write error");
      return kError;
    }
    const long got = ReadInput(chunk.data(), chunk.size());
    if (got > 0) {
      in.append(chunk.data(), static_cast<std::size_t>(got));
      continue;
    }
    // The end of the input: a last line without a line end is still a request.
    if (too_long) {
      judge.AnswerTooLong(too_long_channel, out);
    } else if (!in.empty()) {
      judge.Answer(in, watcher.Current(), out);
    }
    if (!out.empty() && !WriteOutput(out)) {
      Error("standard output: write error");
      return kError;
    }
    if (got < 0) {
      Error("standard input: read error");
      return kError;
    }
    return kOk;
  }
}

}  // namespace vw::cli
