// veraway-check as a script sees it: the real executable run on small list folders, its standard output,
// standard error and exit status compared whole for each command and each error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
    for (const char* dir : {"lists", "other", "empty", "bad", "locked", "before", "after"}) {
      fs::create_directories(root_ / dir);
    }
    WriteAll(root_ / "lists/TrustFile_SafeSites.txt", "example.org\r\nnews.example.org\r\n");
    WriteAll(root_ / "lists/TrustFile_SafeLinks.txt", "links.example.net/\r\nexample.net\r\n");
    WriteAll(root_ / "other/TrustFile_SafeSites.txt", "example.org\r\n");
    WriteAll(root_ / "other/TrustFile_SafeLinks.txt", "shop.example.net\r\n");
    WriteAll(root_ / "before/TrustFile_SafeSites.txt",
             "a.org\r\nb.org\r\nc.org\r\nb.org\r\nd.org\r\nd.org\r\n");
    WriteAll(root_ / "before/TrustFile_SafeLinks.txt", "x.org\r\n");
    WriteAll(root_ / "after/TrustFile_SafeSites.txt", "c.org\r\na.org\r\nb.org\r\nb.org\r\ne.org\r\n");
    WriteAll(root_ / "after/TrustFile_SafeLinks.txt", "x.org\r\nx.org\r\n");
    fs::create_directories(root_ / "bad/TrustFile_SafeSites.txt");
    WriteAll(root_ / "locked/TrustFile_SafeSites.txt", "example.org\r\n");
    // Held as the editor holds a list while it saves it.
    locked_ = ::open((root_ / "locked/TrustFile_SafeSites.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(locked_, LOCK_EX | LOCK_NB), 0);
  }
  void TearDown() override {
    ::close(locked_);
    fs::remove_all(root_);
  }

  // Runs veraway-check in the root folder with `args` and `input` on standard input.
  Outcome Check(const std::vector<std::string>& args, const std::string& input = "") {
    WriteAll(root_ / "stdin", input);
    const pid_t child = ::fork();
    if (child == 0) {
      if (::chdir(root_.c_str()) != 0) ::_exit(127);
      const int in = ::open("stdin", O_RDONLY);
      const int out = ::open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

  fs::path root_;
  int locked_ = -1;
};

struct CommandRow {
  std::vector<std::string> args;
  std::string input;
  std::string out;
  std::string err;  // whole, or only the first line when `usage` (a usage message follows it)
  int status;
  bool usage = false;
};

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

// What every command says when the sites list is held open by another program.
constexpr char kLockedSitesError[] =
    "veraway-check: error: locked/TrustFile_SafeSites.txt: cannot be opened: it is in use: another program "
    "holds it open exclusively\n";

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
       "approves https://evil-example.org/ and https://example.org.attacker.example/; anchored: "
       "\"://example.org/\" or \".example.org/\" [unanchored]\n"
       "lists/TrustFile_SafeSites.txt:2: warning: \"news.example.org\" also occurs in other sites' host "
       "names: "
       "it approves https://news.example.org.attacker.example/; anchored: \"news.example.org/\" "
       "[unanchored]\n"
       "lists/TrustFile_SafeLinks.txt:2: warning: \"example.net\" also occurs in other sites' host names: it "
       "approves https://evil-example.net/ and https://example.net.attacker.example/; anchored: "
       "\"://example.net/\" or \".example.net/\" [unanchored]\n",
       "veraway-check: 3 findings: 3 unanchored\n",
       1},
      // Through Squid an HTTPS request is only host:port: an entry with a path never approves one.
      {{"lint", "--dir", "lists", "--for", "squid", "--only", "https"},
       "",
       "lists/TrustFile_SafeLinks.txt:1: warning: holds \"/\", which never stands in host:port, all that "
       "Squid "
       "sees of an HTTPS request (example.org:443): through Squid this entry approves no HTTPS address "
       "[https]\n",
       "veraway-check: 1 findings: 1 https\n",
       1},
      {{"lint", "--dir", "lists", "--only", "https"}, "", "", "veraway-check: no findings\n", 0},
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
      {{"lint", "--format", "jsonl", "--dir", "empty"},
       "",
       "{\"findings\":0,\"by_rule\":{}}\n",
       "veraway-check: empty/TrustFile_SafeSites.txt is missing: it counts as an empty list\n"
       "veraway-check: empty/TrustFile_SafeLinks.txt is missing: it counts as an empty list\n",
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
      {{"test", "--dir", "empty", "abc"},
       "",
       "not approved: abc\n",
       "veraway-check: empty/TrustFile_SafeSites.txt is missing: it counts as an empty list\n"
       "veraway-check: empty/TrustFile_SafeLinks.txt is missing: it counts as an empty list\n",
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
      {{"test", "--bad"}, "", "", "veraway-check: The following argument was not expected: --bad", 2, true},
      {{"lint", "--format", "xml"}, "", "", "veraway-check: --format: xml not in {text,jsonl}", 2, true},
      {{"lint", "--only", "suffix,wide"},
       "",
       "",
       "veraway-check: --only: no such rule: wide (rules: bom,line-ends,"
       "whitespace,empty,duplicate,redundant,broad,suffix,unanchored,idn,https,uppercase,malformed,control)",
       2,
       true},
      {{"diff", "x"}, "", "", "veraway-check: --against is required", 2, true},
      {{"test", "--dir", "nowhere"}, "", "", "veraway-check: --dir: no such folder: nowhere", 2, true},
      {{}, "", "", "veraway-check: A subcommand is required", 2, true},
  };
  for (const CommandRow& row : rows) {
    std::string name;
    for (const std::string& arg : row.args) name += arg + " ";
    const Outcome run = Check(row.args, row.input);
    EXPECT_EQ(run.out, row.out) << name;
    if (row.usage) {
      EXPECT_EQ(run.err.substr(0, run.err.find('\n')), row.err) << name;
      EXPECT_NE(run.err.find("Usage:"), std::string::npos) << name;
    } else {
      EXPECT_EQ(run.err, row.err) << name;
    }
    EXPECT_EQ(run.status, row.status) << name;
  }
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
