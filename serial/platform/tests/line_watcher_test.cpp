// The line watcher's thread and its signal, with a pipe read standing in for the driver's
// wait: the signal interrupts a blocked read() as it does the driver's wait, and a byte
// written to the pipe is a line change.
#include "serial/platform/posix/line_watcher.h"
#include "serial/platform/posix/bounded_close.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "serial/platform/posix/unique_fd.h"
#include "serial/platform/posix/wakeup.h"
#include "tests/support/wait_for.h"

namespace serial::platform::posix {
namespace {

using std::chrono::milliseconds;

class PipeLine {
 public:
  PipeLine() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    read_end_ = UniqueFd(fds[0]);
    write_end_ = UniqueFd(fds[1]);
  }

  LineWatcher::BlockingWait Wait() {
    return [this] { return Block(); };
  }
  void Change() { EXPECT_EQ(::write(write_end_.Get(), "c", 1), 1); }

  // Blocks until the wait was entered `n` times, `kick` between looks; false at the deadline.
  template <class Kick>
  bool Entered(int n, Kick kick) {
    return test_support::WaitFor([&] { return Count().first >= n; }, [&](milliseconds left) {
      kick();
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, std::min(left, milliseconds(5)));
    });
  }
  bool Entered(int n) {
    return Entered(n, [] {});
  }
  std::pair<int, int> Count() {  // entered, left
    std::lock_guard lock(mutex_);
    return {entered_, left_};
  }

 private:
  int Block() {
    Bump(entered_);
    char byte = 0;
    const ssize_t n = ::read(read_end_.Get(), &byte, 1);
    const int result = n == 1 ? 0 : errno;
    Bump(left_);
    return result;
  }
  void Bump(int& count) {
    std::lock_guard lock(mutex_);
    ++count;
    changed_.notify_all();
  }

  UniqueFd read_end_, write_end_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int entered_ = 0, left_ = 0;
};

TEST(LineWatcher, EachChangeWakesOnceAndTheWaitIsEnteredAgain) {
  PipeLine line;
  Wakeup wake;
  auto watcher = LineWatcher::Start(line.Wait(), wake.Handle());
  ASSERT_NE(watcher, nullptr);
  ASSERT_TRUE(line.Entered(1));
  EXPECT_FALSE(wake.IsSignalled());
  for (int change = 1; change <= 2; ++change) {
    line.Change();
    ASSERT_EQ(WaitReadable({wake.Handle()}, test_support::kDeadline), 0);
    wake.Drain();
    ASSERT_TRUE(line.Entered(change + 1));
    EXPECT_EQ(watcher->Returns(), static_cast<std::uint64_t>(change));
    EXPECT_FALSE(wake.IsSignalled());
  }
  EXPECT_TRUE(watcher->Waiting());
}

// A kick ends the wait without a wake-up; stopping ends a wait that is blocked (the
// thread is joined, not left behind: its wait has returned).
TEST(LineWatcher, AKickReentersAndStoppingEndsABlockedWait) {
  PipeLine line;
  Wakeup wake;
  auto watcher = LineWatcher::Start(line.Wait(), wake.Handle());
  ASSERT_NE(watcher, nullptr);
  ASSERT_TRUE(line.Entered(1));
  // A signal that comes just before the thread blocks is spent; the caller kicks again.
  ASSERT_TRUE(line.Entered(2, [&] { watcher->Kick(); }));
  EXPECT_EQ(watcher->Returns(), 0u);
  EXPECT_FALSE(wake.IsSignalled());
  ASSERT_TRUE(line.Entered(3, [&] { watcher->Kick(); }));
  watcher.reset();
  const auto [entered, left] = line.Count();
  EXPECT_EQ(left, entered);
  EXPECT_FALSE(wake.IsSignalled());
}

TEST(LineWatcher, AWaitTheDriverLacksEndsTheThreadWithItsError) {
  Wakeup wake;
  auto watcher = LineWatcher::Start([] { return ENOTTY; }, wake.Handle());
  ASSERT_NE(watcher, nullptr);
  ASSERT_EQ(WaitReadable({wake.Handle()}, test_support::kDeadline), 0);
  EXPECT_FALSE(watcher->Waiting());
  EXPECT_EQ(watcher->Error(), ENOTTY);
  EXPECT_EQ(watcher->Returns(), 1u);
}

// A close that the driver would hold for its closing wait (the pipe read stands in for it)
// keeps its caller only for the bound: the signal ends the wait on the closing thread.
TEST(BoundedClose, ACloseHeldInTheKernelReturnsSoonAfterTheBound) {
  PipeLine line;
  const auto wait = line.Wait();
  int result = 0;
  const auto start = std::chrono::steady_clock::now();
  RunWithin([&] { result = wait(); }, milliseconds(100), WatcherSignal());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result, EINTR);
  EXPECT_EQ(line.Count().second, line.Count().first) << "the held call did not end";
  EXPECT_GE(took, milliseconds(100));
  EXPECT_LT(took, milliseconds(1000)) << "held for the closing wait";
}

void OtherHandler(int) {}

// A signal someone else handles or ignores is left alone; then there is no watcher.
TEST(LineWatcher, OnlyASignalWithoutAHandlerIsClaimed) {
  EXPECT_GE(WatcherSignal(), SIGRTMIN);
  EXPECT_TRUE(ClaimInterruptSignal(WatcherSignal()));  // already ours
  for (const auto handler : {&OtherHandler, SIG_IGN}) {
    const int busy = SIGRTMIN + 8;
    struct sigaction other{}, before{};
    other.sa_handler = handler;
    ASSERT_EQ(::sigaction(busy, &other, &before), 0);
    EXPECT_FALSE(ClaimInterruptSignal(busy));
    ::sigaction(busy, &before, nullptr);
  }
  Wakeup wake;
  EXPECT_EQ(LineWatcher::Start([] { return 0; }, wake.Handle(), -1), nullptr);
}

}  // namespace
}  // namespace serial::platform::posix
