// veraway-check squid alone, driven through its protocol as Squid drives it (channel IDs, one request a
// line):
// 1. answers a second for lists of 1,000 and 1,000,000 site entries of about 30 bytes: LINES requests (a
// third
//    approved) from a file, the answers read from a pipe; the rate is counted from the first answer (so the
//    index build is left out) to the last; CPU time and peak memory from wait4;
// 2. a reload of 1,000,000 entries while answering: one request at a time, each answer awaited (its round
// trip
//    recorded, one every 200 us), the sites list replaced on disk, then SIGHUP; the time until the answers
//    come from the new list is the reading and the index build; the round trips meanwhile show whether any
//    request waited. Then the same replacement without SIGHUP, seen by the helper's own look at the files.
//
// Usage: bench_squid_helper [LINES]   (default 1000000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_folder.h"
#include "bench_lists.h"

namespace {

using vw::bench::Entry;
using vw::bench::Letters;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::vector<std::string> WriteSites(const char* path, long count, std::mt19937& random,
                                    const std::string& extra = "") {
  std::vector<std::string> entries;
  std::ofstream sites(path, std::ios::binary);
  for (long i = 0; i < count; ++i) {
    entries.push_back(Entry(random));
    sites << entries.back() << "\r\n";
  }
  if (!extra.empty()) sites << extra << "\r\n";
  return entries;
}

struct Child {
  pid_t pid = -1;
  int to = -1;    // its standard input, when not a file
  int from = -1;  // its standard output
};

// The helper on the lists of the working directory; standard input from `in`, else a pipe.
Child Start(const char* in) {
  int out[2];
  int input[2] = {-1, -1};
  if (::pipe(out) != 0 || (in == nullptr && ::pipe(input) != 0)) std::exit(2);
  Child child;
  child.pid = ::fork();
  if (child.pid == 0) {
    const int in_fd = in != nullptr ? ::open(in, O_RDONLY) : input[0];
    ::dup2(in_fd, 0);
    ::dup2(out[1], 1);
    ::close(out[0]);
    if (input[1] >= 0) ::close(input[1]);
    ::execl(VW_CHECK_EXE, VW_CHECK_EXE, "squid", "--dir", ".", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  if (input[0] >= 0) ::close(input[0]);
  child.to = input[1];
  child.from = out[0];
  return child;
}

struct Usage {
  double cpu_seconds = 0;
  long peak_mb = 0;
};

Usage Wait(Child& child) {
  if (child.to >= 0) ::close(child.to);
  ::close(child.from);
  int status = 0;
  rusage usage{};
  ::wait4(child.pid, &status, 0, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024};
}

void Throughput(long entry_count, long lines) {
  std::mt19937 random(20261209);
  const std::vector<std::string> entries = WriteSites("TrustFile_SafeSites.txt", entry_count, random);
  std::ofstream("TrustFile_SafeLinks.txt", std::ios::binary);
  {
    std::ofstream requests("requests.txt", std::ios::binary);
    for (long i = 0; i < lines; ++i) {
      const std::string path = "/" + Letters(random, 6, 20) + "?id=" + std::to_string(i);
      requests << i % 50 << " http://";
      if (random() % 3 == 0) {
        requests << entries[random() % entries.size()] << path << " -\n";
      } else {
        requests << "www." << Letters(random, 8, 14) << "." << Letters(random, 6, 12) << ".com" << path
                 << " -\n";
      }
    }
  }
  const auto start = Clock::now();
  Child child = Start("requests.txt");
  std::vector<char> chunk(1 << 16);
  long answers = 0;
  long approved = 0;
  Clock::time_point first{};
  bool line_start = true;
  for (;;) {
    const ssize_t got = ::read(child.from, chunk.data(), chunk.size());
    if (got <= 0) break;
    if (answers == 0 && first == Clock::time_point{}) first = Clock::now();
    for (ssize_t i = 0; i < got; ++i) {
      // "N OK ..." : the answer's word follows the channel ID.
      if (line_start) {
        ssize_t j = i;
        while (j < got && chunk[static_cast<std::size_t>(j)] != ' ') ++j;
        approved += j + 1 < got && chunk[static_cast<std::size_t>(j + 1)] == 'O';
      }
      line_start = chunk[static_cast<std::size_t>(i)] == '\n';
      answers += line_start;
    }
  }
  const auto end = Clock::now();
  const Usage usage = Wait(child);
  std::printf(
      "%8ld entries: %ld answers (%ld OK) in %.2f s after a start of %.2f s: %.0f lines/s; CPU %.2f s, "
      "peak %ld MB\n",
      entry_count, answers, approved, Seconds(end - first), Seconds(first - start),
      static_cast<double>(answers) / Seconds(end - first), usage.cpu_seconds, usage.peak_mb);
}

// CPU time (user + system, in seconds) of the child's threads other than its main one: the thread that reads
// the lists and builds the index.
double WatcherCpu(pid_t pid) {
  double ticks = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    if (task.path().filename() == std::to_string(pid)) continue;
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t after_name = text.rfind(')');
    if (after_name == std::string::npos) continue;
    std::istringstream fields(text.substr(after_name + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::stod(field);  // utime, stime
    }
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// One request, its answer awaited; returns the answer line.
std::string Ask(Child& child, const std::string& request, std::string& buffer) {
  const std::string line = request + "\n";
  if (::write(child.to, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::exit(2);
  for (;;) {
    const std::size_t end = buffer.find('\n');
    if (end != std::string::npos) {
      std::string answer = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      return answer;
    }
    char chunk[4096];
    const ssize_t got = ::read(child.from, chunk, sizeof chunk);
    if (got <= 0) std::exit(2);
    buffer.append(chunk, static_cast<std::size_t>(got));
  }
}

struct RoundTrips {
  std::vector<double> us;
  double Percentile(double p) {
    if (us.empty()) return 0;
    std::sort(us.begin(), us.end());
    return us[std::min(us.size() - 1, static_cast<std::size_t>(p * static_cast<double>(us.size())))];
  }
};

// Asks the probe until its answer starts with `wanted`, a request every `pause` (a steady stream, as from a
// busy proxy, that leaves a core to the reading thread); returns the time taken and the round trips.
double AskUntil(Child& child, std::string& buffer, const std::string& wanted, RoundTrips& trips,
                std::chrono::microseconds pause = std::chrono::microseconds(200)) {
  const auto start = Clock::now();
  for (;;) {
    std::this_thread::sleep_for(pause);
    const auto asked = Clock::now();
    const std::string answer = Ask(child, "7 http://probe.reload.test/x -", buffer);
    trips.us.push_back(Seconds(Clock::now() - asked) * 1e6);
    if (answer.rfind(wanted, 0) == 0) return Seconds(Clock::now() - start);
    if (Clock::now() - start > std::chrono::seconds(30)) return -1;
  }
}

void Reload(long entry_count) {
  std::mt19937 random(20261210);
  WriteSites("TrustFile_SafeSites.txt", entry_count, random);
  std::ofstream("TrustFile_SafeLinks.txt", std::ios::binary);
  std::mt19937 other(20261211);
  WriteSites("with-probe.txt", entry_count, other, "probe.reload.test");
  WriteSites("without-probe.txt", entry_count, other);
  Child child = Start(nullptr);
  std::string buffer;
  RoundTrips before;
  AskUntil(child, buffer, "7 ERR", before, {});  // the first answer: the lists are read
  before.us.clear();
  const auto until = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < until) AskUntil(child, buffer, "7 ERR", before);

  const double cpu_before = WatcherCpu(child.pid);
  std::filesystem::rename("with-probe.txt", "TrustFile_SafeSites.txt");
  ::kill(child.pid, SIGHUP);
  RoundTrips on_hangup;
  const double hangup_seconds = AskUntil(child, buffer, "7 OK", on_hangup);
  const double hangup_cpu = WatcherCpu(child.pid) - cpu_before;

  std::filesystem::rename("without-probe.txt", "TrustFile_SafeSites.txt");
  RoundTrips on_look;
  const double look_seconds = AskUntil(child, buffer, "7 ERR", on_look);
  const double look_cpu = WatcherCpu(child.pid) - cpu_before - hangup_cpu;
  const Usage usage = Wait(child);
  std::printf("reload of %ld entries while answering:\n", entry_count);
  std::printf("  before: %zu round trips, median %.0f us, max %.0f us\n", before.us.size(),
              before.Percentile(0.5), before.Percentile(1.0));
  std::printf(
      "  on SIGHUP: new answers after %.3f s (reading and building: %.2f s of CPU); meanwhile %zu round "
      "trips, median %.0f us, p99 %.0f us, max %.0f us\n",
      hangup_seconds, hangup_cpu, on_hangup.us.size(), on_hangup.Percentile(0.5), on_hangup.Percentile(0.99),
      on_hangup.Percentile(1.0));
  std::printf(
      "  on its own look (at most 1 s apart): new answers after %.3f s (%.2f s of CPU); meanwhile %zu round "
      "trips, median %.0f us, p99 %.0f us, max %.0f us\n",
      look_seconds, look_cpu, on_look.us.size(), on_look.Percentile(0.5), on_look.Percentile(0.99),
      on_look.Percentile(1.0));
  std::printf("  helper CPU %.2f s, peak %ld MB\n", usage.cpu_seconds, usage.peak_mb);
}

}  // namespace

int main(int argc, char** argv) {
  const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  vw::bench::BenchFolder folder("vw-bench-squid-helper");
  std::printf("veraway-check squid, %ld request lines with channel IDs, a third approved\n", lines);
  Throughput(1000, lines);
  Throughput(1000000, lines);
  Reload(1000000);
  return 0;
}
