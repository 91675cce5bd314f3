// Writing list files: the bytes of each line, the buffering rule, slots.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "files/list_file.h"
#include "files/list_file_test_util.h"
#include "files/memory_os_files.h"

namespace vw {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct WriteCase {
  const char* why;
  std::vector<Text> lines;
  std::string bytes;
};

const WriteCase kWriteCases[] = {
    {"nothing written: an empty file", {}, ""},
    {"empty text: CR LF alone", {u""}, "\r\n"},
    {"abc", {u"abc"}, "abc\r\n"},
    {"e acute", {u"\u00E9"}, "\xC3\xA9\r\n"},
    {"no byte-order mark is added", {u"a"}, "a\r\n"},
    {"a U+FEFF of the text is written as it is",
     {u"\uFEFFa"},
     "\xEF\xBB\xBF"
     "a\r\n"},
    {"surrogate pair", {u"\U0001F600"}, "\xF0\x9F\x98\x80\r\n"},
    {"unpaired surrogate", {Text{0xD800}}, "\xEF\xBF\xBD\r\n"},
    {"CR LF after every line, the last included", {u"a", u"", u"b"}, "a\r\n\r\nb\r\n"},
    {"blanks kept", {u" a\t"}, " a\t\r\n"},
};

TEST(ListFileWriteTest, BytesOfEachLine) {
  TempDir dir;
  for (const WriteCase& c : kWriteCases) {
    WriteBytes(dir.File("out.txt"), "old content that must go");
    ASSERT_TRUE(CreateForWriting(1, dir.Name("out.txt"))) << c.why;
    for (const Text& line : c.lines) EXPECT_TRUE(WriteLine(1, line)) << c.why;
    EXPECT_TRUE(CloseListFile(1)) << c.why;
    EXPECT_EQ(Hex(ReadBytes(dir.File("out.txt"))), Hex(c.bytes)) << c.why;
  }
}

// The file keeps its old content while it is being written and gets the new content whole at the close;
// nothing is left beside it.
TEST(ListFileWriteTest, ExistingFileKeepsItsContentUntilTheClose) {
  TempDir dir;
  WriteBytes(dir.File("out.txt"), "old\r\n");
  ASSERT_TRUE(CreateForWriting(1, dir.Name("out.txt")));
  EXPECT_TRUE(WriteLine(1, Text(9000, u'n')));  // past the buffer: written out before the close
#ifndef _WIN32  // on Windows nobody else may read it meanwhile: it is held with share mode 0
  EXPECT_EQ(ReadBytes(dir.File("out.txt")), "old\r\n");
#endif
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_TRUE(ReadBytes(dir.File("out.txt")) == std::string(9000, 'n') + "\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Lines whose bytes reach the 4096-byte buffer edge in every way, written to a real file: the file holds
// exactly the lines, in order.
TEST(ListFileWriteTest, LinesAcrossTheBufferEdge) {
  TempDir dir;
  const std::size_t lengths[] = {4093, 4094, 4095, 4096, 4097, 1, 0, 8190, 2, 5000, 12, 4094};
  ASSERT_TRUE(CreateForWriting(1, dir.Name("out.txt")));
  std::string expected;
  for (std::size_t i = 0; i < std::size(lengths); ++i) {
    Text line(lengths[i], static_cast<char16_t>(u'a' + i));
    if (lengths[i] > 10) line[lengths[i] / 2] = u'\u00E9';
    EXPECT_TRUE(WriteLine(1, line));
    expected += TextToUtf8(line) + "\r\n";
  }
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_TRUE(ReadBytes(dir.File("out.txt")) == expected);

  // The stamp taken as the bytes went out is that of the file read back, in any pieces; a byte changed or a
  // file gone is another stamp.
  const FileStamp written = LastStamp(1);
  EXPECT_EQ(written.size, expected.size());
  EXPECT_EQ(StampNow(2, dir.Name("out.txt")), written);
  ASSERT_TRUE(OpenForReading(0, dir.Name("out.txt")));
  while (!AtEnd(0)) ReadLine(0);
  CloseListFile(0);
  EXPECT_EQ(LastStamp(0), written);
  expected[4096] ^= 1;
  WriteBytes(dir.File("out.txt"), expected);
  EXPECT_NE(StampNow(2, dir.Name("out.txt")), written);
  WriteBytes(dir.File("out.txt"), "abc\r\n");  // shorter than a word of the hash
  const std::optional<FileStamp> short_file = StampNow(2, dir.Name("out.txt"));
  WriteBytes(dir.File("out.txt"), "abd\r\n");
  EXPECT_NE(StampNow(2, dir.Name("out.txt")), short_file);
  std::filesystem::remove(dir.File("out.txt"));
  EXPECT_EQ(StampNow(2, dir.Name("out.txt")), FileStamp{});
}

// The buffering rule, seen as the sizes handed to the OS: a write that does not fit strictly within the free
// space first writes the buffer out; one of 4096 bytes or more goes to the file directly; close writes the
// rest.
TEST(ListFileWriteTest, BufferingRule) {
  struct Case {
    const char* why;
    std::vector<std::size_t> line_lengths;  // ASCII lines
    std::vector<std::size_t> os_writes;
  } const cases[] = {
      {"small lines: one write at close", {10, 20, 0}, {36}},
      {"nothing written: no write at all", {}, {}},
      {"4093 bytes and CR LF fill 4095", {4093}, {4095}},
      {"4094 bytes: CR LF does not fit strictly", {4094}, {4094, 2}},
      {"4095 bytes: buffered, then CR LF after it is written out", {4095}, {4095, 2}},
      {"4096 bytes go to the file directly", {4096}, {4096, 2}},
      {"a large line after buffered bytes", {2, 5000}, {4, 5000, 2}},
      {"a small line that does not fit", {4000, 100}, {4002, 102}},
      {"a line and its CR LF fit, leaving one byte free", {4000, 91}, {4095}},
      {"a line fits but its CR LF does not", {4000, 92}, {4094, 2}},
      {"a line as long as the free space does not fit", {4000, 94}, {4002, 96}},
  };
  for (const Case& c : cases) {
    testing::MemoryOsFiles os;
    ScopedOsFiles use(os);
    ASSERT_TRUE(CreateForWriting(1, u"f")) << c.why;
    std::string expected;
    for (std::size_t length : c.line_lengths) {
      EXPECT_TRUE(WriteLine(1, Text(length, u'w'))) << c.why;
      expected += std::string(length, 'w') + "\r\n";
    }
    EXPECT_TRUE(CloseListFile(1)) << c.why;
    EXPECT_EQ(os.write_sizes, c.os_writes) << c.why;
    EXPECT_TRUE(os.files[u"f"] == expected) << c.why;
    EXPECT_EQ(os.open_count(), 0) << c.why;
  }
}

// The new file is handed to the disk before it takes the old one's place: a crash after the replacement never
// finds a file whose bytes were still in memory.
TEST(ListFileWriteTest, CloseFlushesToDiskThenClosesThenReplaces) {
  testing::MemoryOsFiles os;
  ScopedOsFiles use(os);
  ASSERT_TRUE(CreateForWriting(1, u"f"));
  os.calls.clear();
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"Flush", "Close", "Replace"}));
  // A file opened for reading is only closed.
  ASSERT_TRUE(OpenForReading(0, u"f"));
  os.calls.clear();
  EXPECT_TRUE(CloseListFile(0));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"Close"}));
}

TEST(ListFileSlotTest, ReadOneSlotWhileWritingAnother) {
  TempDir dir;
  WriteBytes(dir.File("in.txt"), "one\ntwo\rthree\r\n\r\nlast");
  ASSERT_TRUE(OpenForReading(0, dir.Name("in.txt")));
  ASSERT_TRUE(CreateForWriting(1, dir.Name("out.txt")));
  while (!AtEnd(0)) EXPECT_TRUE(WriteLine(1, ReadLine(0)));
  EXPECT_TRUE(CloseListFile(0));
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(ReadBytes(dir.File("out.txt")), "one\r\ntwo\r\nthree\r\n\r\nlast\r\n");
}

TEST(ListFileSlotTest, OpeningAnOccupiedSlotClosesItsFileFirst) {
  TempDir dir;
  ASSERT_TRUE(CreateForWriting(1, dir.Name("a.txt")));
  EXPECT_TRUE(WriteLine(1, u"kept"));
  ASSERT_TRUE(CreateForWriting(1, dir.Name("b.txt")));  // a.txt is written out and closed
  EXPECT_EQ(ReadBytes(dir.File("a.txt")), "kept\r\n");
  ASSERT_TRUE(OpenForReading(0, dir.Name("a.txt")));  // so it can be opened again
  EXPECT_TRUE(WriteLine(1, u"b"));
  ASSERT_TRUE(CreateForWriting(1, dir.Name("c.txt")));
  ASSERT_TRUE(OpenForReading(0, dir.Name("b.txt")));  // slot 0 lets go of a.txt in turn
  ASSERT_TRUE(OpenForReading(2, dir.Name("a.txt")));
  EXPECT_EQ(ReadLine(2), u"kept");
  EXPECT_EQ(ReadLine(0), u"b");
  EXPECT_TRUE(CloseListFile(0));
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_TRUE(CloseListFile(2));
}

TEST(ListFileSlotTest, FailedOpeningLeavesTheSlotFree) {
  TempDir dir;
  WriteBytes(dir.File("a.txt"), "a\r\n");
  ASSERT_TRUE(OpenForReading(0, dir.Name("a.txt")));
  EXPECT_FALSE(OpenForReading(0, dir.Name("missing.txt")));
  EXPECT_TRUE(AtEnd(0));
  EXPECT_EQ(ReadLine(0), u"");
  EXPECT_FALSE(ReadFailed(0));
  EXPECT_TRUE(CloseListFile(0));                      // nothing left to close
  ASSERT_TRUE(OpenForReading(3, dir.Name("a.txt")));  // the first opening was closed
  EXPECT_TRUE(CloseListFile(3));
}

TEST(ListFileSlotTest, WrongKindOfSlotDoesNothing) {
  TempDir dir;
  WriteBytes(dir.File("a.txt"), "a\r\n");
  ASSERT_TRUE(OpenForReading(0, dir.Name("a.txt")));
  EXPECT_FALSE(WriteLine(0, u"not written"));
  EXPECT_EQ(ReadLine(0), u"a");
  EXPECT_TRUE(CloseListFile(0));
  EXPECT_EQ(ReadBytes(dir.File("a.txt")), "a\r\n");

  ASSERT_TRUE(CreateForWriting(1, dir.Name("b.txt")));
  EXPECT_TRUE(AtEnd(1));
  EXPECT_EQ(ReadLine(1), u"");
  EXPECT_TRUE(WriteLine(1, u"b"));
  EXPECT_TRUE(CloseListFile(1));
  EXPECT_EQ(ReadBytes(dir.File("b.txt")), "b\r\n");

  EXPECT_FALSE(WriteLine(5, u"free slot"));
}

TEST(ListFileSlotTest, SlotNumbersOutOfRange) {
  TempDir dir;
  WriteBytes(dir.File("a.txt"), "a\r\n");
  for (int slot : {-1, 16, 1000}) {
    EXPECT_FALSE(OpenForReading(slot, dir.Name("a.txt"))) << slot;
    EXPECT_FALSE(CreateForWriting(slot, dir.Name("b.txt"))) << slot;
    EXPECT_TRUE(AtEnd(slot)) << slot;
    EXPECT_FALSE(WriteLine(slot, u"x")) << slot;
    EXPECT_TRUE(CloseListFile(slot)) << slot;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.txt")));
  ASSERT_TRUE(OpenForReading(15, dir.Name("a.txt")));
  EXPECT_TRUE(CloseListFile(15));
}

TEST(ListFileCopyTest, ReplacesAnExistingTarget) {
  TempDir dir;
  WriteBytes(dir.File("list.txt"), std::string("new\r\n\0\xFF", 7));
  WriteBytes(dir.File("list-BK.txt"), "an older and longer backup\r\n");
  EXPECT_TRUE(CopyOver(dir.Name("list.txt"), dir.Name("list-BK.txt")));
  EXPECT_EQ(ReadBytes(dir.File("list-BK.txt")), std::string("new\r\n\0\xFF", 7));
  EXPECT_TRUE(CopyOver(dir.Name("list.txt"), dir.Name("fresh-BK.txt")));
  EXPECT_EQ(ReadBytes(dir.File("fresh-BK.txt")), std::string("new\r\n\0\xFF", 7));
}

TEST(ListFileCopyTest, MissingSourceLeavesTheTarget) {
  TempDir dir;
  WriteBytes(dir.File("list-BK.txt"), "backup\r\n");
  EXPECT_FALSE(CopyOver(dir.Name("list.txt"), dir.Name("list-BK.txt")));
  EXPECT_EQ(ReadBytes(dir.File("list-BK.txt")), "backup\r\n");
  EXPECT_FALSE(CopyOver(dir.Name("list.txt"), dir.Name("none-BK.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("none-BK.txt")));
}

}  // namespace
}  // namespace vw
