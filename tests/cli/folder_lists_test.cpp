// Reading a folder's lists: a list that grows past the most a list may hold while it is read is refused like
// one that was too large from the start (its size before reading cannot see the growth).
#include "cli/folder_lists.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vw::cli {
namespace {

namespace fs = std::filesystem;

TEST(FolderListsTest, AListThatGrowsPastTheLimitWhileReadIsRefused) {
  const fs::path dir = fs::temp_directory_path() / ("vw_folder_lists_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path sites = dir / "TrustFile_SafeSites.txt";
  std::string lines;
  for (int i = 0; i < 10000; ++i) lines += "site" + std::to_string(i) + ".example\r\n";
  std::ofstream(sites, std::ios::binary) << lines;
  bool grown = false;
  // Asked now and then while the sites are read: the first time, the file grows past the limit behind the
  // reader, in short lines so that it still looks like a list.
  const auto grow = [&] {
    if (!grown) {
      grown = true;
      std::ofstream out(sites, std::ios::binary | std::ios::app);
      const std::string block(1 << 20, 'a');
      for (std::uint64_t written = 0; written <= kListByteLimit; written += block.size() + 2)
        out << block << "\r\n";
    }
    return false;
  };
  FolderLists lists;
  const FolderRead read = ReadFolderListsQuietly(dir.string(), lists, grow);
  EXPECT_TRUE(grown);
  EXPECT_EQ(read.error, sites.string() + ": larger than 64 MiB, the most a list may hold; not read");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vw::cli
