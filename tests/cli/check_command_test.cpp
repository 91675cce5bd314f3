// veraway-check as a script sees it: the real executable run on small list folders, its standard output,
// standard error and exit status compared whole for each command and each error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class CheckCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vw_check_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char* dir : {"lists", "other", "empty", "bad", "locked", "before", "after", "half", "zeros",
                            "oneline", "odd", "huge", "limit", "squid", "squidlint"}) {
      fs::create_directories(root_ / dir);
    }
    WriteAll(root_ / "lists/TrustFile_SafeSites.txt", "example.org\r\nnews.example.org\r\n");
    WriteAll(root_ / "lists/TrustFile_SafeLinks.txt", "links.example.net/\r\nexample.net\r\n");
    WriteAll(root_ / "other/TrustFile_SafeSites.txt", "example.org\r\n");
    WriteAll(root_ / "squid/TrustFile_SafeSites.txt", "://example.org/\r\n");
    WriteAll(root_ / "squid/TrustFile_SafeLinks.txt", ".example.net/\r\n");
    WriteAll(root_ / "squidlint/TrustFile_SafeSites.txt", "://example.org/login\r\n://example.org:80/\r\n");
    WriteAll(root_ / "squidlint/TrustFile_SafeLinks.txt", "");
    WriteAll(root_ / "other/TrustFile_SafeLinks.txt", "shop.example.net\r\n");
    WriteAll(root_ / "before/TrustFile_SafeSites.txt",
             "a.org\r\nb.org\r\nc.org\r\nb.org\r\nd.org\r\nd.org\r\n");
    WriteAll(root_ / "before/TrustFile_SafeLinks.txt", "x.org\r\n");
    WriteAll(root_ / "after/TrustFile_SafeSites.txt", "c.org\r\na.org\r\nb.org\r\nb.org\r\ne.org\r\n");
    WriteAll(root_ / "after/TrustFile_SafeLinks.txt", "x.org\r\nx.org\r\n");
    fs::create_directories(root_ / "bad/TrustFile_SafeSites.txt");
    WriteAll(root_ / "locked/TrustFile_SafeSites.txt", "example.org\r\n");
    WriteAll(root_ / "half/TrustFile_SafeSites.txt", "example.org\r\n");
    // Not lists: a megabyte of zero bytes; five megabytes without a line end.
    WriteAll(root_ / "zeros/TrustFile_SafeSites.txt", "example.org\r\n" + std::string(1 << 20, '\0'));
    WriteAll(root_ / "oneline/TrustFile_SafeLinks.txt", std::string(5 << 20, 'a'));
    // A byte past the most a list may hold, as a sparse file: refused by its size, never read.
    WriteAll(root_ / "huge/TrustFile_SafeSites.txt", "example.org\r\n");
    WriteAll(root_ / "huge/TrustFile_SafeLinks.txt", "");
    fs::resize_file(root_ / "huge/TrustFile_SafeLinks.txt", (std::uintmax_t{64} << 20) + 1);
    // Exactly the most a list may hold: read (and found to be zero bytes).
    WriteAll(root_ / "limit/TrustFile_SafeSites.txt", "");
    fs::resize_file(root_ / "limit/TrustFile_SafeSites.txt", std::uintmax_t{64} << 20);
    // Characters that could forge or hide a line of text output, a byte-order mark on a later line, a run of
    // empty lines.
    WriteAll(root_ / "odd/TrustFile_SafeSites.txt",
             "a.example\r\n\xEF\xBB\xBF"
             "b.example\r\n\r\n\r\n\r\nnew\x1B[2mline\r\nrt\xE2\x80\xAEl.example\r\n");
    WriteAll(root_ / "odd/TrustFile_SafeLinks.txt", "\r\r\r\n");
    // Held as the editor holds a list while it saves it.
    locked_ = ::open((root_ / "locked/TrustFile_SafeSites.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(locked_, LOCK_EX | LOCK_NB), 0);
    // Another reader reads the links of "lists" all the while (a shared lock): no reader waits for another.
    reading_ = ::open((root_ / "lists/TrustFile_SafeLinks.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(reading_, LOCK_SH | LOCK_NB), 0);
  }
  void TearDown() override {
    ::close(locked_);
    ::close(reading_);
    fs::remove_all(root_);
  }

  // Runs veraway-check in the root folder with `args` and `input` on standard input. Standard input and
  // output may come from and go to another path instead (a folder cannot be read; /dev/full cannot be
  // written).
  Outcome Check(const std::vector<std::string>& args, const std::string& input = "",
                const char* in_path = nullptr, const char* out_path = nullptr) {
    WriteAll(root_ / "stdin", input);
    WriteAll(root_ / "stdout", "");
    const pid_t child = ::fork();
    if (child == 0) {
      if (::chdir(root_.c_str()) != 0) ::_exit(127);
      const int in = ::open(in_path != nullptr ? in_path : "stdin", O_RDONLY);
      const int out = ::open(out_path != nullptr ? out_path : "stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0) ::_exit(127);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(VW_CHECK_EXE)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(VW_CHECK_EXE, argv.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {ReadAll(root_ / "stdout"), ReadAll(root_ / "stderr"),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }

  // Starts veraway-check in the root folder with `args`, its standard input and output pipes to this process
  // (`to` to write into, `from` to read from), its standard error into the file "stderr".
  pid_t Start(const std::vector<std::string>& args, int& to, int& from) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
      if (::chdir(root_.c_str()) != 0) ::_exit(127);
      const int err = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err, 2);
      for (const int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
      std::vector<char*> argv{const_cast<char*>(VW_CHECK_EXE)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(VW_CHECK_EXE, argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to = in[1];
    from = out[0];
    return child;
  }

  fs::path root_;
  int locked_ = -1;
  int reading_ = -1;
};

// What arrives on `fd` within ten seconds, up to and including the `lines`-th line end; less when it ends.
std::string ReadLines(int fd, int lines) {
  std::string text;
  char c = 0;
  while (lines > 0) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 10000) != 1 || ::read(fd, &c, 1) != 1) break;
    text += c;
    if (c == '\n') --lines;
  }
  return text;
}

struct CommandRow {
  std::vector<std::string> args;
  std::string input;
  std::string out;
  std::string err;
  int status;
  const char* in_path = nullptr;   // standard input from here instead of `input`
  const char* out_path = nullptr;  // standard output to here (`out` is then what stays in the usual file)
};

// Many addresses on standard input, more than one read takes, and what `test` answers to them; the one at
// `stranger` (if any) is not approved.
std::string ManyAddresses(bool answers, int stranger = -1) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    const std::string address =
        (i == stranger ? "https://other.test/" : "https://news.example.org/page/") + std::to_string(i);
    if (i == stranger) {
      text += answers ? "not approved: " + address + "\n" : address + "\r\n";
      continue;
    }
    text += answers ? "approved: " + address +
                          "\n  lists/TrustFile_SafeSites.txt:1: example.org\n"
                          "  lists/TrustFile_SafeSites.txt:2: news.example.org\n"
                    : address + "\r\n";
  }
  return text;
}

// A usage error: its first line, then where to look.
std::string Usage(const std::string& what, const std::string& command) {
  return "veraway-check: " + what + "\nTry 'veraway-check " + command + (command.empty() ? "" : " ") +
         "--help' for more information.\n";
}

constexpr char kWriteError[] = "veraway-check: error: standard output: write error\n";
constexpr char kReadError[] = "veraway-check: error: standard input: read error\n";
constexpr char kCommands[] = "test, lint, diff, squid";
// What lint says of two lines in a row that end in a lone CR, on the first line as grep counts them.
const std::string kTwoLoneCrs =
    "2 lines in a row (to line 2) each end in a lone CR, which ends a line for the editor but not for grep "
    "-n "
    "and most tools: they show it within line 1; saving the list in the editor writes CR LF [line-ends]\n";

// The entries of "lists" against those of "other", as diff shows them.
constexpr char kListsAgainstOther[] =
    "--- other/TrustFile_SafeSites.txt\n"
    "+++ lists/TrustFile_SafeSites.txt\n"
    "@@ -1,0 +2 @@\n"
    "+news.example.org\n"
    "--- other/TrustFile_SafeLinks.txt\n"
    "+++ lists/TrustFile_SafeLinks.txt\n"
    "@@ -1 +1,2 @@\n"
    "-shop.example.net\n"
    "+links.example.net/\n"
    "+example.net\n";

// What every command says when the sites list is held by a writer (after a wait of two seconds).
constexpr char kHugeError[] =
    "veraway-check: error: huge/TrustFile_SafeLinks.txt: larger than 64 MiB, the most a list may hold; not "
    "read\n";
constexpr char kLockedSitesError[] =
    "veraway-check: error: locked/TrustFile_SafeSites.txt: cannot be opened: in use by another program\n";
// What every command says of a folder that holds neither list.
constexpr char kNeitherListError[] =
    "veraway-check: error: neither empty/TrustFile_SafeSites.txt nor empty/TrustFile_SafeLinks.txt exists: "
    "not "
    "a folder of lists\n";

TEST_F(CheckCommandTest, OutputErrorsAndStatusOfEveryCommand) {
  const std::vector<CommandRow> rows = {
      {{"test", "--dir", "lists", "https://news.example.org/a", "http://links.example.net/x",
        "http://other.test/"},
       "",
       "approved: https://news.example.org/a\n"
       "  lists/TrustFile_SafeSites.txt:1: example.org\n"
       "  lists/TrustFile_SafeSites.txt:2: news.example.org\n"
       "approved: http://links.example.net/x\n"
       "  lists/TrustFile_SafeLinks.txt:1: links.example.net/\n"
       "not approved: http://other.test/\n",
       "",
       1},
      {{"test", "--dir", "lists", "--format", "jsonl"},
       "https://example.org/\nhttp://www.example.net/\r\n",
       "{\"address\":\"https://example.org/"
       "\",\"approved\":true,\"by\":[{\"list\":\"sites\",\"line\":1,\"entry\":"
       "\"example.org\"}]}\n"
       "{\"address\":\"http://www.example.net/"
       "\",\"approved\":true,\"by\":[{\"list\":\"links\",\"line\":2,\"entry\":"
       "\"example.net\"}]}\n",
       "",
       0},
      {{"lint", "--dir", "lists"},
       "",
       "lists/TrustFile_SafeSites.txt:1: warning: \"example.org\" also occurs in other sites' host names: it "
       "approves https://evil-example.org/ and https://example.org.attacker.example/; write "
       "\"://example.org/\" "
       "or \".example.org/\": through Squid only that host and its subdomains; in the browser any address "
       "that "
       "holds one, as http://evil.example/?u=https://example.org/ [unanchored]\n"
       "lists/TrustFile_SafeSites.txt:2: warning: \"news.example.org\" also occurs in other sites' host "
       "names: "
       "it approves https://news.example.org.attacker.example/; write \"news.example.org/\" (through Squid "
       "too, "
       "any address that holds it: lint --for squid gives the forms Squid anchors at the host); in the "
       "browser "
       "any address that holds it, as http://evil.example/?u=news.example.org/ [unanchored]\n"
       "lists/TrustFile_SafeLinks.txt:2: warning: \"example.net\" also occurs in other sites' host names: it "
       "approves https://evil-example.net/ and https://example.net.attacker.example/; write "
       "\"://example.net/\" "
       "or \".example.net/\": through Squid only that host and its subdomains; in the browser any address "
       "that "
       "holds one, as http://evil.example/?u=https://example.net/ [unanchored]\n",
       "veraway-check: 3 findings: 3 unanchored\n",
       1},
      {{"lint", "--format", "jsonl", "--dir", "empty"}, "", "", kNeitherListError, 2},
      {{"test", "--dir", "empty", "abc"}, "", "", kNeitherListError, 2},
      {{"diff", "--dir", "lists", "--against", "empty", "abc"}, "", "", kNeitherListError, 2},
      // Through Squid an HTTPS request is judged as https://host/: an entry with a path never approves one;
      // the advice is a form Squid anchors at the host. A default port is never in the URL Squid hands over.
      {{"lint", "--dir", "squidlint", "--for", "squid", "--only", "https"},
       "",
       "squidlint/TrustFile_SafeSites.txt:1: warning: Squid sees only host:port of an HTTPS request, judged "
       "as "
       "https://host/: an entry with a path, a query or a scheme other than https never approves one; for "
       "HTTPS "
       "to this site write \"://example.org/\" or \".example.org/\": through Squid only that host and its "
       "subdomains; in the browser any address that holds one, as "
       "http://evil.example/?u=https://example.org/ "
       "[https]\n",
       "veraway-check: 1 finding: 1 https\n",
       1},
      {{"lint", "--dir", "squidlint", "--for", "squid", "--only", "unsent"},
       "",
       "squidlint/TrustFile_SafeSites.txt:2: warning: names the default port, which Squid leaves out of the "
       "URL "
       "(http://host/, and a CONNECT to port 443 is https://host/): through Squid this entry never matches; "
       "leave the port out [unsent]\n",
       "veraway-check: 1 finding: 1 unsent\n",
       1},
      {{"lint", "--dir", "squidlint", "--only", "https,unsent"}, "", "", "veraway-check: no findings\n", 0},
      {{"lint", "--dir", "lists", "--only", "redundant,duplicate"},
       "",
       "",
       "veraway-check: no findings\n",
       0},
      {{"lint", "--dir", "lists", "--format", "jsonl", "--ignore", "unanchored", "--only", "unanchored,bom"},
       "",
       "{\"findings\":0,\"by_rule\":{}}\n",
       "",
       0},
      {{"diff", "--dir", "lists", "--against", "other", "https://news.example.org/",
        "http://www.example.net/", "http://shop.example.net/"},
       "",
       std::string(kListsAgainstOther) + "http://www.example.net/\n"
                                         "  lists: approved\n"
                                         "    lists/TrustFile_SafeLinks.txt:2: example.net\n"
                                         "  other: not approved\n"
                                         "3 entries added, 1 removed (sites: 1 added, 0 removed; links: 2 "
                                         "added, 1 removed); 1 of 3 addresses "
                                         "changed verdict\n",
       "",
       1},
      {{"diff", "--dir", "lists", "--against", "other", "--format", "jsonl"},
       "https://news.example.org/\nhttp://www.example.net/\n",
       "{\"list\":\"sites\",\"change\":\"added\",\"file\":\"lists/TrustFile_SafeSites.txt\",\"line\":2,"
       "\"entry\":\"news.example.org\"}\n"
       "{\"list\":\"links\",\"change\":\"removed\",\"file\":\"other/TrustFile_SafeLinks.txt\",\"line\":1,"
       "\"entry\":\"shop.example.net\"}\n"
       "{\"list\":\"links\",\"change\":\"added\",\"file\":\"lists/TrustFile_SafeLinks.txt\",\"line\":1,"
       "\"entry\":\"links.example.net/\"}\n"
       "{\"list\":\"links\",\"change\":\"added\",\"file\":\"lists/TrustFile_SafeLinks.txt\",\"line\":2,"
       "\"entry\":\"example.net\"}\n"
       "{\"address\":\"http://www.example.net/"
       "\",\"dir\":{\"approved\":true,\"by\":[{\"list\":\"links\",\"line\":2,"
       "\"entry\":\"example.net\"}]},\"against\":{\"approved\":false,\"by\":[]}}\n"
       "{\"added\":3,\"removed\":1,\"sites\":{\"added\":1,\"removed\":0},\"links\":{\"added\":2,"
       "\"removed\":1},\"addresses\":2,\"verdicts_changed\":1}\n",
       "",
       1},
      {{"diff", "--dir", "lists", "--against", "lists", "https://news.example.org/"},
       "",
       "0 entries added, 0 removed (sites: 0 added, 0 removed; links: 0 added, 0 removed); 0 of 1 addresses "
       "changed verdict\n",
       "",
       0},
      // Order and repeated entries count: a moved entry is removed in one place and added in another.
      {{"diff", "--dir", "after", "--against", "before"},
       "",
       "--- before/TrustFile_SafeSites.txt\n"
       "+++ after/TrustFile_SafeSites.txt\n"
       "@@ -0,0 +1 @@\n"
       "+c.org\n"
       "@@ -3 +3,0 @@\n"
       "-c.org\n"
       "@@ -5,2 +5 @@\n"
       "-d.org\n"
       "-d.org\n"
       "+e.org\n"
       "--- before/TrustFile_SafeLinks.txt\n"
       "+++ after/TrustFile_SafeLinks.txt\n"
       "@@ -1,0 +2 @@\n"
       "+x.org\n"
       "3 entries added, 3 removed (sites: 2 added, 3 removed; links: 1 added, 0 removed)\n",
       "",
       1},
      // Only removed entries: a change all the same.
      {{"diff", "--dir", "half", "--against", "other"},
       "",
       "--- other/TrustFile_SafeLinks.txt\n"
       "+++ half/TrustFile_SafeLinks.txt\n"
       "@@ -1 +0,0 @@\n"
       "-shop.example.net\n"
       "0 entries added, 1 removed (sites: 0 added, 0 removed; links: 0 added, 1 removed)\n",
       "veraway-check: half/TrustFile_SafeLinks.txt is missing: it counts as an empty list\n",
       1},
      {{"test", "--dir", "half", "abc"},
       "",
       "not approved: abc\n",
       "veraway-check: half/TrustFile_SafeLinks.txt is missing: it counts as an empty list\n",
       1},
      {{"test", "--dir", "bad", "abc"},
       "",
       "",
       "veraway-check: error: bad/TrustFile_SafeSites.txt: cannot be opened: it is a directory\n",
       2},
      {{"lint", "--dir", "locked"}, "", "", kLockedSitesError, 2},
      {{"diff", "--dir", "lists", "--against", "locked"}, "", "", kLockedSitesError, 2},
      {{"--version"}, "", "veraway-check " VW_VERSION "\n", "", 0},
      {{"diff", "--version"}, "", "veraway-check " VW_VERSION "\n", "", 0},
      // Usage errors: one line, then where to look.
      {{"test", "--bad"}, "", "", Usage("The following argument was not expected: --bad", "test"), 2},
      {{"lint", "--format", "xml"}, "", "", Usage("--format: xml not in {text,jsonl}", "lint"), 2},
      {{"diff", "x"}, "", "", Usage("--against is required", "diff"), 2},
      {{"test", "--dir", "nowhere"}, "", "", Usage("--dir: no such folder: nowhere", "test"), 2},
      {{"test", "-d", "stdin"}, "", "", Usage("--dir: not a folder: stdin", "test"), 2},
      {{}, "", "", Usage(std::string("a command is required: ") + kCommands, ""), 2},
      {{"--dir", "lists"}, "", "", Usage(std::string("a command is required: ") + kCommands, ""), 2},
      {{"frob", "x"},
       "",
       "",
       Usage(std::string("unknown command 'frob' (commands: ") + kCommands + ")", ""),
       2},
      // The last --format and --dir win; short options.
      {{"test", "-f", "jsonl", "--format", "text", "-d", "other", "--dir", "lists", "https://example.org/"},
       "",
       "approved: https://example.org/\n  lists/TrustFile_SafeSites.txt:1: example.org\n",
       "",
       0},
      // Standard input: blank lines are no addresses; a last line without a line end; more than one read.
      {{"test", "-d", "lists"},
       "\n \t\r\n\r\nhttp://other.test/\n\nhttps://example.org/",
       "not approved: http://other.test/\napproved: https://example.org/\n  lists/TrustFile_SafeSites.txt:1: "
       "example.org\n",
       "",
       1},
      {{"test", "-d", "lists"}, ManyAddresses(false), ManyAddresses(true), "", 0},
      {{"test", "-d", "lists"}, ManyAddresses(false, 1000), ManyAddresses(true, 1000), "", 1},
      {{"test", "-d", "lists"}, "", "", kReadError, 2, "lists"},
      {{"squid", "-d", "lists"}, "", "", kReadError, 2, "lists"},
      {{"diff", "-d", "lists", "--against", "other"},
       "",
       std::string(kListsAgainstOther) +
           "3 entries added, 1 removed (sites: 1 added, 0 removed; links: 2 added, 1 "
           "removed)\n",
       kReadError,
       2,
       "lists"},
      // Standard output that cannot be written: the answers, help and version alike.
      {{"test", "-d", "lists", "https://example.org/"}, "", "", kWriteError, 2, nullptr, "/dev/full"},
      {{"lint", "-d", "lists"}, "", "", kWriteError, 2, nullptr, "/dev/full"},
      {{"--help"}, "", "", kWriteError, 2, nullptr, "/dev/full"},
      {{"diff", "--version"}, "", "", kWriteError, 2, nullptr, "/dev/full"},
      // A folder name with its separator.
      {{"test", "--dir", "lists/", "https://example.org/"},
       "",
       "approved: https://example.org/\n  lists/TrustFile_SafeSites.txt:1: example.org\n",
       "",
       0},
      // Files that are not lists: refused, quickly, whatever the command.
      {{"test", "-d", "zeros", "x"},
       "",
       "",
       "veraway-check: error: zeros/TrustFile_SafeSites.txt: looks binary: most of its bytes are zero bytes; "
       "not "
       "a list\n",
       2},
      {{"test", "-d", "huge", "x"}, "", "", kHugeError, 2},
      {{"lint", "-d", "huge"}, "", "", kHugeError, 2},
      {{"test", "-d", "limit", "x"},
       "",
       "",
       "veraway-check: error: limit/TrustFile_SafeSites.txt: looks binary: most of its bytes are zero bytes; "
       "not a "
       "list\n",
       2},
      {{"diff", "-d", "lists", "--against", "huge"}, "", "", kHugeError, 2},
      {{"lint", "-d", "oneline"},
       "",
       "",
       "veraway-check: error: oneline/TrustFile_SafeLinks.txt: looks binary: line 1 runs past 4 MiB without "
       "a "
       "line end; not a list\n",
       2},
      // No address or entry changes what a line of text seems to say; jsonl carries them as they are.
      {{"test", "-d", "odd", "evil.example\n  odd/TrustFile_SafeSites.txt:1: a.example", "\x1B]0;title\x07x",
        "a\xE2\x80\xAE"
        "b",
        "\xFF"
        "new\x1B[2mline?",
        "back\\slash", "say\"hi", "\\x07\x07", "caf\xE9"},
       "",
       "approved: \"evil.example\\n  odd/TrustFile_SafeSites.txt:1: a.example\"\n"
       "  odd/TrustFile_SafeSites.txt:1: a.example\n"
       "not approved: \"\\x1b]0;title\\ax\"\n"
       "not approved: \"a\\u202eb\"\n"
       "approved: \"\\xffnew\\x1b[2mline?\"\n"
       "  odd/TrustFile_SafeSites.txt:6: \"new\\x1b[2mline\"\n"
       "not approved: back\\slash\n"
       "not approved: \"say\\\"hi\"\n"
       "not approved: \"\\\\x07\\a\"\n"
       "not approved: \"caf\\xe9\"\n",
       "",
       1},
      {{"test", "-d", "odd", "-f", "jsonl", "new\x1B[2mline", "back\\slash", "say\"hi",
        "\xFF"
        "new\x1B[2mline?"},
       "",
       "{\"address\":\"new\\u001b[2mline\",\"approved\":true,\"by\":[{\"list\":\"sites\",\"line\":6,"
       "\"entry\":\"new\\u001b[2mline\"}]}\n"
       "{\"address\":\"back\\\\slash\",\"approved\":false,\"by\":[]}\n"
       "{\"address\":\"say\\\"hi\",\"approved\":false,\"by\":[]}\n"
       "{\"address\":\"\xEF\xBF\xBDnew\\u001b[2mline?\",\"approved\":true,\"by\":[{\"list\":\"sites\","
       "\"line\":6,"
       "\"entry\":\"new\\u001b[2mline\"}]}\n",
       "",
       1},
      // Lint: the byte-order mark only before the first entry; a run of empty lines is one finding, also when
      // its lines end in lone CRs, and so is the run of lone CRs.
      {{"lint", "-d", "odd"},
       "",
       "odd/TrustFile_SafeSites.txt:3: warning: 3 empty lines in a row (to line 5) approve nothing [empty]\n"
       "odd/TrustFile_SafeSites.txt:6: warning: a control character inside the entry [control]\n"
       "odd/TrustFile_SafeLinks.txt:1: warning: " +
           kTwoLoneCrs +
           "odd/TrustFile_SafeLinks.txt:1: warning: 3 empty lines in a row (to line 3) approve nothing "
           "[empty]\n",
       "veraway-check: 4 findings: 1 line-ends, 2 empty, 1 control\n",
       1},
      {{"lint", "--only", "suffix,wide"},
       "",
       "",
       Usage("--only: no such rule: wide (rules: "
             "bom,line-ends,whitespace,empty,duplicate,redundant,broad,suffix,"
             "unanchored,idn,https,unsent,uppercase,malformed,control)",
             "lint"),
       2},
  };
  for (const CommandRow& row : rows) {
    std::string name;
    for (const std::string& arg : row.args) {
      for (const char c : arg)
        name += c >= 0x20 && c < 0x7F ? std::string(1, c) : "\\x" + std::to_string(c & 0xFF);
      name += " ";
    }
    Outcome run = Check(row.args, row.input, row.in_path, row.out_path);
    // The helper's log line for the lists it put in force comes before any error; its timing varies.
    const std::string kInForce = "veraway-check: lists in force: ";
    if (run.err.rfind(kInForce, 0) == 0) run.err.erase(0, run.err.find('\n') + 1);
    EXPECT_EQ(run.out, row.out) << name;
    EXPECT_EQ(run.err, row.err) << name;
    EXPECT_EQ(run.status, row.status) << name;
  }
}

// Each answer comes while standard input stays open: the next line is written only once the answer to the one
// before has been read. Then the reader of standard output goes away, and the program ends quietly.
TEST_F(CheckCommandTest, AnswersEachLineAsItArrives) {
  struct Exchange {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> lines;  // written, then answered (one line or more)
    std::string first = "";                                  // what comes before any line is written
  };
  const std::vector<Exchange> exchanges = {
      {{"test", "-d", "lists"},
       {{"http://other.test/\n", "not approved: http://other.test/\n"},
        {"https://example.org/\r\n",
         "approved: https://example.org/\n  lists/TrustFile_SafeSites.txt:1: example.org\n"}}},
      {{"test", "-d", "lists", "-f", "jsonl"},
       {{"http://other.test/\n", "{\"address\":\"http://other.test/\",\"approved\":false,\"by\":[]}\n"},
        {"http://other.test/2\n", "{\"address\":\"http://other.test/2\",\"approved\":false,\"by\":[]}\n"}}},
      {{"diff", "-d", "lists", "--against", "other"},
       {{"http://www.example.net/\n",
         "http://www.example.net/\n  lists: approved\n    lists/TrustFile_SafeLinks.txt:2: example.net\n  "
         "other: not approved\n"},
        {"https://x.example.net/\n",
         "https://x.example.net/\n  lists: approved\n    lists/TrustFile_SafeLinks.txt:2: example.net\n  "
         "other: not approved\n"}},
       kListsAgainstOther},
  };
  // SIGPIPE ignored, here and so in the program, as some shells and services start programs: a write to a
  // closed pipe then fails with EPIPE, as it does on Windows, rather than ending the program.
  const auto previous = ::signal(SIGPIPE, SIG_IGN);
  for (const Exchange& exchange : exchanges) {
    int to = -1;
    int from = -1;
    const pid_t child = Start(exchange.args, to, from);
    ASSERT_GT(child, 0);
    const int first_lines = static_cast<int>(std::count(exchange.first.begin(), exchange.first.end(), '\n'));
    EXPECT_EQ(ReadLines(from, first_lines), exchange.first) << exchange.args[0];
    for (const auto& [line, answer] : exchange.lines) {
      ASSERT_EQ(::write(to, line.data(), line.size()), static_cast<ssize_t>(line.size()));
      const int answer_lines = static_cast<int>(std::count(answer.begin(), answer.end(), '\n'));
      EXPECT_EQ(ReadLines(from, answer_lines), answer) << exchange.args[0] << " " << line;
    }
    ::close(from);
    const std::string more = "http://www.example.net/more\n";
    for (int i = 0; i < 3 && ::write(to, more.data(), more.size()) > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::close(to);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Ended quietly, with status 2: what was to be written could not be.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << exchange.args[0] << " status " << status;
    EXPECT_EQ(ReadAll(root_ / "stderr"), "") << exchange.args[0];
  }
  ::signal(SIGPIPE, previous);
}

// Many readers at once, while the editor holds a list for a save that lasts half a second and puts a new file
// in its place: every one waits for it and answers from the new list.
TEST_F(CheckCommandTest, ManyReadersAtOnceBesideAWriter) {
  const int held = ::open((root_ / "lists/TrustFile_SafeSites.txt").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  constexpr int kReaders = 200;
  std::vector<std::string> outs;
  for (int i = 0; i < kReaders; ++i) outs.push_back((root_ / ("out" + std::to_string(i))).string());
  // The save ends half a second after the first reader starts, however long starting them all takes.
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    WriteAll(root_ / "lists/new", "news.example.org\r\n");
    fs::rename(root_ / "lists/new", root_ / "lists/TrustFile_SafeSites.txt");
    ::close(held);
  });
  std::vector<pid_t> readers;
  for (int i = 0; i < kReaders; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {  // nothing that allocates: another thread runs
      if (::chdir(root_.c_str()) != 0) ::_exit(127);
      const int null = ::open("/dev/null", O_RDWR);
      const int out = ::open(outs[static_cast<std::size_t>(i)].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(null, 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      ::execl(VW_CHECK_EXE, VW_CHECK_EXE, "test", "-d", "lists", "https://news.example.org/", nullptr);
      ::_exit(127);
    }
    readers.push_back(child);
  }
  writer.join();
  const std::string answer =
      "approved: https://news.example.org/\n  lists/TrustFile_SafeSites.txt:1: news.example.org\n";
  int answered = 0;
  for (int i = 0; i < kReaders; ++i) {
    int status = 0;
    ::waitpid(readers[static_cast<std::size_t>(i)], &status, 0);
    const std::string out = ReadAll(outs[static_cast<std::size_t>(i)]);
    answered += WIFEXITED(status) && WEXITSTATUS(status) == 0 && out == answer;
    EXPECT_EQ(out, answer) << "reader " << i;
  }
  EXPECT_EQ(answered, kReaders);
}

TEST_F(CheckCommandTest, HelpOfEveryCommandGoesToStandardOutput) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"test", "--help"}, {"lint", "--help"}, {"diff", "--help"}}) {
    const Outcome run = Check(args);
    EXPECT_NE(run.out.find("Usage:"), std::string::npos) << args[0];
    EXPECT_EQ(run.status, 0) << args[0];
  }
}

}  // namespace
