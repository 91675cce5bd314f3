// The Win32 back end, for the entry procedure: no Windows header here.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace vw {

// Loads the rich-edit library and sets up the hidden window that carries posted events. Use it on the thread
// that runs the program; the platform and every window it creates belong to that thread.
std::unique_ptr<Platform> MakeWin32Platform();

}  // namespace vw
