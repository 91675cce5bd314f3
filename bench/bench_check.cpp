// veraway-check against grep: 100,000 addresses tested against 1,000,000 site entries of about 30 bytes, the
// index built in each run, and `grep -F -c -f` over the same entries and addresses in the same run; then lint
// of the same lists (duplicate and redundant included). Each program runs as a child process: wall time and
// peak resident memory (from wait4) are its own. The counts of approved addresses must agree.
//
// Then the same test through pipes, as it runs beside another program (`cat addresses | veraway-check test |
// cat`): every answer is flushed as its line is read, so this is the figure that streaming must not slow
// down. A BASELINE executable (say, an earlier build) is run the same way in the same run, for a before/after
// figure.
//
// With --links N, the last N of the ENTRIES entries go to the links list instead, each as "https://ENTRY"
// (the addresses that hold an entry begin that way); with --jsonl the test writes JSON lines.
//
// Usage: bench_check [--links N] [--jsonl] [ENTRIES [ADDRESSES [BASELINE]]]   (defaults 1000000 and 100000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "bench_lists.h"

namespace {

using vw::bench::Entry;
using vw::bench::Letters;

struct Measured {
  double seconds = 0;
  double cpu_seconds = 0;  // user + system
  long peak_mb = 0;
  int status = -1;
};

// Runs `args` with standard input and output redirected to the named files.
Measured RunChild(const std::vector<std::string>& args, const char* in, const char* out) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int in_fd = ::open(in, O_RDONLY);
    const int out_fd = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in_fd < 0 || out_fd < 0) ::_exit(127);
    ::dup2(in_fd, 0);
    ::dup2(out_fd, 1);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {elapsed.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024,
          WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

long CountLinesStartingWith(const char* path, const std::string& prefix) {
  std::ifstream in(path, std::ios::binary);
  long count = 0;
  for (std::string line; std::getline(in, line);) count += line.compare(0, prefix.size(), prefix) == 0;
  return count;
}

// The approved addresses in the test's output, text or JSON lines.
long CountApproved(const char* path) {
  std::ifstream in(path, std::ios::binary);
  long count = 0;
  for (std::string line; std::getline(in, line);) {
    count += line.rfind("approved: ", 0) == 0 || line.find("\"approved\":true") != std::string::npos;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  long link_count = 0;
  bool jsonl = false;
  bool test_only = false;
  for (; argc > 1 && argv[1][0] == '-' && argv[1][1] == '-'; --argc, ++argv) {
    const std::string option = argv[1];
    if (option == "--jsonl") {
      jsonl = true;
    } else if (option == "--test-only") {
      test_only = true;
    } else if (option == "--links" && argc > 2) {
      link_count = std::atol(argv[2]);
      --argc, ++argv;
    } else {
      std::fprintf(
          stderr,
          "usage: bench_check [--links N] [--jsonl] [--test-only] [ENTRIES [ADDRESSES [BASELINE]]]\n");
      return 2;
    }
  }
  const long entry_count = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long address_count = argc > 2 ? std::atol(argv[2]) : 100000;
  vw::bench::BenchFolder folder("vw-bench-check");

  std::mt19937 random(20261209);
  std::vector<std::string> entries;
  entries.reserve(static_cast<std::size_t>(entry_count));
  std::size_t bytes = 0;
  {
    std::ofstream sites("TrustFile_SafeSites.txt", std::ios::binary);
    std::ofstream links("TrustFile_SafeLinks.txt", std::ios::binary);
    std::ofstream patterns("patterns.txt", std::ios::binary);  // the same entries for grep, LF only
    for (long i = 0; i < entry_count; ++i) {
      entries.push_back(Entry(random));
      const bool is_link = i >= entry_count - link_count;
      const std::string text = is_link ? "https://" + entries.back() : entries.back();
      bytes += text.size();
      (is_link ? links : sites) << text << "\r\n";
      patterns << text << "\n";
    }
  }
  {
    // About a third hold an entry; the rest are random hosts that hold none (with rare exceptions).
    std::ofstream addresses("addresses.txt", std::ios::binary);
    for (long i = 0; i < address_count; ++i) {
      const std::string path = "/" + Letters(random, 6, 20) + "?id=" + std::to_string(random() % 100000);
      if (random() % 3 == 0) {
        addresses << "https://" << entries[random() % entries.size()] << path << "\n";
      } else {
        addresses << "https://www." << Letters(random, 8, 14) << "." << Letters(random, 6, 12) << ".com"
                  << path << "\n";
      }
    }
  }
  std::printf("%ld site and %ld link entries (%.1f bytes on average), %ld addresses\n",
              entry_count - link_count, link_count,
              static_cast<double>(bytes) / static_cast<double>(entry_count), address_count);
  const char* format = jsonl ? "jsonl" : "text";

  const Measured check =
      RunChild({VW_CHECK_EXE, "test", "--dir", ".", "--format", format}, "addresses.txt", "check.out");
  const long check_approved = CountApproved("check.out");
  const auto row = [](const char* name, const Measured& m, long count) {
    std::printf("%-20s %9.2f %9.2f %9ld %7d %ld\n", name, m.seconds, m.cpu_seconds, m.peak_mb, m.status,
                count);
  };
  if (test_only) {
    std::printf("%-20s %9s %9s %9s %7s %s\n", "run", "wall (s)", "CPU (s)", "peak MB", "status", "approved");
    row("veraway-check test", check, check_approved);
    if (argc > 3) {
      const Measured baseline =
          RunChild({argv[3], "test", "--dir", ".", "--format", format}, "addresses.txt", "baseline.out");
      row("baseline test", baseline, CountApproved("baseline.out"));
      std::printf("same output: %s\n", std::system("cmp -s check.out baseline.out") == 0 ? "yes" : "NO");
    }
    return 0;
  }
  const Measured grep = RunChild({"grep", "-F", "-c", "-f", "patterns.txt"}, "addresses.txt", "grep.out");
  long grep_approved = -1;
  if (FILE* out = std::fopen("grep.out", "r")) {
    if (std::fscanf(out, "%ld", &grep_approved) != 1) grep_approved = -1;
    std::fclose(out);
  }
  const Measured lint = RunChild({VW_CHECK_EXE, "lint", "--dir", "."}, "addresses.txt", "lint.out");
  // Through pipes on both sides; the shell's wall time is the pipeline's.
  const auto piped = [&](const std::string& exe, const char* out) {
    return RunChild(
        {"sh", "-c", "cat addresses.txt | '" + exe + "' test --dir . --format " + format + " | cat > " + out},
        "/dev/null", "/dev/null");
  };
  const Measured pipe = piped(VW_CHECK_EXE, "pipe.out");
  const std::string baseline_exe = argc > 3 ? argv[3] : "";
  const Measured baseline = baseline_exe.empty() ? Measured{} : piped(baseline_exe, "baseline.out");

  std::printf("%-20s %9s %9s %9s %7s %s\n", "run", "wall (s)", "CPU (s)", "peak MB", "status", "approved");
  row("veraway-check test", check, check_approved);
  row("grep -F -c -f", grep, grep_approved);
  row("veraway-check lint", lint, CountLinesStartingWith("lint.out", "./"));
  row("test through pipes", pipe, CountApproved("pipe.out"));
  if (!baseline_exe.empty()) row("baseline, pipes", baseline, CountApproved("baseline.out"));
  std::printf("speed-up over grep: %.1f x wall, %.1f x CPU; same count of approved addresses: %s\n",
              grep.seconds / check.seconds, grep.cpu_seconds / check.cpu_seconds,
              check_approved == grep_approved ? "yes" : "NO");
  return check_approved == grep_approved ? 0 : 1;
}
