#pragma once
// A manual-reset event, initially not signalled, that ends a pending WaitCommEvent. The
// platform makes it (Platform::CreateStopEvent) out of whatever its waits can block on
// together with a device: an event descriptor, an event handle, a flag of the fake. A
// device's wait takes only events of its own platform.
namespace serial::platform {

class StopEvent {
 public:
  virtual ~StopEvent() = default;
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;

  // Signals the event; it stays signalled. Safe from any thread.
  virtual void Set() noexcept = 0;
  virtual bool IsSet() const noexcept = 0;

 protected:
  StopEvent() = default;
};

}  // namespace serial::platform
