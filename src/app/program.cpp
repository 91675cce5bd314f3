#include "app/program.h"

#include <cassert>
#include <csignal>

#include "app/link_check.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "app/trust_lists.h"
#include "ui/controls.h"

namespace vw {
namespace {
ProgramState* current_state = nullptr;
}  // namespace

ProgramScope::ProgramScope(Platform& platform) : state_(platform), outer_(current_state) {
  current_state = &state_;
}

ProgramScope::~ProgramScope() {
  current_state = outer_;
}

ProgramState& State() {
  assert(current_state != nullptr && "no program run in progress");
  return *current_state;
}

int RunProgram(Platform& platform) {
#ifdef SIGXFSZ
  // A write beyond the file-size limit then fails like one on a full disk (and is reported as one) instead
  // of ending the program with every unsaved edit.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  ProgramScope run(platform);
  ProgramState& state = run.state();

  OpenMainWindow(0, 0, 580, 718);

  // Only presses of the two buttons do anything; the loop ends with the first CloseWindowEvent.
  do {
    state.CurrentEvent = WaitEvent();
    if (state.CurrentEvent == GadgetEvent) {
      Handle source = EventSource();
      if (source == state.TestLinkButton) {
        state.LinkUnderTest = GetText(state.LinkField);
        CheckLinkInSites();
      } else if (source == state.SaveAllButton) {
        SaveSafeSites();
        SaveSafeLinks();
      }
    }
  } while (state.CurrentEvent != CloseWindowEvent);

  // The window, its controls and the lists are not freed one by one: the back end's end and the end of the
  // process take them.
  return state.ExitCode;
}

}  // namespace vw
