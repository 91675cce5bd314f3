// The one list reader: what it reports for each way a file can end, what lands in the list, and the guard
// that stops a binary file early. Through the in-memory OS layer, so a read error and a held file are on
// demand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/list_file_test_util.h"
#include "files/list_reader.h"
#include "files/memory_os_files.h"

namespace vw {
namespace {

using Status = ListRead::Status;

constexpr std::size_t kNoFault = static_cast<std::size_t>(-1);

struct ReaderCase {
  std::string why;
  std::string bytes;
  ListReadOptions options;
  std::size_t fail_read_at;
  bool held = false;  // another opening holds the file meanwhile
  Status status;
  std::size_t lines;  // lines in the list afterwards
  OpenRefusal::Kind refusal = OpenRefusal::Kind::kOther;
  BinarySign binary = BinarySign::kNone;
};

ListReadOptions Shared(bool refuse_binary = true) {
  ListReadOptions options;
  options.access = ListAccess::kShared;
  options.wait = std::chrono::milliseconds(50);
  options.refuse_binary = refuse_binary;
  return options;
}

// The guard looks at the zero bytes as each 4096-byte buffer arrives; the one that brings the count to 64 KiB
// stops the reading, so the lines of the 60 KiB before it are in the list.
constexpr std::size_t kFirst60KiB = 15 * 4096;

ListReadOptions Limited(std::uint64_t max_bytes) {
  ListReadOptions options = Shared(false);
  options.max_bytes = max_bytes;
  return options;
}

ListReadOptions StopAsked() {
  ListReadOptions options = Shared();
  options.stop = [] { return true; };
  return options;
}

std::vector<ReaderCase> Cases() {
  const std::string zeros(1 << 20, '\0');
  std::string short_lines;
  for (int i = 0; i < 5000; ++i) short_lines += "a\n";
  const std::string text_then_zeros = std::string(20000, 'a') + "\r\n" + std::string(100000, '\0');
  return {
      {"exclusive, read whole", "a\r\nb\r\n", {}, kNoFault, false, Status::kWhole, 2},
      {"shared, read whole", "a\r\nb", Shared(), kNoFault, false, Status::kWhole, 2},
      {"exclusive, held elsewhere: not opened", "a", {}, kNoFault, true, Status::kNotOpened, 0},
      {"shared, held by a writer past the wait: in use", "a", Shared(), kNoFault, true, Status::kNotOpened, 0,
       OpenRefusal::Kind::kInUse},
      {"read error after the first buffer: what was read stays",
       std::string(4096, 'x') + "\r\nyy\r\n",
       {},
       4096,
       false,
       Status::kReadError,
       1},
      {"read error part-way, shared", "a\r\n" + std::string(5000, 'b') + "\r\nc", Shared(), 4096, false,
       Status::kReadError, 2},
      {"zero bytes unguarded: each one an empty line, as the editor reads",
       zeros,
       {},
       kNoFault,
       false,
       Status::kWhole,
       zeros.size()},
      {"zero bytes guarded: stopped after the first 64 KiB", zeros, Shared(), kNoFault, false,
       Status::kLooksBinary, kFirst60KiB, OpenRefusal::Kind::kOther, BinarySign::kMostlyZeros},
      {"text, then mostly zeros: stopped", text_then_zeros, Shared(), kNoFault, false, Status::kLooksBinary,
       1 + kFirst60KiB - 20002, OpenRefusal::Kind::kOther, BinarySign::kMostlyZeros},
      {"zeros a third of the bytes: a list",
       std::string(kBinaryZerosAfter * 2, 'a') + std::string(65536, '\0'), Shared(), kNoFault, false,
       Status::kWhole, 65536},
      {"a line of 4 MiB: read", std::string(kBinaryLineBytes, 'a'), Shared(), kNoFault, false, Status::kWhole,
       1},
      {"a line past 4 MiB guarded: stopped, not cut into an entry",
       "a\n" + std::string(kBinaryLineBytes + 1, 'a'), Shared(), kNoFault, false, Status::kLooksBinary, 1,
       OpenRefusal::Kind::kOther, BinarySign::kNoLineEnd},
      // The limit counts the bytes read from the file (a 4096-byte buffer at a time): the line that brings
      // them past it is not taken, a file of exactly the limit is read whole.
      {"past the byte limit: stopped", std::string(3000, 'a') + "\n" + std::string(3000, 'b') + "\nc",
       Limited(4096), kNoFault, false, Status::kTooLarge, 1},
      {"exactly the byte limit: read whole", std::string(4095, 'a') + "\n", Limited(4096), kNoFault, false,
       Status::kWhole, 1},
      {"stop asked after 4096 lines", short_lines, StopAsked(), kNoFault, false, Status::kStopped, 4096},
      {"a line past 4 MiB unguarded: read whole",
       std::string(kBinaryLineBytes + 1, 'a'),
       {},
       kNoFault,
       false,
       Status::kWhole,
       1},
  };
}

TEST(ListReaderTest, StatusAndLinesOfEveryEnding) {
  for (const ReaderCase& c : Cases()) {
    testing::MemoryOsFiles os;
    os.files[u"list"] = c.bytes;
    os.fail_read_at = c.fail_read_at;
    ScopedOsFiles use(os);
    if (c.held) {
      ASSERT_TRUE(OpenForReading(1, u"list"));
    }
    TrustList list;
    std::size_t seen = 0;
    const ListRead read = ReadListFile(0, u"list", c.options, list, [&](const Text& line) {
      // Each line is handed out before it is appended, and is what the list then holds.
      EXPECT_EQ(list.size(), seen) << c.why;
      ++seen;
      if (c.options.refuse_binary) {
        EXPECT_LE(line.size(), kBinaryLineBytes) << c.why;
      }
    });
    CloseListFile(1);
    EXPECT_EQ(read.status, c.status) << c.why;
    EXPECT_EQ(list.size(), c.lines) << c.why;
    EXPECT_EQ(seen, c.lines) << c.why;
    EXPECT_EQ(read.binary, c.binary) << c.why;
    if (c.status == Status::kNotOpened && c.options.access == ListAccess::kShared) {
      EXPECT_EQ(read.refusal.kind, c.refusal) << c.why;
    }
    EXPECT_EQ(os.open_count(), 0) << c.why << ": the slot is free again";
  }
}

}  // namespace
}  // namespace vw
