#include <gtest/gtest.h>

#include "rules/password_rule.h"

namespace vw {
namespace {

struct FolderCase {
  const char16_t* directory;
  char16_t separator;
  const char16_t* expected;
};

TEST(LastPathComponent, IsTheInnermostFolderWithTrailingSeparatorsIgnored) {
  const FolderCase cases[] = {
      {u"/home/admin/Lists", u'/', u"Lists"},
      {u"/home/admin/Lists/", u'/', u"Lists"},
      {u"/home/admin/Lists///", u'/', u"Lists"},
      {u"/Lists", u'/', u"Lists"},
      {u"/", u'/', u""},
      {u"//", u'/', u""},
      {u"", u'/', u""},
      {u"Lists", u'/', u"Lists"},
      {u"/srv/Caf\u00e9 Lists", u'/', u"Caf\u00e9 Lists"},
      {u"/a/b\\c", u'/', u"b\\c"},
      {u"C:\\Users\\Admin\\Lists", u'\\', u"Lists"},
      {u"C:\\Users\\Admin\\Lists\\\\", u'\\', u"Lists"},
      {u"C:\\", u'\\', u"C:"},
      {u"C:", u'\\', u"C:"},
      {u"\\\\server\\share\\Lists", u'\\', u"Lists"},
      {u"C:\\a/b", u'\\', u"a/b"},
  };
  for (const FolderCase& c : cases) {
    EXPECT_EQ(LastPathComponent(c.directory, c.separator), c.expected)
        << TextToUtf8(c.directory) << " with separator " << static_cast<char>(c.separator);
  }
}

TEST(LastPathComponent, ReadsAPathOfAnyLengthWhole) {
  Text deep;
  for (int i = 0; i < 400; ++i) deep += u"/folder" + Utf8ToText(std::to_string(i));
  Text last(300, u'n');
  EXPECT_EQ(LastPathComponent(deep + u"/" + last + u"/", u'/'), last);
}

TEST(JudgeAnswer, QuitWordsFirstThenTheExpectedPasswordExactly) {
  using enum PasswordVerdict;
  const struct {
    const char16_t* answer;
    const char16_t* expected;
    PasswordVerdict verdict;
  } cases[] = {
      {u"Quit", u"Lists", kQuit},       {u"quit", u"Lists", kQuit},
      {u"Exit", u"Lists", kQuit},       {u"exit", u"Lists", kQuit},
      {u"QUIT", u"Lists", kAskAgain},   {u"quit ", u"Lists", kAskAgain},
      {u"quit", u"quit", kQuit},        {u"QUIT", u"QUIT", kAccepted},
      {u"Lists", u"Lists", kAccepted},  {u"lists", u"Lists", kAskAgain},
      {u"Lists ", u"Lists", kAskAgain}, {u"", u"", kAskAgain},
      {u"/", u"", kAskAgain},           {u"exit", u"", kQuit},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeAnswer(c.answer, c.expected), c.verdict)
        << TextToUtf8(c.answer) << " against " << TextToUtf8(c.expected);
  }
}

TEST(ExpectedPassword, IsEmptyWhenTheDirectoryCannotBeRead) {
  EXPECT_EQ(ExpectedPassword(std::nullopt, u'/'), u"");
  EXPECT_EQ(ExpectedPassword(Text(u"/srv/Lists//"), u'/'), u"Lists");
}

}  // namespace
}  // namespace vw
