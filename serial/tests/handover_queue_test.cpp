// The hand-over queue: calls run on the owner's thread, in order, with errors passed back,
// and the owner can wait for a worker's end while running its calls, without deadlock.
#include "serial/handover_queue.h"

#include "tests/support/wait_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace serial {
namespace {

using namespace std::chrono_literals;

// Counts wake-ups and lets the test wait for them without sleeping.
class WakeCounter {
 public:
  explicit WakeCounter(HandOverQueue& queue) {
    queue.SetWakeUp([this] {
      std::lock_guard lock(mutex_);
      ++count_;
      cv_.notify_all();
    });
  }
  bool WaitFor(int n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 10s, [&] { return count_ >= n; });
  }
  int Count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_ = 0;
};

// For states the queue does not signal (a call queued behind one already waiting).
bool WaitUntilPending(const HandOverQueue& queue, std::size_t n) {
  return test_support::WaitFor([&] { return queue.PendingCount() >= n; });
}

TEST(HandOverQueue, CallRunsOnOwnerThreadAndWorkerSeesItsEffect) {
  HandOverQueue queue;
  WakeCounter wakes(queue);
  int value = 0;
  int seen_by_worker = 0;
  std::thread::id ran_on;
  HandOverThread worker(queue, [&] {
    queue.HandOver([&] {
      ran_on = std::this_thread::get_id();
      value = 42;
    });
    seen_by_worker = value;
  });
  ASSERT_TRUE(wakes.WaitFor(1));
  EXPECT_EQ(queue.RunPending(), 1u);
  worker.Join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());
  EXPECT_EQ(seen_by_worker, 42);
}

TEST(HandOverQueue, HandOverOnOwnerThreadRunsAtOnceWithoutWakeUp) {
  HandOverQueue queue;
  WakeCounter wakes(queue);
  bool ran = false;
  queue.HandOver([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(wakes.Count(), 0);
  EXPECT_EQ(queue.PendingCount(), 0u);
}

TEST(HandOverQueue, CallsFromSeveralWorkersRunOldestFirst) {
  HandOverQueue queue;
  std::vector<int> order;
  std::vector<std::unique_ptr<HandOverThread>> workers;
  for (int i = 0; i < 3; ++i) {
    workers.push_back(std::make_unique<HandOverThread>(
        queue, [&queue, &order, i] { queue.HandOver([&order, i] { order.push_back(i); }); }));
    ASSERT_TRUE(WaitUntilPending(queue, i + 1));
  }
  EXPECT_EQ(queue.RunPending(), 3u);
  for (auto& w : workers) w->Join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

struct CustomError {
  int code;
};

TEST(HandOverQueue, ErrorOfTheCallIsRethrownInTheWorker) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"runtime_error", [] { throw std::runtime_error("boom"); }, "runtime_error:boom"},
      {"logic_error", [] { throw std::logic_error("bad"); }, "logic_error:bad"},
      {"foreign type", [] { throw CustomError{7}; }, "custom:7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HandOverQueue queue;
    WakeCounter wakes(queue);
    std::string caught;
    HandOverThread worker(queue, [&] {
      try {
        queue.HandOver(c.raise);
      } catch (const std::runtime_error& e) {
        caught = std::string("runtime_error:") + e.what();
      } catch (const std::logic_error& e) {
        caught = std::string("logic_error:") + e.what();
      } catch (const CustomError& e) {
        caught = "custom:" + std::to_string(e.code);
      }
    });
    ASSERT_TRUE(wakes.WaitFor(1));
    EXPECT_NO_THROW(queue.RunPending());
    worker.Join();
    EXPECT_EQ(caught, c.expected);
  }
}

TEST(HandOverQueue, CallQueuedDuringARunWakesTheOwnerAgain) {
  HandOverQueue queue;
  WakeCounter wakes(queue);
  std::unique_ptr<HandOverThread> second;
  bool second_ran = false;
  HandOverThread first(queue, [&] {
    queue.HandOver([&] {
      second = std::make_unique<HandOverThread>(
          queue, [&] { queue.HandOver([&] { second_ran = true; }); });
      ASSERT_TRUE(WaitUntilPending(queue, 1));
    });
  });
  ASSERT_TRUE(wakes.WaitFor(1));
  EXPECT_EQ(queue.RunPending(), 1u);  // only what waited when the run began
  EXPECT_FALSE(second_ran);
  ASSERT_TRUE(wakes.WaitFor(2));
  EXPECT_EQ(queue.RunPending(), 1u);
  EXPECT_TRUE(second_ran);
  first.Join();
  second->Join();
}

// The owner's run that a wake-up posted finds the queue empty when a join ran the call
// first; it must still renew the wake-up, or the next call would wait unseen.
TEST(HandOverQueue, AWakeUpSpentOnACallAJoinRanIsRenewedByTheNextRun) {
  HandOverQueue queue;
  WakeCounter wakes(queue);
  {
    HandOverThread first(queue, [&] { queue.HandOver([] {}); });
    ASSERT_TRUE(wakes.WaitFor(1));
    first.Join();
  }
  EXPECT_EQ(queue.RunPending(), 0u);
  HandOverThread second(queue, [&] { queue.HandOver([] {}); });
  EXPECT_TRUE(wakes.WaitFor(2));
  second.Join();
}

TEST(HandOverQueue, WakeUpInstalledLateFiresForWaitingCallsAndRemovedOneIsSilent) {
  HandOverQueue queue;
  HandOverThread worker(queue, [&] { queue.HandOver([] {}); });
  ASSERT_TRUE(WaitUntilPending(queue, 1));
  {
    WakeCounter wakes(queue);
    EXPECT_EQ(wakes.Count(), 1);
    queue.SetWakeUp(nullptr);
  }
  HandOverThread other(queue, [&] { queue.HandOver([] {}); });
  ASSERT_TRUE(WaitUntilPending(queue, 2));
  EXPECT_EQ(queue.RunPending(), 2u);
  worker.Join();
  other.Join();
}

TEST(HandOverQueue, RunPendingRefusedOffTheOwnerThread) {
  HandOverQueue queue;
  std::thread other([&] { EXPECT_THROW(queue.RunPending(), std::logic_error); });
  other.join();
}

TEST(HandOverThread, JoinRunsPendingCallsInOrderUntilTheThreadEnds) {
  HandOverQueue queue;
  std::vector<int> order;
  bool ended_after_calls = false;
  HandOverThread worker(queue, [&] {
    for (int i = 0; i < 3; ++i) queue.HandOver([&order, i] { order.push_back(i); });
    ended_after_calls = true;
  });
  worker.Join();  // nothing else pumps the queue: Join has to
  EXPECT_FALSE(worker.Joinable());
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(ended_after_calls);
}

TEST(HandOverThread, JoinFromInsideItsOwnHandOverIsRefusedThenSucceeds) {
  HandOverQueue queue;
  HandOverThread* self = nullptr;
  bool refused = false;
  bool would_deadlock = false;
  HandOverThread worker(queue, [&] {
    queue.HandOver([&] {
      would_deadlock = self->JoinWouldDeadlock();
      try {
        self->Join();
      } catch (const EHandOverDeadlock&) {
        refused = true;
      }
    });
  });
  self = &worker;  // before the call can run: only this thread runs it
  EXPECT_FALSE(worker.JoinWouldDeadlock());
  worker.Join();
  EXPECT_TRUE(would_deadlock);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(worker.Joinable());
}

TEST(HandOverThread, JoinOnItsOwnThreadIsRefused) {
  HandOverQueue queue;
  std::promise<HandOverThread*> self;
  bool refused = false;
  HandOverThread worker(queue, [&, future = self.get_future().share()] {
    try {
      future.get()->Join();
    } catch (const EHandOverDeadlock&) {
      refused = true;
    }
  });
  self.set_value(&worker);
  worker.Join();
  EXPECT_TRUE(refused);
}

TEST(HandOverThread, JoinFromAnotherThreadWaitsWhileTheOwnerRunsTheCalls) {
  HandOverQueue queue;
  WakeCounter wakes(queue);
  std::thread::id ran_on;
  HandOverThread worker(queue, [&] { queue.HandOver([&] { ran_on = std::this_thread::get_id(); }); });
  std::thread joiner([&] { worker.Join(); });
  ASSERT_TRUE(wakes.WaitFor(1));
  EXPECT_EQ(queue.RunPending(), 1u);
  joiner.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());
  EXPECT_FALSE(worker.Joinable());
}

TEST(HandOverThread, JoiningOneWorkerFromAnothersCallRunsBoth) {
  // A notification of one port that closes another port.
  HandOverQueue queue;
  std::vector<std::string> log;
  HandOverThread second(queue, [&] { queue.HandOver([&] { log.push_back("second"); }); });
  ASSERT_TRUE(WaitUntilPending(queue, 1));
  HandOverThread first(queue, [&] {
    queue.HandOver([&] {
      log.push_back("first");
      second.Join();
      log.push_back("joined");
    });
  });
  ASSERT_TRUE(WaitUntilPending(queue, 2));
  queue.RunPending();
  first.Join();
  EXPECT_EQ(log, (std::vector<std::string>{"second", "first", "joined"}));
}

TEST(HandOverThread, ExceptionEscapingTheBodyEndsTheThreadQuietly) {
  HandOverQueue queue;
  HandOverThread worker(queue, [] { throw std::runtime_error("lost"); });
  EXPECT_NO_THROW(worker.Join());
  EXPECT_FALSE(worker.Joinable());
}

TEST(HandOverThread, ManyWorkersHandingOverKeepTheirOrderAndCounts) {
  constexpr int kWorkers = 8;
  constexpr int kCalls = 250;
  HandOverQueue queue;
  WakeCounter wakes(queue);
  std::vector<std::vector<int>> seen(kWorkers);  // touched only on the owner's thread
  std::vector<int> errors_caught(kWorkers, 0);   // each touched only by its worker
  std::vector<std::unique_ptr<HandOverThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.push_back(std::make_unique<HandOverThread>(queue, [&, w] {
      for (int i = 0; i < kCalls; ++i) {
        try {
          queue.HandOver([&, w, i] {
            seen[w].push_back(i);
            if (i % 10 == 0) throw std::runtime_error("every tenth");
          });
        } catch (const std::runtime_error&) {
          ++errors_caught[w];
        }
      }
    }));
  }
  // Some rounds the event loop's way (2000 blocking calls give far more than 20 wake-ups),
  // the rest while joining.
  for (int round = 1; round <= 20; ++round) {
    ASSERT_TRUE(wakes.WaitFor(round));
    queue.RunPending();
  }
  for (auto& w : workers) w->Join();
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_EQ(seen[w].size(), static_cast<std::size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(seen[w][i], i);
    EXPECT_EQ(errors_caught[w], kCalls / 10);
  }
}

}  // namespace
}  // namespace serial
