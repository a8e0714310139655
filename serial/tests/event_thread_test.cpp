// The event thread and the notifications it drives, on the in-memory device: which events
// fire what, on which thread, and what Close and destruction deliver.
#include "serial/event_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/platform/fake/fake_platform.h"
#include "serial/tests/event_thread_on_device_cases.h"
#include "serial/tests/event_thread_test_support.h"

namespace serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing_support::Note;
using testing_support::Recorder;
using test_support::WaitFor;
using testing_support::Wakes;

constexpr std::uint32_t kRing = 0x0100;
constexpr std::uint32_t kChar = 0x0001;
constexpr std::uint32_t kFlag = 0x0002;
constexpr std::uint32_t kCTS = 0x0008;

// The fake as a line of the shared cases: each component gets a device of its own, events
// are queued by hand, and the fake counts the waits and knows when a device is gone.
struct FakeEventLine {
  static constexpr int kDestroyRounds = 100;
  std::shared_ptr<platform::fake::FakeState> state;

  std::unique_ptr<TXComm> NewComm() {
    auto platform = std::make_shared<platform::fake::FakePlatform>();
    state = platform->State();
    return std::make_unique<TXComm>(platform);
  }
  bool Open(TXComm& comm) { return comm.Open(); }
  void PeerSend(const Bytes& bytes) {
    state->Feed(bytes);
    state->QueueEvent(kChar);
  }
  void PeerBurst() {
    state->Feed(Bytes(4, 0));
    for (int i = 0; i < 50; ++i) state->QueueEvent(kChar | kCTS);
  }
  void HangUp() { state->HangUp(); }
  bool ThreadEnded() {  // the thread clears the mask as it ends
    return WaitFor([&] { return state->Mask() == 0; });
  }
  void ExpectEventWaits(std::size_t n) { EXPECT_EQ(state->CallCount("WaitCommEvent"), n); }
  void ExpectDeviceClosed() { EXPECT_FALSE(state->IsOpen()); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, EventThreadOnDevice, FakeEventLine);

class EventThreadTest : public ::testing::Test {
 protected:
  EventThreadTest() { recorder_.Listen(*comm_); }

  void OpenPort() {
    ASSERT_TRUE(comm_->Open());
    ASSERT_TRUE(comm_->IsOpen());
  }
  // One event handed over (Synchronize true) and run on this thread.
  void Deliver(std::uint32_t events, int nth = 1) {
    state_->QueueEvent(events);
    ASSERT_TRUE(wakes_->WaitFor(nth));
    ASSERT_EQ(comm_->HandOver().RunPending(), 1u);
  }
  bool ThreadEnded() {  // the thread clears the mask as it ends
    return WaitFor([&] { return state_->Mask() == 0; });
  }

  std::shared_ptr<platform::fake::FakePlatform> platform_ =
      std::make_shared<platform::fake::FakePlatform>();
  std::shared_ptr<platform::fake::FakeState> state_ = platform_->State();
  std::unique_ptr<TXComm> comm_ = std::make_unique<TXComm>(platform_);
  std::unique_ptr<Wakes> wakes_ = std::make_unique<Wakes>(comm_->HandOver());
  Recorder recorder_;
  const std::thread::id owner_ = std::this_thread::get_id();
};

TEST_F(EventThreadTest, OpenSetsTheMaskBeforeConfiguringAndCloseClearsItBeforeClosing) {
  OpenPort();
  comm_->Close();
  const auto names = state_->OwnerCallNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], "CreateFile");
  EXPECT_EQ(names[1], "SetCommMask");
  EXPECT_EQ(names.back(), "CloseHandle");
  EXPECT_EQ(names[names.size() - 2], "SetCommMask");
  EXPECT_EQ(state_->ArgsOf<std::uint32_t>("SetCommMask"),
            (std::vector<std::uint32_t>{TCommEventThread::kEventMask, 0}));
}

TEST_F(EventThreadTest, EventSetsFireTheRightNotificationsInOrder) {
  struct Case {
    const char* name;
    std::uint32_t events;
    TDeviceEvents monitor;
    std::vector<Note> expected;
  };
  const TDeviceEvents defaults{deChar, deFlag, deOutEmpty};
  const std::vector<Case> cases = {
      {"ring, default monitor", kRing, defaults, {}},
      {"char, monitor nothing", kChar, {}, {{"data", 5}}},
      {"char+CTS, monitor CTS", kChar | kCTS, {deCTS}, {{"data", 5}, {"event", kCTS}}},
      {"flag, default monitor", kFlag, defaults, {{"data", 5}, {"event", kFlag}}},
      {"bits above the low 16 only", 0x10000, defaults, {}},
      {"char with a high bit", 0x10000 | kChar, defaults, {{"data", 5}, {"event", kChar}}},
  };
  OpenPort();
  state_->Feed(Bytes(5, 0x55));
  int nth = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    comm_->SetMonitorEvents(c.monitor);
    const auto before = recorder_.Notes().size();
    Deliver(c.events, ++nth);
    const auto notes = recorder_.Notes();
    EXPECT_EQ(std::vector<Note>(notes.begin() + before, notes.end()), c.expected);
  }
  // An empty mask is not handed over: the thread waits again at once.
  const std::size_t waits = state_->CallCount("WaitCommEvent");
  state_->QueueEvent(0);
  ASSERT_TRUE(WaitFor([&] { return state_->CallCount("WaitCommEvent") > waits; }));
  EXPECT_EQ(wakes_->Count(), nth);
  EXPECT_EQ(comm_->HandOver().PendingCount(), 0u);
  EXPECT_EQ(recorder_.Count(), 7u);
}

TEST_F(EventThreadTest, DataCountIsWhatWaitsWhenTheNotificationRuns) {
  OpenPort();
  state_->Feed(Bytes(3, 1));
  state_->QueueEvent(kChar);
  ASSERT_TRUE(wakes_->WaitFor(1));
  state_->Feed(Bytes(2, 0));  // arrives before the owner's thread gets round to it
  comm_->HandOver().RunPending();
  ASSERT_FALSE(recorder_.Notes().empty());
  EXPECT_EQ(recorder_.Notes()[0], (Note{"data", 5}));
}

TEST_F(EventThreadTest, SynchronizeDecidesTheThreadAndIsReadForEveryEvent) {
  comm_->SetMonitorEvents({});
  comm_->SetOnData([this](TCustomComm& comm, std::uint32_t received) {
    recorder_.Add({"data", received, std::this_thread::get_id()});
    comm.SetSynchronize(false);  // from the next event on
  });
  OpenPort();
  Deliver(kChar);
  state_->QueueEvent(kChar);
  ASSERT_TRUE(recorder_.WaitFor(2));
  const auto notes = recorder_.Notes();
  EXPECT_EQ(notes[0].thread, owner_);
  EXPECT_NE(notes[1].thread, owner_);
  comm_->Close();
}

TEST_F(EventThreadTest, CloseDeliversAPendingHandOverAndNothingAfterwards) {
  bool open_inside = false;
  comm_->SetOnData([&](TCustomComm& comm, std::uint32_t) { open_inside = comm.IsOpen(); });
  OpenPort();
  state_->QueueEvent(kChar);
  ASSERT_TRUE(wakes_->WaitFor(1));  // handed over, not yet run
  comm_->Close();
  EXPECT_TRUE(open_inside);
  open_inside = false;
  state_->QueueEvent(kChar);
  EXPECT_EQ(comm_->HandOver().RunPending(), 0u);
  EXPECT_EQ(comm_->HandOver().PendingCount(), 0u);
  EXPECT_FALSE(open_inside);
}

TEST_F(EventThreadTest, OutEmptyRunsOnTheSendingThreadOnlyWhileOpen) {
  comm_->DispatchEvents(TDeviceEvents{deOutEmpty});  // closed: nothing
  EXPECT_TRUE(recorder_.Notes().empty());
  OpenPort();
  EXPECT_TRUE(comm_->SendString(Bytes{1, 2, 3}));
  std::thread sender([&] { comm_->SendString(Bytes{4}); });
  const auto sender_id = sender.get_id();
  sender.join();
  const auto notes = recorder_.Notes();  // no hand-over run: both came synchronously
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0], (Note{"event", 1u << deOutEmpty}));
  EXPECT_EQ(notes[0].thread, owner_);
  EXPECT_EQ(notes[1].thread, sender_id);
  comm_->Close();
  comm_->DispatchEvents(TDeviceEvents{deOutEmpty});
  EXPECT_EQ(recorder_.Notes().size(), 2u);
}

TEST_F(EventThreadTest, ComponentBeingDestroyedDispatchesNothing) {
  OpenPort();
  state_->QueueEvent(kChar);
  ASSERT_TRUE(wakes_->WaitFor(1));
  wakes_.reset();  // the queue goes with the component
  comm_.reset();  // runs the pending hand-over, which must deliver nothing
  EXPECT_TRUE(recorder_.Notes().empty());
  EXPECT_FALSE(state_->IsOpen());
}

TEST_F(EventThreadTest, CloseFromInsideAHandedOverNotificationIsRefused) {
  std::string refusal;
  comm_->SetOnData([&](TCustomComm& comm, std::uint32_t received) {
    recorder_.Add({"data", received, std::this_thread::get_id()});
    try {
      comm.Close();
    } catch (const EHandOverDeadlock& e) {
      refusal = e.what();
    }
  });
  comm_->SetMonitorEvents({});
  OpenPort();
  Deliver(kChar);
  EXPECT_NE(refusal.find("notification"), std::string::npos) << refusal;
  EXPECT_TRUE(comm_->IsOpen());
  Deliver(kChar, 2);  // the thread still delivers
  EXPECT_EQ(recorder_.Notes().size(), 2u);
  comm_->Close();
  EXPECT_FALSE(comm_->IsOpen());
}

TEST_F(EventThreadTest, CloseFromANotificationOnTheEventThreadIsRefused) {
  comm_->SetSynchronize(false);
  std::string refusal;
  comm_->SetOnData([&](TCustomComm& comm, std::uint32_t received) {
    try {
      comm.Close();
    } catch (const EHandOverDeadlock& e) {
      refusal = e.what();
    }
    recorder_.Add({"data", received, std::this_thread::get_id()});
  });
  OpenPort();
  state_->QueueEvent(kChar);
  ASSERT_TRUE(recorder_.WaitFor(1));
  EXPECT_FALSE(refusal.empty());
  comm_->Close();
}

TEST_F(EventThreadTest, ErrorFromAHandlerEndsTheThreadQuietly) {
  for (bool synchronize : {true, false}) {
    SCOPED_TRACE(synchronize ? "handed over" : "on the event thread");
    comm_->SetSynchronize(synchronize);
    int calls = 0;
    comm_->SetOnData([&](TCustomComm&, std::uint32_t) {
      ++calls;
      throw std::runtime_error("handler failed");
    });
    OpenPort();
    state_->QueueEvent(kChar);
    if (synchronize) {
      ASSERT_TRUE(WaitFor([&] { return comm_->HandOver().PendingCount() == 1; }));
      EXPECT_NO_THROW(comm_->HandOver().RunPending());
    }
    ASSERT_TRUE(ThreadEnded());
    state_->QueueEvent(kChar);
    EXPECT_EQ(comm_->HandOver().RunPending(), 0u);
    EXPECT_TRUE(comm_->IsOpen());
    EXPECT_NO_THROW(comm_->Close());
    EXPECT_EQ(calls, 1);
  }
}

// A driver that keeps completing its waits with an empty mask (after removal or resume):
// nothing is handed over, and after the second empty completion in a row each wait is
// preceded by a look at the device and a pause, which a stop ends at once.
TEST_F(EventThreadTest, EmptyMasksHandNothingOverAndRepeatedOnesAreCheckedWithoutSpinning) {
  OpenPort();
  state_->ClearCalls();
  state_->RepeatEvent(0);
  ASSERT_TRUE(WaitFor([&] { return state_->CallCount("ClearCommError") >= 3; }));
  const std::size_t waits = state_->CallCount("WaitCommEvent");
  EXPECT_LE(waits, state_->CallCount("ClearCommError") + 2);
  EXPECT_EQ(wakes_->Count(), 0);
  EXPECT_EQ(comm_->HandOver().PendingCount(), 0u);
  EXPECT_EQ(comm_->EventWaitFailure(), std::nullopt) << "the device still answers";
  comm_->Close();
  EXPECT_EQ(comm_->EventWaitFailure(), std::nullopt);
}

// The thread ends once, as a failed wait, keeping the system's reason: a wait that fails,
// or a device that fails its query after repeated empty completions.
TEST_F(EventThreadTest, AFailedWaitOrDeviceQueryEndsTheThreadWithItsReasonKept) {
  constexpr int kBadCommand = 22, kAborted = 995;
  for (const char* failing : {"WaitCommEvent", "ClearCommError"}) {
    SCOPED_TRACE(failing);
    OpenPort();
    EXPECT_EQ(comm_->EventWaitFailure(), std::nullopt);
    const int code = std::string(failing) == "WaitCommEvent" ? kAborted : kBadCommand;
    state_->FailCall(failing, code);
    state_->RepeatEvent(0);
    ASSERT_TRUE(ThreadEnded());
    EXPECT_EQ(comm_->EventWaitFailure(), code);
    const std::size_t waits = state_->CallCount("WaitCommEvent");
    EXPECT_EQ(wakes_->Count(), 0);
    comm_->Close();
    EXPECT_EQ(state_->CallCount("WaitCommEvent"), waits) << "no wait after the failure";
    state_->ClearFailure(failing);
    state_->RepeatEvent(std::nullopt);
  }
}

TEST_F(EventThreadTest, FailedConfigurationLeavesTheThreadWatching) {
  state_->FailCall("SetCommState");
  EXPECT_THROW(comm_->Open(), EDeviceError);
  ASSERT_TRUE(comm_->IsOpen());
  state_->Feed(Bytes{7});
  Deliver(kChar);
  EXPECT_EQ(recorder_.Notes().at(0), (Note{"data", 1}));
  comm_->Close();
}

TEST_F(EventThreadTest, ReopeningStartsAFreshThread) {
  comm_->SetMonitorEvents({});
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    OpenPort();
    Deliver(kChar, round);
    comm_->Close();
  }
  EXPECT_EQ(recorder_.Notes().size(), 3u);
}

// A derived component whose overridden operation is still running on the event thread
// (Synchronize false) when destruction begins: it holds on until the stop event is set,
// then uses the derived part. The thread must end before that part goes; a component
// cannot be made in a way that destroys it first.
class HoldingComm : public TCustomComm {
 public:
  using TCustomComm::TCustomComm;
  ~HoldingComm() override { alive_ = false; }

  std::shared_ptr<platform::fake::FakeState> state;
  std::atomic<bool> entered = false;
  std::atomic<int>* whole_at_end = nullptr;  // the handler's verdict, kept by the test

 protected:
  void DoCommEvent(TDeviceEvents events) override {
    entered = true;
    EXPECT_TRUE(state->WaitForStops(1, 10s));
    for (int i = 0; i < 100; ++i) seen_.push_back(events.bits());
    TCustomComm::DoCommEvent(events);  // a virtual call on to DoData
    if (alive_ && seen_.size() == 100) ++*whole_at_end;
  }

 private:
  bool alive_ = true;
  std::vector<std::uint16_t> seen_;
};

static_assert(!std::is_constructible_v<HoldingComm, std::shared_ptr<platform::Platform>>,
              "a derived component is made only complete");

TEST(EventThreadDestruction, DerivedPartOutlivesAHandlerRunningDuringDestruction) {
  auto platform = std::make_shared<platform::fake::FakePlatform>();
  auto comm = std::make_unique<TCompleteComm<HoldingComm>>(platform);
  std::atomic<int> whole_at_end = 0;
  std::atomic<int> data = 0;
  comm->state = platform->State();
  comm->whole_at_end = &whole_at_end;
  comm->SetSynchronize(false);
  comm->SetOnData([&](TCustomComm&, std::uint32_t) { ++data; });
  ASSERT_TRUE(comm->Open());
  platform->State()->QueueEvent(kChar);
  ASSERT_TRUE(WaitFor([&] { return comm->entered.load(); }));
  comm.reset();
  EXPECT_EQ(data.load(), 1);
  EXPECT_EQ(whole_at_end.load(), 1);
}

}  // namespace
}  // namespace serial
