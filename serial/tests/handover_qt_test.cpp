// The hand-over queue driven by Qt's event loop through the window's adapter (QtCore only;
// built with the window, since the port component itself has no Qt).
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/qt_handover.h"
#include "serial/handover_queue.h"

namespace {

using serial::HandOverQueue;
using serial::HandOverThread;

class QtHandOverTest : public ::testing::Test {
 protected:
  char name_[16] = "handover_qt";
  char* argv_[2] = {name_, nullptr};
  int argc_ = 1;
  QCoreApplication app_{argc_, argv_};
};

TEST_F(QtHandOverTest, EventLoopRunsHandedOverCallsOnItsThread) {
  HandOverQueue queue;
  QtHandOver adapter(queue);
  QEventLoop loop;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  HandOverThread worker(queue, [&] {
    for (int i = 0; i < 3; ++i) {
      queue.HandOver([&, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
    queue.HandOver([&] { loop.quit(); });
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a lost wake-up fails, not hangs
  loop.exec();
  worker.Join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(QtHandOverTest, JoinRunsOnlyHandOverCallsNotOtherEvents) {
  HandOverQueue queue;
  QtHandOver adapter(queue);
  bool timer_ran = false;
  bool posted_ran = false;
  bool call_ran = false;
  QTimer::singleShot(0, &app_, [&] { timer_ran = true; });
  QMetaObject::invokeMethod(&app_, [&] { posted_ran = true; }, Qt::QueuedConnection);
  HandOverThread worker(queue, [&] { queue.HandOver([&] { call_ran = true; }); });
  worker.Join();
  EXPECT_TRUE(call_ran);
  EXPECT_FALSE(timer_ran);
  EXPECT_FALSE(posted_ran);
  QCoreApplication::processEvents();  // the adapter's own invocation now finds nothing
  EXPECT_TRUE(posted_ran);
}

TEST_F(QtHandOverTest, DestroyedAdapterIsNoLongerWoken) {
  HandOverQueue queue;
  { QtHandOver adapter(queue); }
  HandOverThread worker(queue, [&] { queue.HandOver([] {}); });
  worker.Join();  // a wake-up into the freed adapter would fault here (ASan)
  QCoreApplication::processEvents();
  EXPECT_EQ(queue.PendingCount(), 0u);
}

TEST_F(QtHandOverTest, AdapterRefusedOffTheOwnerThread) {
  HandOverQueue queue;
  std::thread other([&] { EXPECT_THROW(QtHandOver adapter(queue), std::logic_error); });
  other.join();
}

}  // namespace
