#include "rules/password_rule.h"

namespace vw {

Text LastPathComponent(const Text& directory, char16_t separator) {
  TextView trimmed(directory);
  while (!trimmed.empty() && trimmed.back() == separator) trimmed.remove_suffix(1);
  const std::size_t last = trimmed.rfind(separator);
  return Text(last == TextView::npos ? trimmed : trimmed.substr(last + 1));
}

Text ExpectedPassword(const std::optional<Text>& directory, char16_t separator) {
  // Fail closed: an empty expected password would let an empty answer (or a closed prompt) in; JudgeAnswer
  // never accepts it.
  return directory.has_value() ? LastPathComponent(*directory, separator) : Text{};
}

PasswordVerdict JudgeAnswer(const Text& answer, const Text& expected) {
  if (TextEquals(answer, u"Quit") || TextEquals(answer, u"quit")) return PasswordVerdict::kQuit;
  if (TextEquals(answer, u"Exit") || TextEquals(answer, u"exit")) return PasswordVerdict::kQuit;
  if (!expected.empty() && TextEquals(answer, expected)) return PasswordVerdict::kAccepted;
  return PasswordVerdict::kAskAgain;
}

}  // namespace vw
