#include "serial/platform/posix/line_watcher.h"

#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "serial/platform/posix/unique_fd.h"

namespace serial::platform::posix {
namespace {

// Long enough for a thread that the scheduler keeps away on a loaded machine; the signal
// is sent again at every step, as one that arrives just before the thread enters the
// wait is spent without ending it.
constexpr std::chrono::milliseconds kStopBound{2000};
constexpr std::chrono::milliseconds kResendStep{5};

void Interrupted(int) {}

void SignalWake(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
}

}  // namespace

struct LineWatcher::State {
  BlockingWait wait;
  UniqueFd wake;
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> returns{0};
  std::atomic<int> error{0};
  std::mutex mutex;
  std::condition_variable ended_changed;
  bool ended = false;
};

namespace {

void Run(const std::shared_ptr<LineWatcher::State>& s, int signal) {
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, signal);
  pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
  while (!s->stop.load()) {
    const int result = s->wait();
    if (s->stop.load()) break;
    if (result == EINTR) continue;  // a kick: enter again
    if (result != 0) s->error.store(result);
    s->returns.fetch_add(1);
    SignalWake(s->wake.Get());
    if (result != 0) break;
  }
  std::lock_guard lock(s->mutex);
  s->ended = true;
  s->ended_changed.notify_all();
}

}  // namespace

bool ClaimInterruptSignal(int signal) {
  static std::mutex claiming;
  std::lock_guard lock(claiming);
  struct sigaction old{};
  if (::sigaction(signal, nullptr, &old) != 0) return false;
  const bool plain = (old.sa_flags & SA_SIGINFO) == 0;
  if (plain && old.sa_handler == Interrupted) return true;
  if (!plain || old.sa_handler != SIG_DFL) return false;
  struct sigaction own{};
  own.sa_handler = Interrupted;
  sigemptyset(&own.sa_mask);
  own.sa_flags = 0;  // no SA_RESTART: the interrupted wait returns EINTR
  return ::sigaction(signal, &own, nullptr) == 0;
}

int WatcherSignal() {
  static const int claimed = [] {
    const int signal = SIGRTMIN + 6;
    return ClaimInterruptSignal(signal) ? signal : -1;
  }();
  return claimed;
}

std::unique_ptr<LineWatcher> LineWatcher::Start(BlockingWait wait, int wake, int signal) {
  if (signal < 0) return nullptr;
  auto state = std::make_shared<State>();
  state->wait = std::move(wait);
  state->wake = UniqueFd(::fcntl(wake, F_DUPFD_CLOEXEC, 0));
  if (!state->wake.Valid()) return nullptr;
  try {
    return std::unique_ptr<LineWatcher>(new LineWatcher(std::move(state), signal));
  } catch (const std::system_error&) {
    return nullptr;  // no thread left: the lines are sampled instead
  }
}

LineWatcher::LineWatcher(std::shared_ptr<State> state, int signal)
    : state_(std::move(state)), signal_(signal), thread_(Run, state_, signal) {}

LineWatcher::~LineWatcher() {
  state_->stop.store(true);
  const auto deadline = std::chrono::steady_clock::now() + kStopBound;
  std::unique_lock lock(state_->mutex);
  while (!state_->ended) {
    if (std::chrono::steady_clock::now() >= deadline) {
      // The thread holds only the shared state: it may end after us.
      lock.unlock();
      thread_.detach();
      return;
    }
    ::pthread_kill(thread_.native_handle(), signal_);
    state_->ended_changed.wait_for(lock, kResendStep, [&] { return state_->ended; });
  }
  lock.unlock();
  thread_.join();
}

// A thread that has ended but is not joined may still be sent a signal.
void LineWatcher::Kick() { ::pthread_kill(thread_.native_handle(), signal_); }

std::uint64_t LineWatcher::Returns() const { return state_->returns.load(); }

bool LineWatcher::Waiting() const { return state_->error.load() == 0; }

int LineWatcher::Error() const { return state_->error.load(); }

}  // namespace serial::platform::posix
