#include "ui/modal.h"

#include <algorithm>

#include "ui/dialog_state.h"

namespace vw {

Handle FindOwnerWindow() {
  Platform& platform = CurrentDialogs().platform;
  Handle foreground = platform.ForegroundWindow();
  if (foreground == 0) return 0;
  return platform.BelongsToThisProcess(foreground) ? foreground : 0;
}

void BeginModal() {
  DialogState& dialogs = CurrentDialogs();
  Platform& platform = dialogs.platform;
  std::uint32_t thread = platform.CurrentThreadId();
  Handle foreground = platform.ForegroundWindow();
  for (const TopLevelWindow& window : platform.TopLevelWindows()) {
    if (window.thread != thread || !window.visible) continue;
    ModalRecord record{thread, window.window, platform.IsTopmost(window.window), false};
    if (window.window != foreground && platform.IsEnabled(window.window)) {
      platform.SetEnabled(window.window, false);
      record.disabled_here = true;
    }
    dialogs.records.push_back(record);
  }
  for (const ModalRecord& record : dialogs.records) {
    if (record.thread == thread && record.was_topmost) platform.SetTopmost(record.window, false);
  }
}

void EndModal() {
  DialogState& dialogs = CurrentDialogs();
  Platform& platform = dialogs.platform;
  std::uint32_t thread = platform.CurrentThreadId();
  for (const ModalRecord& record : dialogs.records) {
    if (record.thread != thread) continue;
    if (record.disabled_here) platform.SetEnabled(record.window, true);
    if (record.was_topmost) platform.SetTopmost(record.window, true);
  }
  std::erase_if(dialogs.records, [thread](const ModalRecord& record) { return record.thread == thread; });
}

}  // namespace vw
