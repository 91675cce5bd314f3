#include "gate/admin_password.h"

#include "app/program_state.h"
#include "trust/os_file.h"
#include "ui/dialogs.h"

namespace vw {
namespace {

struct Split {
  Text trimmed;                // the directory without its trailing separators
  std::int64_t lastSeparator;  // 1-based; 0 when there is none
  std::int64_t searchStart;
  std::int64_t searchResult;
};

Split SplitDirectory(Text directory, char16_t separator) {
  // The query's result always ends in a separator; then every separator at the end goes.
  if (directory.empty() || directory.back() != separator) directory += separator;
  while (!directory.empty() && directory.back() == separator) directory.pop_back();
  Split split{std::move(directory), 0, 1, 0};
  const Text pattern(1, separator);
  for (;;) {
    split.searchResult = FindText(split.trimmed, pattern, split.searchStart, FindMode::kIgnoreCase);
    if (split.searchResult == 0) break;
    split.lastSeparator = split.searchResult;
    split.searchStart = split.searchResult + 1;
  }
  return split;
}

}  // namespace

Text LastPathComponent(const Text& directory, char16_t separator) {
  Split split = SplitDirectory(directory, separator);
  return split.trimmed.substr(static_cast<std::size_t>(split.lastSeparator));
}

void AskAdminPassword() {
  ProgramState& s = State();
  s.SearchStart = 1;
  std::optional<Text> directory = s.toolkit.platform.WorkingDirectory();
  bool known = false;
  if (directory.has_value()) {
    Split split = SplitDirectory(*directory, kPathSeparator);
    s.WorkingDirectoryText = split.trimmed;
    s.TextLength = static_cast<std::int64_t>(split.trimmed.size());
    s.LastSeparator = split.lastSeparator;
    s.SearchStart = split.searchStart;
    s.SearchResult = split.searchResult;
    s.ExpectedPassword = split.trimmed.substr(static_cast<std::size_t>(s.LastSeparator));
    // Fail closed: an empty expected password would let an empty answer (or a closed prompt) in.
    known = !s.ExpectedPassword.empty();
  }

  for (;;) {
    s.PasswordAnswer = InputRequester(kPasswordTitle, kPasswordPrompt, u"", 0);
    if (TextEquals(s.PasswordAnswer, u"Quit") || TextEquals(s.PasswordAnswer, u"quit")) {
      s.QuitRequested = 1;
      return;
    }
    if (TextEquals(s.PasswordAnswer, u"Exit") || TextEquals(s.PasswordAnswer, u"exit")) {
      s.QuitRequested = 1;
      return;
    }
    if (known && TextEquals(s.PasswordAnswer, s.ExpectedPassword)) {
      s.PasswordAccepted = 1;
      return;
    }
  }
}

}  // namespace vw
