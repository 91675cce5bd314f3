#include "ui/dialogs.h"

#include "platform/platform.h"
#include "ui/box_text.h"
#include "ui/dialog_state.h"
#include "ui/modal.h"

namespace vw {
namespace {

// Closing: the owner is enabled before the prompt window goes, so the platform hands the activation back
// to it.
void ClosePrompt(DialogState& dialogs) {
  PromptState& prompt = dialogs.prompt;
  if (prompt.closed) return;
  if (prompt.owner_disabled_here) dialogs.platform.SetEnabled(prompt.owner, true);
  EndModal();
  dialogs.platform.DestroyPromptWindow(prompt.window);
  prompt.closed = true;
}

class PromptReactions final : public PromptHandler {
 public:
  explicit PromptReactions(DialogState& dialogs) : dialogs_(dialogs) {}

  void PromptCommand(int command) override {
    if (command == kPromptOk) {
      dialogs_.prompt.result = dialogs_.platform.PromptFieldText(dialogs_.prompt.window);
      ClosePrompt(dialogs_);
    } else if (command == kPromptCancel) {
      ClosePrompt(dialogs_);
    }
  }
  void PromptCloseRequested() override { ClosePrompt(dialogs_); }
  void PromptActivated() override {
    if (!dialogs_.prompt.closed) dialogs_.platform.FocusPromptField(dialogs_.prompt.window);
  }

 private:
  DialogState& dialogs_;
};

// After a message box closed, the activation goes back to its owner, as the desktop does when an owned window
// closes: only when the owner is still there, enabled and visible, and the user did not move to another
// window meanwhile (the foreground is none, the box having taken it along, or the owner already).
void HandActivationBack(Platform& platform, Handle owner) {
  if (owner == 0 || !platform.BelongsToThisProcess(owner) || !platform.IsEnabled(owner)) return;
  Handle foreground = platform.ForegroundWindow();
  if (foreground != 0 && foreground != owner) return;
  for (const TopLevelWindow& window : platform.TopLevelWindows()) {
    if (window.window == owner && window.visible) {
      platform.ActivateWindow(owner);
      return;
    }
  }
}

}  // namespace

std::int64_t ShowMessage(const Text& title, const Text& text) {
  Platform& platform = CurrentDialogs().platform;
  Handle owner = FindOwnerWindow();
  BeginModal();
  int result = platform.MessageBox(owner, title, BoxShownText(text));
  if (result != 0) HandActivationBack(platform, owner);
  EndModal();
  return result;
}

Text InputRequester(const Text& title, const Text& prompt, const Text& default_text, std::int64_t flags) {
  DialogState& dialogs = CurrentDialogs();
  Platform& platform = dialogs.platform;
  if (dialogs.prompt_font == 0) {
    dialogs.prompt_font = platform.MessageFont();
    if (dialogs.prompt_font == 0) dialogs.prompt_font = platform.DefaultGuiFont();
  }

  PromptState& state = dialogs.prompt;
  state.closed = false;
  state.result.reset();
  state.owner = FindOwnerWindow();
  BeginModal();
  state.owner_disabled_here = false;
  if (state.owner != 0 && platform.IsEnabled(state.owner)) {
    platform.SetEnabled(state.owner, false);
    state.owner_disabled_here = true;
  }

  PromptWindowSpec request{
      title, prompt, default_text, (flags & kMaskedEntry) != 0, state.owner, dialogs.prompt_font};
  state.window = platform.CreatePromptWindow(request);
  if (state.window == 0) {
    if (state.owner_disabled_here) platform.SetEnabled(state.owner, true);
    EndModal();
    state.closed = true;
    return {};
  }

  PromptReactions reactions(dialogs);
  while (!state.closed) {
    if (!platform.PumpPromptMessage(state.window, reactions)) {
      // A quit message: close as a cancel would, so every window is given back as it was.
      ClosePrompt(dialogs);
    }
  }
  return state.result.value_or(Text{});
}

}  // namespace vw
