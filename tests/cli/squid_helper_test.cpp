// `veraway-check squid` as Squid drives it: the real executable, requests on its standard input, answers read
// back one at a time, the list files changed on disk while it runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The helper as a child process: requests written to its standard input, answers read from its standard
// output, its standard error kept in a file.
class Helper {
 public:
  Helper(const fs::path& dir, const fs::path& err) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err_fd, 2);
      ::close(in[1]);
      ::close(out[0]);
      ::execl(VW_CHECK_EXE, VW_CHECK_EXE, "squid", "--dir", dir.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Helper() {
    CloseInput();
    if (from_ >= 0) ::close(from_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }

  // Sends one request line and waits (at most 10 s) for one answer line, which it returns without its LF.
  std::string Ask(const std::string& request) {
    const std::string line = request + "\n";
    if (::write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "(write failed)";
    return Answer();
  }
  std::string Answer() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string answer = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return answer;
      }
      pollfd ready{from_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > deadline || ::poll(&ready, 1, 100) < 0) return "(no answer)";
      if (ready.revents == 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(from_, chunk, sizeof chunk);
      if (got <= 0) return "(end of output)";
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }
  // Asks `request` every 100 ms, for at most 5 s, until the answer is `wanted`; returns the last answer.
  std::string AskUntil(const std::string& request, const std::string& wanted) {
    std::string answer;
    for (int i = 0; i < 50; ++i) {
      answer = Ask(request);
      if (answer == wanted) break;
      std::this_thread::sleep_for(100ms);
    }
    return answer;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  void CloseInput() {
    if (to_ >= 0) ::close(to_);
    to_ = -1;
  }
  int Wait() {
    CloseInput();
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string buffer_;
};

class SquidHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vw_squid_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char* dir : {"lists", "none", "locked"}) fs::create_directories(root_ / dir);
    WriteAll(root_ / "lists/TrustFile_SafeSites.txt",
             "example.org\r\nnews.example.org\r\nwiki.test/~alice/\r\n");
    WriteAll(root_ / "lists/TrustFile_SafeLinks.txt", "links.example.net/\r\nq=`{a}`\r\n%20%22a%20b%22%\r\n");
    WriteAll(root_ / "locked/TrustFile_SafeSites.txt", "example.org\r\n");
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_;
};

struct ProtocolRow {
  const char* dir;
  std::string input;
  std::string out;
};

TEST_F(SquidHelperTest, AnswersEveryLineAsTheProtocolSays) {
  const std::string too_long = "3 http://example.org/" + std::string(2 << 20, 'a');
  const std::vector<ProtocolRow> rows = {
      // Answers in request order, a last line without a line end still answered, and a line too long to
      // keep answered BH with its channel ID while the helper goes on (each line's answer:
      // squid_protocol_test).
      {"lists",
       "0 http://news.example.org/a -\n1 http://other.test/ -\n" + too_long + "\n2 http://example.org/",
       "0 OK log=TrustFile_SafeSites.txt:1:example.org\n1 ERR\n"
       "3 BH message=request%20longer%20than%201048576%20bytes\n"
       "2 OK log=TrustFile_SafeSites.txt:1:example.org\n"},
      // No list at all, or one held by another program: nothing is approved.
      {"none", "0 http://example.org/\n", "0 BH message=no%20list%20could%20be%20read\n"},
      {"nowhere", "0 http://example.org/\n", "0 BH message=no%20list%20could%20be%20read\n"},
      {"locked", "0 http://example.org/\n", "0 BH message=no%20list%20could%20be%20read\n"},
  };
  // Held as the editor holds a list while it saves it.
  const int locked = ::open((root_ / "locked/TrustFile_SafeSites.txt").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(locked, LOCK_EX | LOCK_NB), 0);
  for (const ProtocolRow& row : rows) {
    WriteAll(root_ / "stdin", row.input);
    const std::string command = std::string(VW_CHECK_EXE) + " squid --dir " + (root_ / row.dir).string() +
                                " < " + (root_ / "stdin").string() + " > " + (root_ / "stdout").string() +
                                " 2>/dev/null";
    const std::string name = ::testing::PrintToString(row.input.substr(0, 100));  // raw bytes escaped
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
    EXPECT_EQ(ReadAll(root_ / "stdout"), row.out) << name;
  }
  ::close(locked);
}

TEST_F(SquidHelperTest, ListsChangedOnDiskTakeOverWithoutARestart) {
  const fs::path sites = root_ / "lists/TrustFile_SafeSites.txt";
  const fs::path links = root_ / "lists/TrustFile_SafeLinks.txt";
  Helper helper(root_ / "lists", root_ / "stderr");
  EXPECT_EQ(helper.Ask("0 http://other.test/"), "0 ERR");
  WriteAll(sites, "example.org\r\nother.test\r\n");
  EXPECT_EQ(helper.AskUntil("0 http://other.test/", "0 OK log=TrustFile_SafeSites.txt:2:other.test"),
            "0 OK log=TrustFile_SafeSites.txt:2:other.test");

  // A deleted list is an empty list at once, as at the start; the other list is read again all the same.
  fs::remove(links);
  EXPECT_EQ(helper.AskUntil("1 http://links.example.net/", "1 ERR"), "1 ERR");
  EXPECT_EQ(helper.Ask("2 http://other.test/"), "2 OK log=TrustFile_SafeSites.txt:2:other.test");
  // A list that cannot be read leaves the lists in force, with one line on standard error for each new error
  // however many looks meet it: a binary one, then a held one.
  WriteAll(links, "links.example.net/\r\n" + std::string(1 << 17, '\0'));
  std::this_thread::sleep_for(1500ms);
  WriteAll(links, std::string(1 << 18, '\0'));
  std::this_thread::sleep_for(1500ms);
  const int held = ::open(sites.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  WriteAll(links, "links.example.net/\r\n");
  // Held longer than a look (1 s) and the list reader's wait for a writer (up to 2 s) together, so that one
  // read meets it and fails, and another look follows while it is still held.
  std::this_thread::sleep_for(4500ms);
  EXPECT_EQ(helper.Ask("3 http://links.example.net/"), "3 ERR");
  EXPECT_EQ(helper.Ask("3 http://other.test/"), "3 OK log=TrustFile_SafeSites.txt:2:other.test");
  // Let go with no change to be seen: read all the same.
  ::close(held);
  const std::string links_approve = "4 OK log=TrustFile_SafeLinks.txt:1:links.example.net/";
  EXPECT_EQ(helper.AskUntil("4 http://links.example.net/", links_approve), links_approve);
  // An error met again after a read that succeeded is a new one.
  WriteAll(links, std::string(1 << 17, '\0'));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(helper.Ask("4 http://links.example.net/"), links_approve);
  WriteAll(links, "links.example.net/\r\n");
  std::this_thread::sleep_for(1500ms);
  // One line for each reload that took effect, one for each error.
  const std::string err = ReadAll(root_ / "stderr");
  const std::string loaded = "veraway-check: lists in force: " + sites.string() + ": ";
  const std::vector<std::string> lines = {
      loaded + "3 entries, " + links.string() + ": 3 entries; read in ",
      loaded + "2 entries, " + links.string() + ": 3 entries; read in ",
      loaded + "2 entries, " + links.string() + " missing (no entries); read in ",
      "veraway-check: error: " + links.string() + ": looks binary: ",
      "veraway-check: error: " + sites.string() + ": cannot be opened: in use by another program (the lists",
      loaded + "2 entries, " + links.string() + ": 1 entry; read in ",
      "veraway-check: error: " + links.string() + ": looks binary: ",
      loaded + "2 entries, " + links.string() + ": 1 entry; read in ",
  };
  std::istringstream seen(err);
  std::string line;
  for (const std::string& want : lines) {
    std::getline(seen, line);
    EXPECT_EQ(line.substr(0, want.size()), want) << err;
  }
  EXPECT_FALSE(std::getline(seen, line)) << err;

  // A change that leaves the size and the time stamp as they were is seen on SIGHUP.
  const auto written = fs::last_write_time(sites);
  WriteAll(sites, "example.org\r\nthird.test\r\n");
  fs::last_write_time(sites, written);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(helper.Ask("5 http://third.test/"), "5 ERR");
  helper.Signal(SIGHUP);
  EXPECT_EQ(helper.AskUntil("5 http://third.test/", "5 OK log=TrustFile_SafeSites.txt:2:third.test"),
            "5 OK log=TrustFile_SafeSites.txt:2:third.test");
  // Permissions taken away count as a change: one line, an error (or, for root, who reads it all the same, a
  // reload).
  const auto line_count = [&] {
    const std::string text = ReadAll(root_ / "stderr");
    return std::count(text.begin(), text.end(), '\n');
  };
  const auto before = line_count();
  fs::permissions(sites, fs::perms::none);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(line_count(), before + 1) << ReadAll(root_ / "stderr");
  EXPECT_EQ(helper.Wait(), 0);
}

TEST_F(SquidHelperTest, ListsThatAppearAfterTheStartEndTheBhAnswersUntilTheyGo) {
  Helper helper(root_ / "none", root_ / "stderr");
  EXPECT_EQ(helper.Ask("0 http://example.org/"), "0 BH message=no%20list%20could%20be%20read");
  WriteAll(root_ / "none/TrustFile_SafeLinks.txt", "example.org\r\n");
  EXPECT_EQ(helper.AskUntil("0 http://example.org/", "0 OK log=TrustFile_SafeLinks.txt:1:example.org"),
            "0 OK log=TrustFile_SafeLinks.txt:1:example.org");
  // Both gone again: no lists, as at the start.
  fs::remove(root_ / "none/TrustFile_SafeLinks.txt");
  EXPECT_EQ(helper.AskUntil("1 http://example.org/", "1 BH message=no%20list%20could%20be%20read"),
            "1 BH message=no%20list%20could%20be%20read");
  EXPECT_EQ(helper.Wait(), 0);
}

}  // namespace
