// The event thread on real terminal devices: pseudo-terminals, with the test as the peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/event_thread_on_device_cases.h"
#include "serial/tests/event_thread_test_support.h"

namespace serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using platform::testing::PtyPair;
using testing_support::Recorder;
using test_support::WaitFor;
using testing_support::Wakes;

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

// The threads of this process, by their ids.
std::set<std::string> Tasks() {
  std::set<std::string> tasks;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    tasks.insert(entry.path().filename().string());
  }
  return tasks;
}

// The pty as a line of the shared cases: one pseudo-terminal for every component, the event
// thread told apart as the thread Open started; waits and closes are the driver's business.
struct PtyEventLine {
  static constexpr int kDestroyRounds = 50;
  PtyPair pty;
  std::set<std::string> started;

  // A sanitizer starts a helper thread of its own with the process's first new thread; one
  // made here keeps that helper out of the threads Open starts.
  PtyEventLine() { std::thread([] {}).join(); }
  std::unique_ptr<TXComm> NewComm() {
    auto comm = std::make_unique<TXComm>();
    comm->SetDeviceName(pty.SlavePath());
    return comm;
  }
  bool Open(TXComm& comm) {
    const auto before = Tasks();
    if (!comm.Open()) return false;
    started.clear();
    for (const auto& task : Tasks()) {
      if (!before.contains(task)) started.insert(task);
    }
    return !started.empty();
  }
  void PeerSend(const Bytes& bytes) { ASSERT_TRUE(pty.Write(bytes)); }
  void PeerBurst() {
    for (int i = 0; i < 32; ++i) pty.Write({static_cast<std::uint8_t>(i)}, 100ms);
  }
  void HangUp() { pty.CloseMaster(); }
  bool ThreadEnded() {
    return WaitFor([&] {
      const auto now = Tasks();
      return std::none_of(started.begin(), started.end(),
                          [&](const std::string& task) { return now.contains(task); });
    });
  }
  void ExpectEventWaits(std::size_t) {}
  void ExpectDeviceClosed() {}
};

INSTANTIATE_TYPED_TEST_SUITE_P(Pty, EventThreadOnDevice, PtyEventLine);

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

}  // namespace
}  // namespace serial
