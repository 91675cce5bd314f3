// TrustList: order, exact texts, stable entries, memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/trust_list.h"

namespace vw {
namespace {

Text Numbered(std::size_t i, std::size_t length) {
  Text t = Utf8ToText(std::to_string(i));
  t.resize(length, static_cast<char16_t>(u'a' + i % 26));
  return t;
}

TEST(TrustListTest, NewListIsEmpty) {
  TrustList list;
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.size(), 0u);
}

TEST(TrustListTest, KeepsEntriesExactlyAndInOrder) {
  const std::vector<Text> entries = {
      u"example.com", u"", u"  padded\t", u"", u"\uFEFFbom", u"\U0001F600", Text(u"a\0b", 3), u"",
  };
  TrustList list;
  for (const Text& e : entries) list.Append(e);
  ASSERT_EQ(list.size(), entries.size());
  EXPECT_FALSE(list.empty());
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(Text(list[i]), entries[i]) << i;
}

// Entries of every length around the block sizes: the short ones fill blocks, the long ones get their own;
// each reads back whole, and a view taken early is still the same after many more appends.
TEST(TrustListTest, EntriesAcrossBlocksStayValid) {
  const std::size_t lengths[] = {
      0, 1, 30, 1000, 1023, 1024, 1025, 5000, (1u << 20) - 1, 1u << 20, (1u << 20) + 7};
  TrustList list;
  std::vector<Text> expected;
  for (int round = 0; round < 3; ++round) {
    for (std::size_t length : lengths) {
      expected.push_back(Numbered(expected.size(), length));
      list.Append(expected.back());
    }
  }
  const TrustEntry first_long = list[4];
  for (std::size_t i = 0; i < 20000; ++i) {
    expected.push_back(Numbered(expected.size(), i % 97));
    list.Append(expected.back());
  }
  ASSERT_EQ(list.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(Text(list[i]), expected[i]) << i;
  EXPECT_EQ(first_long.data(), list[4].data());
  EXPECT_EQ(Text(first_long), expected[4]);
}

TEST(TrustListTest, AppendingAnEntryOfTheSameList) {
  TrustList list;
  list.Append(u"first");
  for (int i = 0; i < 3000; ++i) list.Append(list[list.size() - 1]);  // crosses block boundaries
  ASSERT_EQ(list.size(), 3001u);
  for (std::size_t i = 0; i < list.size(); ++i) ASSERT_EQ(Text(list[i]), u"first") << i;
}

TEST(TrustListTest, MillionEntriesCostUnderTwiceTheirText) {
  constexpr std::size_t kCount = 1000000;
  constexpr std::size_t kLength = 30;
  TrustList list;
  Text entry(kLength, u'x');
  for (std::size_t i = 0; i < kCount; ++i) {
    entry[i % kLength] = static_cast<char16_t>(u'a' + i % 26);
    list.Append(entry);
  }
  const std::size_t text_bytes = kCount * kLength * sizeof(char16_t);
  EXPECT_GT(list.HeapBytes(), text_bytes);
  EXPECT_LT(list.HeapBytes(), 2 * text_bytes);
  EXPECT_EQ(list[kCount - 1].size(), kLength);
}

// Runs of empty entries of every length between entries, against a plain vector; and however long a run is,
// it costs the list nothing more.
TEST(TrustListTest, RunsOfEmptyEntriesReadBackAndCostNothing) {
  std::mt19937 random(19);
  std::vector<Text> expected;
  TrustList list;
  for (int i = 0; i < 3000; ++i) {
    const std::size_t empties = random() % 4 == 0 ? random() % 50 : 0;
    for (std::size_t e = 0; e < empties; ++e) expected.emplace_back();
    expected.push_back(Numbered(expected.size(), random() % 40));  // length 0 now and then too
  }
  for (const Text& e : expected) list.Append(e);
  ASSERT_EQ(list.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(Text(list[i]), expected[i]) << i;
  EXPECT_EQ(list.EmptyCount(),
            static_cast<std::size_t>(std::count(expected.begin(), expected.end(), Text())));

  TrustList sparse;
  sparse.Append(u"first");
  const std::size_t small = sparse.HeapBytes();
  for (int i = 0; i < 10000000; ++i) sparse.Append(u"");
  sparse.Append(u"last");
  ASSERT_EQ(sparse.size(), 10000002u);
  EXPECT_EQ(Text(sparse[0]), u"first");
  EXPECT_EQ(Text(sparse[5000000]), u"");
  EXPECT_EQ(Text(sparse[10000001]), u"last");
  EXPECT_LT(sparse.HeapBytes(), small + 1024);
  EXPECT_EQ(sparse.EmptyCount(), 10000000u);
}

}  // namespace
}  // namespace vw
