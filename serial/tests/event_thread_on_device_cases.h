#pragma once
// The event thread's behaviour that holds on every device, as one body per case run over
// each device the tests can make: instantiate EventThreadOnDevice with a line type that
// provides
//   NewComm()               a closed component on the device (unique_ptr<TXComm>)
//   Open(comm)              opens it; false when that failed
//   PeerSend(bytes)         bytes arrive and the device signals them
//   PeerBurst()             a run of arrivals, called on a thread of its own
//   HangUp()                the far end goes away
//   ThreadEnded()           until every thread the last Open started has ended
//   ExpectEventWaits(n)     the event waits made, where the device can tell (the fake counts)
//   ExpectDeviceClosed()    the device was let go, where the device can tell
//   kDestroyRounds          how many components the destruction case makes per mode
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/tests/event_thread_test_support.h"

namespace serial {

template <class Line>
class EventThreadOnDevice : public ::testing::Test {
 protected:
  // A component whose notifications are recorded and whose hand-overs are counted; the
  // recorder outlives the component, the wake-up counter goes before it.
  struct Watched {
    testing_support::Recorder recorder;
    std::unique_ptr<TXComm> comm;
    std::optional<testing_support::Wakes> wakes;

    Watched(std::unique_ptr<TXComm> made, bool synchronize) : comm(std::move(made)) {
      comm->SetSynchronize(synchronize);
      recorder.Listen(*comm);
      wakes.emplace(comm->HandOver());
    }
    // Runs the one hand-over the device's signal makes.
    void Pump() {
      ASSERT_TRUE(wakes->WaitFor(1));
      comm->HandOver().RunPending();
    }
  };
};

TYPED_TEST_SUITE_P(EventThreadOnDevice);

TYPED_TEST_P(EventThreadOnDevice, ArrivingBytesFireOnDataOnTheThreadSynchronizeChooses) {
  for (bool synchronize : {true, false}) {
    SCOPED_TRACE(synchronize ? "handed over" : "on the event thread");
    TypeParam line;
    typename TestFixture::Watched w(line.NewComm(), synchronize);
    w.comm->SetMonitorEvents({});
    ASSERT_TRUE(line.Open(*w.comm));
    line.PeerSend({1, 2, 3});
    if (synchronize) {
      ASSERT_TRUE(w.wakes->WaitFor(1));
      EXPECT_EQ(w.recorder.Count(), 0u) << "a handed-over notification ran before it was pumped";
      w.comm->HandOver().RunPending();
    } else {
      ASSERT_TRUE(w.recorder.WaitFor(1));
      EXPECT_EQ(w.comm->HandOver().PendingCount(), 0u);
    }
    const auto notes = w.recorder.Notes();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].what, "data");
    EXPECT_GE(notes[0].value, 1u);
    EXPECT_EQ(notes[0].thread == std::this_thread::get_id(), synchronize);
    w.comm->Close();
  }
}

TYPED_TEST_P(EventThreadOnDevice, HangUpEndsTheThreadQuietlyWithoutSpinning) {
  for (bool data_first : {false, true}) {
    SCOPED_TRACE(data_first ? "after a notification" : "before any byte");
    TypeParam line;
    typename TestFixture::Watched w(line.NewComm(), true);
    ASSERT_TRUE(line.Open(*w.comm));
    if (data_first) {
      line.PeerSend({1});
      w.Pump();
      ASSERT_GE(w.recorder.Count(), 1u);
    }
    const auto notes = w.recorder.Count();
    line.HangUp();
    ASSERT_TRUE(line.ThreadEnded());
    EXPECT_NE(w.comm->EventWaitFailure().value_or(0), 0) << "the hang-up's reason is kept";
    line.ExpectEventWaits(data_first ? 2 : 1);
    EXPECT_EQ(w.comm->HandOver().RunPending(), 0u);
    EXPECT_EQ(w.recorder.Count(), notes);
    EXPECT_TRUE(w.comm->IsOpen());
    EXPECT_NO_THROW(w.comm->Close());
    EXPECT_FALSE(w.comm->IsOpen());
  }
}

// Half the rounds run the hand-overs first, the others destroy the component with some
// still waiting; a handler reads through the component, as handlers may.
TYPED_TEST_P(EventThreadOnDevice, DestroyingTheComponentWhileBytesArriveIsSafe) {
  TypeParam line;
  for (bool synchronize : {false, true}) {
    SCOPED_TRACE(synchronize ? "handed over" : "on the event thread");
    for (int round = 0; round < TypeParam::kDestroyRounds; ++round) {
      std::atomic<int> notes = 0;
      auto comm = line.NewComm();
      comm->SetSynchronize(synchronize);
      comm->SetMonitorEvents({deChar, deCTS});
      comm->SetOnData([&](TCustomComm& c, std::uint32_t) {
        ++notes;
        std::vector<std::uint8_t> drained;
        c.ReadString(drained);
      });
      comm->SetOnCommEvent([&](TCustomComm&, TDeviceEvents) { ++notes; });
      ASSERT_TRUE(line.Open(*comm));
      std::thread peer([&] { line.PeerBurst(); });
      if (round % 2 == 0) comm->HandOver().RunPending();
      comm.reset();
      const int after = notes.load();
      peer.join();
      EXPECT_EQ(notes.load(), after) << "a notification after destruction";
      line.ExpectDeviceClosed();
    }
  }
}

REGISTER_TYPED_TEST_SUITE_P(EventThreadOnDevice,
                            ArrivingBytesFireOnDataOnTheThreadSynchronizeChooses,
                            HangUpEndsTheThreadQuietlyWithoutSpinning,
                            DestroyingTheComponentWhileBytesArriveIsSafe);

}  // namespace serial
