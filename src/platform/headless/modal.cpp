// The headless desktop's modal primitives: top-level windows, enabled, always on top, activation.
#include "platform/headless/headless_platform.h"

namespace vw {

std::vector<TopLevelWindow> HeadlessPlatform::TopLevelWindows() {
  std::vector<TopLevelWindow> result;
  for (Handle h : top_levels_) {
    const Object* o = Find(h);
    if (o != nullptr && !o->other_process) result.push_back({h, o->thread, o->visible});
  }
  return result;
}

bool HeadlessPlatform::BelongsToThisProcess(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && !o->other_process;
}

bool HeadlessPlatform::IsEnabled(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && o->enabled;
}

void HeadlessPlatform::SetEnabled(Handle window, bool enabled) {
  if (Object* o = Find(window)) o->enabled = enabled;
}

bool HeadlessPlatform::IsTopmost(Handle window) {
  const Object* o = Find(window);
  return o != nullptr && o->topmost;
}

void HeadlessPlatform::SetTopmost(Handle window, bool topmost) {
  if (Object* o = Find(window)) o->topmost = topmost;
}

void HeadlessPlatform::ActivateWindow(Handle window) {
  if (Find(window) != nullptr) Activate(window);
}

}  // namespace vw
