// The Qt 6 Widgets back end (Linux). This header stays free of Qt, so the entry procedure can pick the back
// end without seeing the toolkit.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace vw {

// Creates the QApplication (when none exists yet) and the platform over it. `argc` and `argv` must outlive
// the platform, as Qt keeps them.
std::unique_ptr<Platform> MakeQtPlatform(int& argc, char** argv);

}  // namespace vw
