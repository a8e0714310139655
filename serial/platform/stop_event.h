#pragma once
// A manual-reset event, initially not signalled, that ends a pending WaitCommEvent.
namespace serial::platform {

class StopEvent {
 public:
  StopEvent();
  ~StopEvent();
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;

  // Signals the event; it stays signalled. Safe from any thread.
  void Set() noexcept;
  bool IsSet() const noexcept;
  // A descriptor that becomes readable once the event is set (for poll()).
  int WaitHandle() const noexcept;

 private:
  int fd_ = -1;
};

}  // namespace serial::platform
