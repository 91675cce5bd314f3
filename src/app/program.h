// The entry procedure: start-up, the event loop and shut-down.
#pragma once

#include "platform/platform.h"

namespace vw {

// Runs the whole program on `platform` with a fresh program-wide state; returns the exit code, always 0.
int RunProgram(Platform& platform);

}  // namespace vw
