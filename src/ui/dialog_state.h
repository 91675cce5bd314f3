// What the dialogs keep between calls: the modal records, the prompt font and the one prompt's state.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

namespace vw {

// One window that BeginModal has taken in hand.
struct ModalRecord {
  std::uint32_t thread = 0;
  Handle window = 0;
  bool was_topmost = false;
  bool disabled_here = false;
};

// There is one prompt for the process; at most one is open at a time.
struct PromptState {
  Handle window = 0;
  Handle owner = 0;
  bool owner_disabled_here = false;
  std::optional<Text> result;
  bool closed = true;
};

struct DialogState {
  explicit DialogState(Platform& p) : platform(p) {}
  Platform& platform;
  std::vector<ModalRecord> records;
  Handle prompt_font = 0;  // made the first time a prompt opens, kept for the rest of the run
  PromptState prompt;
};

// The dialog state of the run in progress.
DialogState& CurrentDialogs();

}  // namespace vw
