#include "ui/event_queue.h"

namespace vw {

EventQueue::EventQueue(Platform& platform) : platform_(platform) {
  platform_.SetSink(this);
}

EventQueue::~EventQueue() {
  platform_.SetSink(nullptr);
}

void EventQueue::Push(const Event& event) {
  if (!queue_.empty() && queue_.back() == event) return;
  queue_.push_back(event);
}

void EventQueue::ControlNotice(Handle control, Handle window, Notice notice) {
  if (program_changes_ > 0 || !reporting_.contains(control)) return;
  Push({GadgetEvent, control, window, static_cast<int>(notice)});
}

void EventQueue::CloseRequested(Handle window) {
  Push({CloseWindowEvent, 0, window, 0});
}

void EventQueue::PostedArrived(std::int64_t code) {
  Push({code, 0, 0, 0});
}

std::int64_t EventQueue::Wait() {
  if (queue_.empty()) {
    platform_.WaitAndHandleMessage();
    source_ = 0;
    return NativeMessageEvent;
  }
  Event event = queue_.front();
  queue_.pop_front();
  source_ = event.source;
  return event.code;
}

}  // namespace vw
