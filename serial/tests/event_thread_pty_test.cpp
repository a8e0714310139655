// The event thread on real terminal devices: pseudo-terminals, with the test as the peer.
#include <unistd.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/event_thread_test_support.h"

namespace serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using platform::testing::PtyPair;
using testing_support::Recorder;
using test_support::WaitFor;
using testing_support::Wakes;

// Whether a thread of this process still exists.
bool ThreadExists(pid_t tid) {
  return std::filesystem::exists("/proc/self/task/" + std::to_string(tid));
}

struct PtyPort {
  PtyPair pty;
  std::unique_ptr<TXComm> comm = std::make_unique<TXComm>();
  Recorder recorder;

  explicit PtyPort(bool synchronize) {
    comm->SetDeviceName(pty.SlavePath());
    comm->SetSynchronize(synchronize);
    comm->SetMonitorEvents({});
    recorder.Listen(*comm);
  }
};

TEST(EventThreadPty, ArrivingBytesFireOnDataOnTheOwnersThreadWithSynchronize) {
  PtyPort p(true);
  Wakes wakes(p.comm->HandOver());
  ASSERT_TRUE(p.comm->Open());
  ASSERT_TRUE(p.pty.Write({1, 2, 3}));
  ASSERT_TRUE(wakes.WaitFor(1));
  EXPECT_EQ(p.recorder.Count(), 0u) << "a handed-over notification ran before it was pumped";
  p.comm->HandOver().RunPending();
  const auto notes = p.recorder.Notes();
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes[0].what, "data");
  EXPECT_GE(notes[0].value, 1u);
  EXPECT_EQ(notes[0].thread, std::this_thread::get_id());
  p.comm->Close();
}

TEST(EventThreadPty, ArrivingBytesFireOnDataOnTheEventThreadWithoutSynchronize) {
  PtyPort p(false);
  ASSERT_TRUE(p.comm->Open());
  ASSERT_TRUE(p.pty.Write({1, 2, 3}));
  ASSERT_TRUE(p.recorder.WaitFor(1));
  const auto note = p.recorder.Notes()[0];
  EXPECT_EQ(note.what, "data");
  EXPECT_NE(note.thread, std::this_thread::get_id());
  EXPECT_EQ(p.comm->HandOver().PendingCount(), 0u);
  p.comm->Close();
}

TEST(EventThreadPty, HangUpEndsTheThreadQuietly) {
  PtyPort p(false);
  std::atomic<pid_t> event_thread = 0;
  std::atomic<int> notes = 0;
  p.comm->SetOnData([&](TCustomComm&, std::uint32_t) {
    event_thread = ::gettid();
    ++notes;
  });
  ASSERT_TRUE(p.comm->Open());
  ASSERT_TRUE(p.pty.Write({1}));
  ASSERT_TRUE(WaitFor([&] { return event_thread != 0; }));
  const int before = notes;
  p.pty.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return !ThreadExists(event_thread); }));
  EXPECT_EQ(notes, before);
  EXPECT_TRUE(p.comm->IsOpen());
  EXPECT_NO_THROW(p.comm->Close());
}

// Runs hand-overs as the event loop does when woken, until done holds.
bool PumpUntil(TCustomComm& comm, Wakes& wakes, const std::function<bool()>& done) {
  for (int seen = wakes.Count();; seen = wakes.Count()) {
    comm.HandOver().RunPending();
    if (done()) return true;
    if (!wakes.WaitFor(seen + 1)) return false;
  }
}

// Open, traffic both ways, close: the peer's bytes are sometimes still arriving, or their
// notification still handed over, when Close runs. Bytes of an earlier round that nobody
// read may raise an event before Open purges them.
void Cycle(PtyPort& p, Wakes& wakes, int round) {
  ASSERT_TRUE(p.comm->Open()) << round;
  const std::size_t notes = p.recorder.Count();
  ASSERT_TRUE(p.pty.Write({static_cast<std::uint8_t>(round), 0x00, 0xFF}));
  if (round % 3 != 0) {
    if (p.comm->Synchronize()) {
      ASSERT_TRUE(PumpUntil(*p.comm, wakes, [&] { return p.recorder.Count() > notes; }));
    } else {
      ASSERT_TRUE(p.recorder.WaitFor(notes + 1));
    }
  }
  ASSERT_TRUE(p.comm->SendString(Bytes{0xAA, static_cast<std::uint8_t>(round)}));
  ASSERT_EQ(p.pty.Read(2).size(), 2u);
  p.comm->Close();
  // What the event loop does with a wake-up whose call Close has already run.
  EXPECT_EQ(p.comm->HandOver().RunPending(), 0u);
}

TEST(EventThreadPty, ThousandOpenCloseCyclesWithTraffic) {
  for (bool synchronize : {true, false}) {
    PtyPort p(synchronize);
    Wakes wakes(p.comm->HandOver());
    for (int round = 0; round < 500; ++round) {
      Cycle(p, wakes, round);
      if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GE(p.recorder.Count(), 333u);  // at least the cycles that waited for their data
  }
}

TEST(EventThreadPty, DestroyingTheComponentWhileBytesArriveIsSafe) {
  for (bool synchronize : {false, true}) {
    PtyPair pty;
    for (int round = 0; round < 50; ++round) {
      auto comm = std::make_unique<TXComm>();
      comm->SetDeviceName(pty.SlavePath());
      comm->SetSynchronize(synchronize);
      std::atomic<int> notes = 0;
      comm->SetOnData([&](TCustomComm& c, std::uint32_t) {
        ++notes;
        std::vector<std::uint8_t> drained;
        c.ReadString(drained);  // as a handler may: read through the component
      });
      ASSERT_TRUE(comm->Open());
      std::thread line([&] {
        for (int i = 0; i < 32; ++i) pty.Write({static_cast<std::uint8_t>(i)}, 100ms);
      });
      if (round % 2 == 0) comm->HandOver().RunPending();
      comm.reset();
      const int after = notes.load();
      line.join();
      EXPECT_EQ(notes.load(), after) << "a notification after destruction";
    }
  }
}

}  // namespace
}  // namespace serial
