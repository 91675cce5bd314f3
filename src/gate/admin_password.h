// The administrator password prompt shown before the lists are loaded.
#pragma once

#include "common/text.h"

namespace vw {

inline constexpr char16_t kPasswordTitle[] = u"Please Enter Password (Case Sensitive)";
inline constexpr char16_t kPasswordPrompt[] = u"Please Enter Password , or 'Quit' or 'Exit')";

// The last component of a working directory, trailing separators ignored; empty when there is none.
Text LastPathComponent(const Text& directory, char16_t separator);

// Asks until the answer is a quit word (QuitRequested = 1) or the expected password (PasswordAccepted = 1).
// The expected password is the name of the working directory's innermost folder, worked out once. When the
// working directory cannot be read, or has no last component, no answer is the password.
void AskAdminPassword();

}  // namespace vw
