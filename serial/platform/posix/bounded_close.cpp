#include "serial/platform/posix/bounded_close.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "serial/platform/posix/line_watcher.h"

namespace serial::platform::posix {
namespace {

// As for the line watcher: a signal that comes just before the thread enters the driver's
// wait is spent without ending it, so it is sent again at every step, for a bounded time.
constexpr std::chrono::milliseconds kInterruptBound{2000};
constexpr std::chrono::milliseconds kResendStep{5};

struct Closing {
  std::mutex mutex;
  std::condition_variable ended_changed;
  bool ended = false;
};

}  // namespace

void RunWithin(std::function<void()> close_call, std::chrono::milliseconds bound, int signal) {
  if (signal < 0) {
    close_call();
    return;
  }
  auto state = std::make_shared<Closing>();
  std::thread thread;
  try {
    thread = std::thread([state, signal, call = close_call] {
      sigset_t own;
      sigemptyset(&own);
      sigaddset(&own, signal);
      pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
      call();
      std::lock_guard lock(state->mutex);
      state->ended = true;
      state->ended_changed.notify_all();
    });
  } catch (const std::system_error&) {
    close_call();
    return;
  }
  std::unique_lock lock(state->mutex);
  const auto ended = [&] { return state->ended; };
  if (!state->ended_changed.wait_for(lock, bound, ended)) {
    const auto deadline = std::chrono::steady_clock::now() + kInterruptBound;
    while (!state->ended && std::chrono::steady_clock::now() < deadline) {
      ::pthread_kill(thread.native_handle(), signal);
      state->ended_changed.wait_for(lock, kResendStep, ended);
    }
  }
  const bool done = state->ended;
  lock.unlock();
  if (done) {
    thread.join();
  } else {
    thread.detach();  // it holds only the shared state and the descriptor it closes
  }
}

void CloseWithin(int fd, std::chrono::milliseconds bound) {
  RunWithin([fd] { ::close(fd); }, bound, WatcherSignal());
}

}  // namespace serial::platform::posix
