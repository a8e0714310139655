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

// Waits until one of fds is readable (or hung up), at most max; a negative max waits
// without limit. Returns the index of the first ready descriptor, or -1 on time-out.
// Restarts after signals, so it never returns early without a reason.
int WaitReadable(std::initializer_list<int> fds, std::chrono::milliseconds max);

}  // namespace serial::platform
