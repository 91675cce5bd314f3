// The one place that picks the back end; the build decides which one is compiled in.
#include <memory>

#include "app/program.h"
#if defined(VW_GUI_qt)
#include "platform/qt/qt_platform.h"
#elif defined(VW_GUI_win32)
#include "platform/win32/win32_platform.h"
#endif

int main(int argc, char** argv) {
#if defined(VW_GUI_qt)
  std::unique_ptr<vw::Platform> platform = vw::MakeQtPlatform(argc, argv);
#elif defined(VW_GUI_win32)
  (void)argc;
  (void)argv;
  std::unique_ptr<vw::Platform> platform = vw::MakeWin32Platform();
#endif
  int exit_code = vw::RunProgram(*platform);
  platform.reset();  // releases the toolkit before the process ends
  return exit_code;
}
