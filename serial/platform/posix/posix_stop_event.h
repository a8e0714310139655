#pragma once
// The stop event of the POSIX platform: a Wakeup that is never drained, so that once set
// it stays readable for every poll() that watches it. Whether it is set is also kept in
// memory, so that a loop that asks before each wait makes no system call to learn it.
#include <atomic>

#include "serial/platform/posix/wakeup.h"
#include "serial/platform/stop_event.h"

namespace serial::platform::posix {

class PosixStopEvent final : public StopEvent {
 public:
  void Set() noexcept override {
    set_.store(true);
    wake_.Signal();
  }
  bool IsSet() const noexcept override { return set_.load(); }
  int Handle() const noexcept { return wake_.Handle(); }

  // The descriptor of an event this platform made; std::invalid_argument for another's.
  static int HandleOf(const StopEvent& event);

 private:
  std::atomic<bool> set_ = false;
  Wakeup wake_;
};

}  // namespace serial::platform::posix
