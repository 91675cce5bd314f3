// The program's event queue: what WaitEvent returns, in the order things happened.
#pragma once

#include <cstdint>
#include <deque>
#include <unordered_set>

#include "platform/platform.h"

namespace vw {

inline constexpr std::int64_t GadgetEvent = 13100;
inline constexpr std::int64_t CloseWindowEvent = 13116;
// What WaitEvent returns for a native message that was handled without queuing an event of its own.
inline constexpr std::int64_t NativeMessageEvent = 0;

struct Event {
  std::int64_t code = 0;
  Handle source = 0;
  Handle window = 0;
  int subkind = 0;
  friend bool operator==(const Event&, const Event&) = default;
};

// First in, first out. An event equal to the last one still waiting is not queued twice. Only the controls
// the program made (Report) raise events: what a back end reports of anything else, such as the prompt's own
// field, is dropped. While the program itself changes a control (ProgramChange alive), what the control
// reports is dropped too. Posted events travel
// through the native queue and are queued when a message loop, any loop, handles them.
class EventQueue final : public EventSink {
 public:
  explicit EventQueue(Platform& platform);
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  void ControlNotice(Handle control, Handle window, Notice notice) override;
  void CloseRequested(Handle window) override;
  void PostedArrived(std::int64_t code) override;

  // Pops the oldest event; when none waits, blocks for one native message, handles it and returns
  // NativeMessageEvent (what it queued comes with the following calls).
  std::int64_t Wait();
  Handle Source() const { return source_; }
  void Report(Handle control) { reporting_.insert(control); }
  bool Post(std::int64_t code) { return platform_.PostToSelf(code); }
  std::size_t Waiting() const { return queue_.size(); }

  class ProgramChange {
   public:
    explicit ProgramChange(EventQueue& queue) : queue_(queue) { ++queue_.program_changes_; }
    ~ProgramChange() { --queue_.program_changes_; }
    ProgramChange(const ProgramChange&) = delete;
    ProgramChange& operator=(const ProgramChange&) = delete;

   private:
    EventQueue& queue_;
  };

 private:
  void Push(const Event& event);

  Platform& platform_;
  std::deque<Event> queue_;
  std::unordered_set<Handle> reporting_;
  Handle source_ = 0;
  int program_changes_ = 0;
};

}  // namespace vw
