// Keeping the user away from the program's other windows while a dialog is open, and giving them back
// exactly as they were (enabled or not, always-on-top or not).
#pragma once

#include "platform/platform.h"

namespace vw {

// The foreground window when it belongs to this process, else none.
Handle FindOwnerWindow();
// Takes every visible top-level window of the calling thread in hand: records it, disables it unless it is
// the foreground window (the dialog disables its owner itself), and takes away always-on-top.
void BeginModal();
// Gives back what BeginModal took from the calling thread's windows and forgets those records.
void EndModal();

}  // namespace vw
