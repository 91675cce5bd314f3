// Drives a back end the way a user would, so one contract suite runs on every back end. Each back end's test
// executable provides MakeDriver().
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace vw::testing {

enum class Key {
  kTab,
  kShiftTab,
  kEnter,
  kEscape,
  kSpace,
  kBackspace,
  kSelectAllDelete,  // Ctrl+A then Delete
  kUndo,             // Ctrl+Z
};

struct ShownMessageBox {
  Handle window = 0;
  Text title;
  Text text;
  int button_count = 0;  // buttons the box shows
  bool has_icon = false;
};

class Driver {
 public:
  virtual ~Driver() = default;
  virtual Platform& platform() = 0;
  virtual std::string name() const = 0;

  // --- Input, performed at once through the platform's real input path (mouse click, keys, close box). Input
  // aimed at a disabled window has no effect, as on the real desktop.
  virtual void Click(Handle control) = 0;                   // mouse click: presses a button, focuses an edit
  virtual void Type(Handle control, const Text& text) = 0;  // click into it, then type at the end of its text
  virtual void PressKey(Key key) = 0;                       // to the control that has the focus
  virtual void CloseBox(Handle window) = 0;                 // the window's close box
  virtual void SwitchAwayAndBack(Handle window) = 0;  // another program gets activated, then this window
  virtual void ProcessPending() = 0;  // handle whatever native messages are waiting, no blocking

  // --- What is on the screen.
  virtual Handle Focused() = 0;                // the control with the keyboard focus, or 0
  virtual Rect OuterRect(Handle window) = 0;   // screen coordinates, frame included
  virtual Rect ClientRect(Handle window) = 0;  // screen coordinates of the client area
  virtual Rect ChildRect(Handle control) = 0;  // relative to its parent's client (inner) area
  virtual Rect Screen() = 0;                   // the primary screen
  virtual bool Exists(Handle window) = 0;
  virtual bool IsVisible(Handle window) = 0;
  virtual Handle PromptField(Handle prompt) = 0;
  virtual Handle PromptOkButton(Handle prompt) = 0;
  virtual Handle PromptLabel(Handle prompt) = 0;
  virtual bool PromptLabelWraps(
      Handle prompt) = 0;  // true when the label would wrap its text onto more lines
  virtual bool IsMasked(Handle field) = 0;
  virtual Handle FontOf(Handle control) = 0;        // the font object the control uses, comparable by value
  virtual ShownMessageBox CurrentMessageBox() = 0;  // the message box open now (window 0 when none)
  virtual void DismissMessageBox() = 0;             // presses its OK button

  // --- Scheduling: `step` runs the next time the program waits for input (in WaitAndHandleMessage, or inside
  // a message box's or the prompt's loop). Steps run in order, one per wait.
  virtual void WhenWaiting(std::function<void()> step) = 0;
  virtual bool StepsLeft() = 0;
};

std::unique_ptr<Driver> MakeDriver();

}  // namespace vw::testing
