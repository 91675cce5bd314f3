// The administrator password prompt shown before the lists are loaded.
#pragma once

namespace vw {

inline constexpr char16_t kPasswordTitle[] = u"Please Enter Password (Case Sensitive)";
inline constexpr char16_t kPasswordPrompt[] = u"Please Enter Password , or 'Quit' or 'Exit')";

// Asks until the answer is a quit word (QuitRequested) or the expected password (PasswordAccepted). The
// expected password is the name of the working directory's innermost folder, worked out once. When the
// working directory cannot be read, or has no last component, no answer is the password.
void AskAdminPassword();

}  // namespace vw
