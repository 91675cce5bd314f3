// The working directory as the OS layer reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/list_file_test_util.h"
#include "files/os_file.h"

namespace vw {
namespace {

namespace fs = std::filesystem;

// Changes the working directory for one test and puts it back.
class WorkingDirectoryGuard {
 public:
  WorkingDirectoryGuard() : saved_(fs::current_path()) {}
  ~WorkingDirectoryGuard() { fs::current_path(saved_); }
  WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
  WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;

 private:
  fs::path saved_;
};

TEST(OsWorkingDirectoryTest, LastComponentWithoutSeparatorAfterIt) {
  testing::TempDir dir;
  const Text leaf = u"Trust Dir \u00E9\u0416";  // blanks and non-ASCII letters arrive as they are
  fs::create_directory(dir.path() / fs::path(leaf));
  WorkingDirectoryGuard guard;
  fs::current_path(dir.path() / fs::path(leaf));
  const std::optional<Text> cwd = OsWorkingDirectory();
  ASSERT_TRUE(cwd.has_value());
  EXPECT_EQ(*cwd, fs::current_path().u16string());
  ASSERT_GT(cwd->size(), leaf.size());
  EXPECT_EQ(cwd->substr(cwd->size() - leaf.size() - 1), kPathSeparator + leaf);
}

#ifndef _WIN32

// A working directory far longer than any fixed buffer is read whole.
TEST(OsWorkingDirectoryTest, VeryLongDirectoryIsReadWhole) {
  testing::TempDir dir;
  WorkingDirectoryGuard guard;
  fs::current_path(dir.path());
  const std::string part(200, 'd');
  Text expected = fs::current_path().u16string();
  constexpr int kDepth = 40;  // more than 8000 bytes
  for (int i = 0; i < kDepth; ++i) {
    fs::create_directory(part);  // relative: the full path is too long for most calls
    fs::current_path(part);
    expected += kPathSeparator + Utf8ToText(part);
  }
  const std::optional<Text> cwd = OsWorkingDirectory();
  ASSERT_TRUE(cwd.has_value());
  EXPECT_GT(cwd->size(), 8000u);
  EXPECT_TRUE(*cwd == expected) << "got " << cwd->size() << " units, expected " << expected.size();
  for (int i = 0; i < kDepth; ++i) {  // climb out and remove on the way, by relative names
    fs::current_path("..");
    fs::remove(part);
  }
}

#endif

}  // namespace
}  // namespace vw
