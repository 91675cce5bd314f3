// The program's two modal dialogs: a titled message with one OK button, and a one-line input prompt.
#pragma once

#include <cstdint>

#include "common/text.h"

namespace vw {

// Bit 0 of InputRequester's flags: every typed character is shown as the password character.
inline constexpr std::int64_t kMaskedEntry = 1;

// Shows the message (its long lines laid out by BoxShownText) and waits until the user closes it. 1 (OK) once
// closed, 0 when the box failed to open.
std::int64_t ShowMessage(const Text& title, const Text& text);

// Asks for one line of text. The confirmed text (OK button or Enter), exactly as typed; the empty text when
// the prompt is cancelled (Escape, close box) or cannot be created. A cancelled prompt never returns the
// default text.
Text InputRequester(const Text& title, const Text& prompt, const Text& default_text, std::int64_t flags = 0);

}  // namespace vw
