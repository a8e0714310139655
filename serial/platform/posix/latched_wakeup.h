#pragma once
// A Wakeup whose state is also kept beside it, under the lock that every user of it holds:
// a second signal before the waiter drains, and a drain of a quiet descriptor, then cost no
// system call. Only for a descriptor that nothing else signals or drains.
#include "serial/platform/posix/wakeup.h"

namespace serial::platform::posix {

class LatchedWakeup {
 public:
  void Signal() noexcept {
    if (signalled_) return;
    wake_.Signal();
    signalled_ = true;
  }
  void Drain() noexcept {
    if (!signalled_) return;
    wake_.Drain();
    signalled_ = false;
  }
  int Handle() const noexcept { return wake_.Handle(); }

 private:
  Wakeup wake_;
  bool signalled_ = false;
};

}  // namespace serial::platform::posix
