#pragma once
// The event descriptor of the POSIX side, and waiting on descriptors. A Wakeup is an
// eventfd that Signal makes readable and Drain makes quiet again. A signal given between a
// waiter's check of its condition and its poll() keeps the descriptor readable, so no
// wake-up is lost; one that is never drained stays readable, as a manual-reset event.
#include <chrono>
#include <initializer_list>

#include "serial/platform/posix/unique_fd.h"

namespace serial::platform {

class Wakeup {
 public:
  Wakeup();  // throws std::system_error when the system has no descriptor left

  void Signal() noexcept;
  void Drain() noexcept;
  bool IsSignalled() const noexcept;
  int Handle() const noexcept { return fd_.Get(); }

 private:
  posix::UniqueFd fd_;
};

struct Watch {
  int fd;        // a negative descriptor is left out
  short events;  // POLLIN, POLLOUT
};
struct Ready {
  int index = -1;    // the first ready descriptor, -1 on time-out
  short revents = 0; // what poll() reported for it (POLLHUP and POLLERR included)
};

// Waits until one of the watched descriptors is ready, at most max; a negative max waits
// without limit. Restarts after signals, so it never returns early without a reason.
Ready WaitReady(std::initializer_list<Watch> watches, std::chrono::milliseconds max);

// WaitReady for reading on every fd; returns the index, or -1 on time-out.
int WaitReadable(std::initializer_list<int> fds, std::chrono::milliseconds max);

}  // namespace serial::platform
