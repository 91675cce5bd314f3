#include "app/admin_password.h"

#include "app/program_state.h"
#include "files/os_file.h"
#include "rules/password_rule.h"
#include "ui/dialogs.h"

namespace vw {

void AskAdminPassword() {
  ProgramState& s = State();
  s.ExpectedPassword = ExpectedPassword(WorkingDirectory(), kPathSeparator);
  for (;;) {
    s.PasswordAnswer = InputRequester(kPasswordTitle, kPasswordPrompt, u"", 0);
    switch (JudgeAnswer(s.PasswordAnswer, s.ExpectedPassword)) {
      case PasswordVerdict::kQuit:
        s.QuitRequested = true;
        return;
      case PasswordVerdict::kAccepted:
        s.PasswordAccepted = true;
        return;
      case PasswordVerdict::kAskAgain:
        break;
    }
  }
}

}  // namespace vw
