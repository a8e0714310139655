#pragma once
// A thread that blocks in the driver's wait for a modem-line change and says so each time
// the wait returns, so that a port whose lines keep still never wakes anyone. A UART
// driver counts line changes only while its modem-status interrupts are on, and its wait
// turns them on; a later settings change may turn them off again, so the waiter is sent
// back into the wait after every one (Kick).
//
// The driver's wait ends only on a change or a signal. One real-time signal of the process
// gets a handler that does nothing and does not restart the call; Kick and stopping send
// it to the thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace serial::platform::posix {

// Installs the do-nothing handler on `signal` unless another handler (or SIG_IGN) is
// there: true when the signal is ours, also when it was already.
bool ClaimInterruptSignal(int signal);

// The signal the watchers of this process use, claimed once; -1 when it was taken, in
// which case there are no watchers and the lines are sampled.
int WatcherSignal();

class LineWatcher {
 public:
  // Blocks until a watched line changes: 0 then, the errno otherwise (EINTR for the signal).
  using BlockingWait = std::function<int()>;

  // Starts the thread; null when `signal` is -1 or no thread can be made. After each
  // return of `wait` other than for the signal the eventfd `wake` is signalled (it is
  // duplicated, so it may be closed before the watcher ends).
  static std::unique_ptr<LineWatcher> Start(BlockingWait wait, int wake,
                                            int signal = WatcherSignal());
  // Stops the thread: resends the signal until the thread has ended, bounded.
  ~LineWatcher();
  LineWatcher(const LineWatcher&) = delete;
  LineWatcher& operator=(const LineWatcher&) = delete;

  // Leaves the wait and enters it again.
  void Kick();
  // How often the wait returned for a change (or ended); moves before the wake-up.
  std::uint64_t Returns() const;
  // False once the wait failed: a driver without it answers ENOTTY or EINVAL at once, a
  // removed adapter EIO. The thread has then ended; Error tells why.
  bool Waiting() const;
  int Error() const;

  struct State;  // shared with the thread, which may outlive a watcher it did not stop for

 private:
  LineWatcher(std::shared_ptr<State> state, int signal);

  std::shared_ptr<State> state_;
  const int signal_;
  std::thread thread_;
};

}  // namespace serial::platform::posix
