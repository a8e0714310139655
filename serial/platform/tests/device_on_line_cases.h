#pragma once
// The device interface's behaviour that holds on every device, one body per case run over
// each device the tests can make: instantiate DeviceOnLine with a line type that provides
//   std::shared_ptr<Platform> platform      the platform that opened the device
//   std::unique_ptr<SerialDevice> device    the device, open
//   OpenAgain()                             opens the same device once more
//   PeerWrite(bytes)                        the far end sends; the device signals EV_RXCHAR
//   WaitQueued(n)                           until the device holds n received bytes
// and DeviceOnLineHangUp with one that also provides
//   HangUp()                                the far end goes away
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "serial/platform/serial_device.h"
#include "serial/platform/tests/device_steps.h"
#include "serial/tests/wait_queued.h"
#include "tests/support/thread_asleep.h"
#include "tests/support/wait_for.h"

namespace serial::platform {

// A wait for events on its own thread, as the component's event thread makes it; cpu, when
// given, is the waiting thread's own clock, and cpu_seconds what the wait spent of it.
struct PendingWait {
  const std::unique_ptr<StopEvent> stop_event;
  StopEvent& stop = *stop_event;
  std::uint32_t mask = 0;
  double cpu_seconds = 0;
  std::future<WaitOutcome> outcome;
  test_support::SleepProbe waiting;

  PendingWait(Platform& platform, SerialDevice& device, double (*cpu)() = nullptr)
      : stop_event(platform.CreateStopEvent()) {
    outcome = std::async(std::launch::async, [this, &device, cpu] {
      const double start = cpu ? cpu() : 0;
      waiting.Enter();
      const WaitOutcome result = device.WaitCommEvent(mask, stop).outcome;
      if (cpu) cpu_seconds = cpu() - start;
      return result;
    });
  }
  ~PendingWait() {
    stop.Set();
    if (outcome.valid()) outcome.wait();
  }
  PendingWait(const PendingWait&) = delete;
  PendingWait& operator=(const PendingWait&) = delete;

  // The wait has gone to sleep (or ended), and has not ended d later.
  bool Blocked(std::chrono::milliseconds d = std::chrono::milliseconds(100)) {
    const bool asleep = test_support::WaitFor([&] {
      return waiting.Asleep() || outcome.wait_for(d.zero()) == std::future_status::ready;
    });
    EXPECT_TRUE(asleep) << "the waiting thread never went to sleep";
    return outcome.wait_for(d) == std::future_status::timeout;
  }
  WaitOutcome Get() {
    EXPECT_EQ(outcome.wait_for(test_support::kDeadline), std::future_status::ready);
    return outcome.get();
  }
};

// A wait blocked on the event thread ends as expected when act(line, stop) runs on
// another thread.
template <class Line, class Act>
void ExpectPendingWaitEnds(WaitOutcome expected, Act&& act) {
  Line line;
  ASSERT_TRUE(line.device->SetCommMask(0x1FFB).Ok());
  PendingWait wait(*line.platform, *line.device);
  EXPECT_TRUE(wait.Blocked());
  act(line, wait.stop);
  EXPECT_EQ(wait.Get(), expected);
}

template <class Line>
class DeviceOnLine : public ::testing::Test {};

TYPED_TEST_SUITE_P(DeviceOnLine);

// The second opening is refused and leaves the first one working.
TYPED_TEST_P(DeviceOnLine, OpensExclusivelyAndAgainAfterClose) {
  TypeParam line;
  const OpenResult again = line.OpenAgain();
  EXPECT_EQ(again.device, nullptr);
  EXPECT_EQ(again.error.code, EBUSY);
  line.PeerWrite({0x42});
  EXPECT_TRUE(line.WaitQueued(1));
  line.device.reset();
  EXPECT_NE(line.OpenAgain().device, nullptr);
}

// A wait blocked on the event thread ends when another thread sets the stop event, clears
// the mask or the peer sends (or, in DeviceOnLineHangUp, hangs up).
TYPED_TEST_P(DeviceOnLine, PendingWaitEndsFromAnotherThread) {
  struct Case {
    const char* what;
    WaitOutcome expected;
    void (*act)(TypeParam&, StopEvent&);
  };
  const Case cases[] = {
      {"stop", WaitOutcome::Stopped, [](TypeParam&, StopEvent& s) { s.Set(); }},
      {"mask 0", WaitOutcome::Stopped,
       [](TypeParam& l, StopEvent&) { ASSERT_TRUE(l.device->SetCommMask(0).Ok()); }},
      {"arrival", WaitOutcome::Events, [](TypeParam& l, StopEvent&) { l.PeerWrite({0x41}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectPendingWaitEnds<TypeParam>(c.expected, c.act);
  }
}

REGISTER_TYPED_TEST_SUITE_P(DeviceOnLine, OpensExclusivelyAndAgainAfterClose,
                            PendingWaitEndsFromAnotherThread);

template <class Line>
class DeviceOnLineHangUp : public ::testing::Test {};

TYPED_TEST_SUITE_P(DeviceOnLineHangUp);

TYPED_TEST_P(DeviceOnLineHangUp, PendingWaitFailsWhenThePeerHangsUp) {
  ExpectPendingWaitEnds<TypeParam>(WaitOutcome::Failed,
                                   [](TypeParam& l, StopEvent&) { l.HangUp(); });
}

// After a hang-up every wait fails at once, the bytes received before it can still be
// read, and then reads and writes fail.
TYPED_TEST_P(DeviceOnLineHangUp, HangUpFailsWritesAndWaitsButKeepsReceivedBytes) {
  TypeParam line;
  ASSERT_TRUE(line.device->SetCommMask(EV_RXCHAR).Ok());
  line.PeerWrite({1, 0, 2});
  ASSERT_TRUE(line.WaitQueued(3));
  {
    PendingWait wait(*line.platform, *line.device);  // the arrival's event
    ASSERT_EQ(wait.Get(), WaitOutcome::Events);
  }
  line.HangUp();
  for (int wait_again = 0; wait_again < 2; ++wait_again) {
    PendingWait wait(*line.platform, *line.device);
    EXPECT_EQ(wait.Get(), WaitOutcome::Failed);
  }
  EXPECT_EQ(InQueue(*line.device, false), 3u);
  EXPECT_EQ(ReadAll(*line.device, 3), (std::vector<std::uint8_t>{1, 0, 2}));
  std::uint8_t byte = 0;
  EXPECT_EQ(line.device->ReadChunk(&byte, 1).error.code, EIO);
  const IoResult w = line.device->WriteChunk(&byte, 1, std::chrono::milliseconds(1000));
  EXPECT_EQ(w.error.code, EIO);
  EXPECT_EQ(w.bytes, 0u);
}

REGISTER_TYPED_TEST_SUITE_P(DeviceOnLineHangUp, PendingWaitFailsWhenThePeerHangsUp,
                            HangUpFailsWritesAndWaitsButKeepsReceivedBytes);

}  // namespace serial::platform
