// Reading list files byte by byte: terminators, UTF-8 characters, buffer edges. Every case runs on a real
// file and through the in-memory layer with reads of every size, so no result depends on where a read stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/list_file.h"
#include "files/list_file_test_util.h"
#include "files/memory_os_files.h"

namespace vw {
namespace {

using testing::Hex;
using testing::ReadAllLines;
using testing::Show;

constexpr char16_t R = 0xFFFD;

struct ReadCase {
  std::string why;
  std::string bytes;
  std::vector<Text> lines;
};

std::vector<ReadCase> ByteCases() {
  return {
      {"empty file: no lines", "", {}},
      {"CR LF after every line: no third, empty line", "a\r\nb\r\n", {u"a", u"b"}},
      {"last line without terminator", "a\r\nb", {u"a", u"b"}},
      {"CR LF alone: one empty line", "\r\n", {u""}},
      {"two CR LF: two empty lines", "\r\n\r\n", {u"", u""}},
      {"lone LF", "a\nb", {u"a", u"b"}},
      {"lone CR", "a\rb", {u"a", u"b"}},
      {"LF then CR: an empty line between", "a\n\rb", {u"a", u"", u"b"}},
      {"CR as the last byte", "a\r", {u"a"}},
      {"CR CR LF", "a\r\r\nb", {u"a", u"", u"b"}},
      {"CR CR", "\r\r", {u"", u""}},
      {"LF alone", "\n", {u""}},
      {"zero byte alone", std::string("\0", 1), {u""}},
      {"zero byte ends a line", std::string("a\0b\r\n", 5), {u"a", u"b"}},
      {"zero byte then CR LF: an empty line", std::string("a\0\r\nb", 5), {u"a", u"", u"b"}},
      {"blanks and tabs kept", " \ta b\t \r\n\t\r\n", {u" \ta b\t ", u"\t"}},
      {"byte-order mark is read as U+FEFF",
       "\xEF\xBB\xBF"
       "a",
       {u"\uFEFFa"}},
      {"byte-order mark on a later line too",
       "a\r\n\xEF\xBB\xBF"
       "b",
       {u"a", u"\uFEFFb"}},
      {"stray continuation 80 reads as ?", "x\x80y", {u"x?y"}},
      {"stray continuation BF reads as ?", "\xBF", {u"?"}},
      {"two stray continuations", "\x80\xBF", {u"??"}},
      {"F8 reads as ?", "\xF8", {u"?"}},
      {"FF reads as ?",
       "a\xFF"
       "b",
       {u"a?b"}},
      {"F8 does not take the next bytes", "\xF8\x80\x80\x80\x80", {u"?????"}},
      {"2-byte character", "\xC3\xA9t\xC3\xA9", {u"\u00E9t\u00E9"}},
      {"3-byte character", "\xE2\x82\xAC", {u"\u20AC"}},
      {"4-byte character", "\xF0\x9F\x98\x80\r\n", {u"\U0001F600"}},
      {"lead byte before CR LF does not swallow it", "c\xE9\r\nd\r\n", {Text{u'c', R}, u"d"}},
      {"lead byte at the end of the file", "a\xE9", {Text{u'a', R}}},
      {"lead byte before LF",
       "\xE2\x82\n"
       "b",
       {Text{R}, u"b"}},
      {"lead byte before a zero byte", std::string("\xF0\x9F\x98\0x", 5), {Text{R}, u"x"}},
      {"lead byte before ASCII",
       "\xC3"
       "A",
       {Text{R, u'A'}}},
      {"lead byte before a lead byte", "\xE2\xC3\xA9", {Text{R, 0xE9}}},
      {"lead byte before F8", "\xC3\xF8", {Text{R, u'?'}}},
      {"bytes taken so far are one sequence",
       "\xF0\x80"
       "A",
       {Text{R, u'A'}}},
      {"overlong 2-byte: both bytes malformed", "\xC0\xAF", {Text{R, R}}},
      {"surrogate in UTF-8: three malformed bytes", "\xED\xA0\x80", {Text{R, R, R}}},
      {"F5 lead takes three bytes, each malformed",
       "\xF5\x80\x80\x80"
       "a",
       {Text{R, R, R, R, u'a'}}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {Text{R, R, R, R}}},
  };
}

// Cases at the 4096-byte buffer edge.
std::vector<ReadCase> EdgeCases() {
  std::vector<ReadCase> cases;
  const std::string a4095(4095, 'a');
  for (std::size_t size : {4095u, 4096u, 4097u, 8191u, 8192u, 8193u}) {
    const std::string x(size, 'x');
    const Text line(size, u'x');
    cases.push_back({"file of " + std::to_string(size) + " bytes, one line", x, {line}});
    cases.push_back({"line of " + std::to_string(size) + " bytes and CR LF", x + "\r\n", {line}});
    cases.push_back({"line of " + std::to_string(size) + " bytes, CR LF, a", x + "\r\na", {line, u"a"}});
    std::string file(size - 2, 'y');
    file += "\r\n";
    cases.push_back(
        {"file of " + std::to_string(size) + " bytes ending CR LF", file, {Text(size - 2, u'y')}});
  }
  cases.push_back({"CR at byte 4096, LF in the next buffer", a4095 + "\r\nb", {Text(4095, u'a'), u"b"}});
  cases.push_back({"lone CR at byte 4096", a4095 + "\rb", {Text(4095, u'a'), u"b"}});
  cases.push_back({"CR at byte 4096 ends the file", a4095 + "\r", {Text(4095, u'a')}});
  cases.push_back({"LF at byte 4097", a4095 + "b\nc", {Text(4095, u'a') + u"b", u"c"}});
  // Every place of a 2-, 3- and 4-byte character around the edge.
  const std::pair<std::string, Text> chars[] = {
      {"\xC3\xA9", u"\u00E9"}, {"\xE2\x82\xAC", u"\u20AC"}, {"\xF0\x9F\x98\x80", u"\U0001F600"}};
  for (const auto& [bytes, text] : chars) {
    for (std::size_t before = 4092; before <= 4096; ++before) {
      cases.push_back(
          {std::to_string(bytes.size()) + "-byte character after " + std::to_string(before) + " bytes",
           std::string(before, 'a') + bytes + "\r\nz",
           {Text(before, u'a') + text, u"z"}});
      // The same character cut short by a line end right at the edge.
      const std::string cut = bytes.substr(0, bytes.size() - 1);
      cases.push_back({std::to_string(bytes.size()) + "-byte character cut after " + std::to_string(before),
                       std::string(before, 'a') + cut + "\r\nz",
                       {Text(before, u'a') + Text{R}, u"z"}});
    }
  }
  cases.push_back({"stray byte at byte 4096", a4095 + "\x80", {Text(4095, u'a') + u"?"}});
  cases.push_back({"lead byte at byte 4096 ends the file", a4095 + "\xE2", {Text(4095, u'a') + Text{R}}});
  return cases;
}

// Where the bytes come from.
struct Source {
  const char* name;
  bool real_file;
  std::size_t read_chunk;  // in-memory layer only
};

class ListFileReadTest : public ::testing::TestWithParam<Source> {
 protected:
  std::vector<Text> Read(const std::string& bytes) {
    if (GetParam().real_file) {
      testing::WriteBytes(dir_.File("list.txt"), bytes);
      EXPECT_TRUE(OpenForReading(0, dir_.Name("list.txt")));
      std::vector<Text> lines = ReadLines();
      EXPECT_FALSE(ReadFailed(0));
      EXPECT_TRUE(CloseListFile(0));
      return lines;
    }
    testing::MemoryOsFiles os;
    os.read_chunk = GetParam().read_chunk;
    os.files[u"list.txt"] = bytes;
    ScopedOsFiles use(os);
    EXPECT_TRUE(OpenForReading(0, u"list.txt"));
    std::vector<Text> lines = ReadLines();
    EXPECT_FALSE(ReadFailed(0));
    EXPECT_TRUE(CloseListFile(0));
    return lines;
  }

  // The lines of slot 0, and how each ended (LastLineEnd) in `ends_`.
  std::vector<Text> ReadLines() {
    std::vector<Text> lines;
    ends_.clear();
    while (!AtEnd(0)) {
      lines.push_back(ReadLine(0));
      ends_ += LastLineEnd(0);
    }
    return lines;
  }

  void Check(const std::vector<ReadCase>& cases) {
    for (const ReadCase& c : cases) {
      const std::vector<Text> lines = Read(c.bytes);
      EXPECT_EQ(lines, c.lines) << c.why << "\n  bytes: " << Hex(c.bytes) << "\n  got:      " << Show(lines)
                                << "\n  expected: " << Show(c.lines);
      // Each line's end from the bytes alone: a lone CR, a NUL, else LF (LF, CR LF, the end of the file).
      std::string ends;
      for (std::size_t i = 0; i < c.bytes.size(); ++i) {
        const char b = c.bytes[i];
        if (b == '\n' || b == '\0' || (b == '\r' && c.bytes.substr(i + 1, 1) != "\n")) ends += b;
      }
      if (ends.size() < lines.size()) ends += '\n';
      EXPECT_EQ(Hex(ends_), Hex(ends)) << c.why;
    }
  }

  testing::TempDir dir_;
  std::string ends_;
};

TEST_P(ListFileReadTest, ByteCases) {
  Check(ByteCases());
}

TEST_P(ListFileReadTest, BufferEdges) {
  Check(EdgeCases());
}

TEST_P(ListFileReadTest, MegabyteLine) {
  std::string bytes;
  Text line;
  for (std::size_t i = 0; bytes.size() < (1u << 20); ++i) {
    if (i % 100 == 99) {
      bytes += "\xC3\xA9";
      line += u'\u00E9';
    } else {
      bytes += static_cast<char>('a' + i % 26);
      line += static_cast<char16_t>(u'a' + i % 26);
    }
  }
  const std::vector<Text> lines = Read(bytes + "\r\nend");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0] == line) << "line of " << lines[0].size() << " units, expected " << line.size();
  EXPECT_EQ(lines[1], u"end");
}

INSTANTIATE_TEST_SUITE_P(Sources, ListFileReadTest,
                         ::testing::Values(Source{"RealFile", true, 0}, Source{"WholeBuffers", false, 4096},
                                           Source{"OneByteReads", false, 1},
                                           Source{"ThreeByteReads", false, 3},
                                           Source{"ShortReads", false, 4095}),
                         [](const ::testing::TestParamInfo<Source>& source) { return source.param.name; });

// AtEnd looks without taking: asking again and again changes nothing.
TEST(ListFileAtEndTest, ConsumesNothing) {
  testing::MemoryOsFiles os;
  os.read_chunk = 1;
  os.files[u"f"] = "a\r\nb";
  ScopedOsFiles use(os);
  ASSERT_TRUE(OpenForReading(0, u"f"));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(AtEnd(0));
  EXPECT_EQ(ReadLine(0), u"a");
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(AtEnd(0));
  EXPECT_EQ(ReadLine(0), u"b");
  EXPECT_TRUE(AtEnd(0));
  EXPECT_EQ(ReadLine(0), u"");  // at the end: an empty text
  EXPECT_TRUE(AtEnd(0));
  EXPECT_FALSE(ReadFailed(0));
  EXPECT_TRUE(CloseListFile(0));
}

}  // namespace
}  // namespace vw
