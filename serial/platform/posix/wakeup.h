#pragma once
// A wake-up signal for a thread blocked in poll(): an eventfd that Signal makes readable
// and Drain makes quiet again. A signal given between a waiter's check of its condition
// and its poll() keeps the descriptor readable, so no wake-up is lost.
#include <chrono>
#include <initializer_list>

namespace serial::platform {

class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  void Signal() noexcept;
  void Drain() noexcept;
  int Handle() const noexcept { return fd_; }

 private:
  int fd_ = -1;
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
