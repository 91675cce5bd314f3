#include "cli/squid_helper.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

#include "cli/console.h"
#include "cli/squid_list_watcher.h"
#include "cli/squid_protocol.h"

namespace vw::cli {
namespace {

// Set by SIGHUP (from any thread), taken by the thread that reads the lists.
std::atomic<bool> g_hangup{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnHangup(int) {
  g_hangup.store(true, std::memory_order_relaxed);
}

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
  ListWatcher watcher(dir, g_hangup);
  SquidJudge judge;
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
          too_long_channel = TakeChannel(head);
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
      return 2;
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
      return 2;
    }
    if (got < 0) {
      Error("standard input: read error");
      return 2;
    }
    return 0;
  }
}

}  // namespace vw::cli
