// The password rule: which answer the prompt expects, and what an answer does.
#pragma once

#include <optional>

#include "common/text.h"

namespace vw {

// The last component of a working directory, trailing separators ignored; empty when there is none.
Text LastPathComponent(const Text& directory, char16_t separator);

// The expected password: the name of the working directory's innermost folder. Empty when the directory
// cannot be read (nullopt) or has no last component; then no answer is the password.
Text ExpectedPassword(const std::optional<Text>& directory, char16_t separator);

enum class PasswordVerdict {
  kQuit,      // "Quit", "quit", "Exit" or "exit", exactly; checked first, so it wins over a folder so named
  kAccepted,  // the expected password, exactly (never when the expected password is empty)
  kAskAgain,  // anything else, the empty answer of a closed prompt included
};

PasswordVerdict JudgeAnswer(const Text& answer, const Text& expected);

}  // namespace vw
