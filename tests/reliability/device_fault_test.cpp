// The peer of an open port goes away (an adapter unplugged; here the master side of a
// pseudo-terminal closes) while the port reads, sends, waits for line events, or sits
// between two polls of the window. Each time: one clear error or silence, no busy loop afterwards (the CPU the
// process uses is measured over the next 1.5 s while the window would keep polling), and
// Close and a new Open work. Twenty hang-ups and reopenings leave no descriptor or thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "modbus/requests.h"
#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/code_of.h"
#include "tests/reliability/process_probe.h"
#include "tests/support/timed.h"

namespace reliability {
namespace {

using Bytes = std::vector<std::uint8_t>;
using serial::TXComm;
using serial::platform::testing::PtyPair;
using serial::testing_support::CodeOf;
using test_support::Timed;
using std::chrono::milliseconds;

// Transfer time-outs are long, so that a transfer a hang-up ended promptly is told apart
// from one that ran into its time-out.
constexpr std::uint16_t kTransferTimeout = 5000;
constexpr milliseconds kPrompt{2500};
// Share of one core over the 1.5 s after a hang-up. Polling costs next to nothing; a busy
// loop would come close to 1.0. Generous for sanitizer builds on a shared machine.
constexpr double kNoSpin = 0.3;
constexpr milliseconds kQuietWindow{1500};

class DeviceFaults : public ::testing::Test {
 protected:
  void SetUp() override { OpenOnNewLine(); }

  void OpenOnNewLine() {
    pty_ = std::make_unique<PtyPair>();
    comm_.SetDeviceName(pty_->SlavePath());
    comm_.Buffers().SetInputTimeout(kTransferTimeout);
    comm_.Buffers().SetOutputTimeout(kTransferTimeout);
    ASSERT_TRUE(comm_.Open());
  }

  // One poll of the window: the notifications the event thread handed over run (the
  // window's event loop does that), then whatever waits is read without waiting.
  void Tick() {
    comm_.HandOver().RunPending();
    Bytes block;
    const std::int32_t code = CodeOf([&] { comm_.ReadString(block); });
    if (code != 0) ++tick_errors_;
    tick_bytes_ += block.size();
  }

  // The window keeps polling every 200 ms for 1.5 s: silence, and no busy loop. Bytes the
  // device took in before the hang-up are still read.
  void ExpectQuietAfterwards(std::size_t taken_in_before = 0) {
    tick_errors_ = 0;
    tick_bytes_ = 0;
    const double share = CpuShareOver(kQuietWindow, [this] { Tick(); });
    std::printf("%s: CPU over the 1.5 s after the hang-up: %.1f %% of one core\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(), share * 100);
    EXPECT_LT(share, kNoSpin) << "CPU share of one core after the hang-up";
    EXPECT_EQ(tick_errors_, 0) << "polls after the hang-up raised";
    EXPECT_EQ(tick_bytes_, taken_in_before);
  }

  // Close works, and the same component opens a new line and talks over it.
  void ExpectReopenWorks() {
    EXPECT_NO_THROW(comm_.Close());
    EXPECT_FALSE(comm_.IsOpen());
    ReopenAndTalk();
  }

  void ReopenAndTalk() {
    OpenOnNewLine();
    const Bytes request = modbus::ReadAllRequest(1);
    EXPECT_TRUE(comm_.SendString(request));
    EXPECT_EQ(pty_->Read(request.size()), request);
    const Bytes reply{0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00};
    ASSERT_TRUE(pty_->Write(reply));
    ASSERT_TRUE(WaitFor([&] { return comm_.InQueueCount() >= reply.size(); }));
    Bytes got;
    EXPECT_TRUE(comm_.ReadString(got));
    EXPECT_EQ(got, reply);
  }

  std::unique_ptr<PtyPair> pty_;
  TXComm comm_;
  int tick_errors_ = 0;
  std::size_t tick_bytes_ = 0;
};

TEST_F(DeviceFaults, HangUpDuringAReadRaisesTheReadErrorLongBeforeTheTimeOut) {
  // The line goes once the read has taken the first bytes and waits for the rest.
  std::atomic<bool> first_bytes_read = false;
  comm_.SetOnRead([&](serial::TCustomComm&) { first_bytes_read = true; });
  std::thread peer([&] {
    pty_->Write(Bytes{1, 2, 3, 4, 5});
    EXPECT_TRUE(WaitFor([&] { return first_bytes_read.load(); }));
    pty_->CloseMaster();
  });
  Bytes buffer(64);
  std::uint32_t got = 0;
  const milliseconds took = Timed([&] { got = comm_.ReadData(buffer.data(), 64); });
  peer.join();
  std::printf("read ended by the hang-up %lld ms after it began\n",
              static_cast<long long>(took.count()));
  // The bytes read before the hang-up are returned; the next read raises the failure.
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + got), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(CodeOf([&] { comm_.ReadData(buffer.data(), 64); }), serial::DEVICE_READ_FAILED);
  EXPECT_LT(took, kPrompt);
  ExpectQuietAfterwards();
  ExpectReopenWorks();
}

TEST_F(DeviceFaults, HangUpDuringASendEndsItShortWithoutError) {
  // The peer never reads, so the send waits for room until the line goes, which it does
  // once the first chunk has been sent.
  std::atomic<bool> first_chunk_sent = false;
  comm_.SetOnSend([&](serial::TCustomComm&) { first_chunk_sent = true; });
  std::thread peer([&] {
    EXPECT_TRUE(WaitFor([&] { return first_chunk_sent.load(); }));
    pty_->CloseMaster();
  });
  const Bytes big(256 * 1024, 0x55);
  bool all_sent = true;
  std::int32_t code = 0;
  const milliseconds took = Timed([&] { code = CodeOf([&] { all_sent = comm_.SendString(big); }); });
  peer.join();
  std::printf("send ended by the hang-up %lld ms after it began\n",
              static_cast<long long>(took.count()));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(all_sent);
  EXPECT_LT(took, kPrompt);
  // Every later send ends at once, short.
  EXPECT_LT(Timed([&] { EXPECT_FALSE(comm_.SendString(modbus::ReadAllRequest(1))); }), kPrompt);
  ExpectQuietAfterwards();
  ExpectReopenWorks();
}

TEST_F(DeviceFaults, HangUpBetweenPollsIsSilentAndSendsFailShort) {
  const Bytes reply{0x01, 0x10, 0x00, 0x15, 0x00, 0x01, 0x00, 0x00};
  ASSERT_TRUE(pty_->Write(reply));
  ASSERT_TRUE(WaitFor([&] { return comm_.InQueueCount() >= reply.size(); }));
  Tick();
  EXPECT_EQ(tick_bytes_, reply.size());
  pty_->CloseMaster();
  ExpectQuietAfterwards();
  std::int32_t code = 0;
  bool sent = true;
  EXPECT_LT(Timed([&] { code = CodeOf([&] { sent = comm_.SendString(modbus::ReadAllRequest(1)); }); }),
            kPrompt);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(sent);
  ExpectReopenWorks();
}

// The event thread's wait fails with the line: the thread ends without a notification and
// the component stays open until it is closed.
struct Notifications {
  std::atomic<int> data = 0;
  std::atomic<int> other = 0;
};

// Handlers are set while closed: with notifications on the event thread they are read
// there without a lock.
void CountNotifications(TXComm& comm, Notifications& seen) {
  comm.SetOnData([&seen](serial::TCustomComm&, std::uint32_t) { ++seen.data; });
  comm.SetOnCommEvent([&seen](serial::TCustomComm&, serial::TDeviceEvents) { ++seen.other; });
}

void ExpectEventThreadEndsSilently(TXComm& comm, PtyPair& pty, Notifications& seen,
                                   int threads_before_open) {
  std::atomic<int>& data_notifications = seen.data;
  std::atomic<int>& other_notifications = seen.other;
  ASSERT_TRUE(pty.Write(Bytes{0x01, 0x03}));
  ASSERT_TRUE(WaitFor([&] {
    comm.HandOver().RunPending();
    return data_notifications > 0;
  }));
  const int before = data_notifications + other_notifications;
  pty.CloseMaster();
  EXPECT_TRUE(WaitFor([&] {
    comm.HandOver().RunPending();
    return ThreadCount() == threads_before_open;
  })) << "the event thread still runs after the hang-up";
  comm.HandOver().RunPending();
  EXPECT_EQ(data_notifications + other_notifications, before);
  EXPECT_TRUE(comm.IsOpen());
}

TEST_F(DeviceFaults, HangUpDuringAnEventWaitEndsTheEventThreadSilently) {
  for (const bool synchronize : {true, false}) {
    SCOPED_TRACE(synchronize ? "notifications handed over" : "notifications on the event thread");
    comm_.Close();
    Notifications seen;
    comm_.SetSynchronize(synchronize);
    CountNotifications(comm_, seen);
    const int threads = ThreadCount();
    OpenOnNewLine();
    ExpectEventThreadEndsSilently(comm_, *pty_, seen, threads);
    ExpectQuietAfterwards(2);
    EXPECT_NO_THROW(comm_.Close());
    comm_.SetOnData({});
    comm_.SetOnCommEvent({});
    comm_.SetSynchronize(true);
    ReopenAndTalk();
  }
}

// One cycle: open a new line, send over it, lose it, find out, close.
void HangUpCycle(TXComm& comm, int cycle) {
  const Bytes request = modbus::ReadAllRequest(1);
  PtyPair pty;
  comm.SetDeviceName(pty.SlavePath());
  ASSERT_TRUE(comm.Open()) << "cycle " << cycle;
  ASSERT_TRUE(comm.SendString(request));
  ASSERT_EQ(pty.Read(request.size()), request);
  pty.CloseMaster();
  // Half the cycles find the hang-up with a read, half only with a poll.
  Bytes buffer(16);
  if (cycle % 2 == 0) {
    EXPECT_EQ(CodeOf([&] { comm.ReadData(buffer.data(), 16); }), serial::DEVICE_READ_FAILED);
  } else {
    EXPECT_EQ(CodeOf([&] { comm.ReadString(buffer); }), 0);
  }
  comm.Close();
}

TEST(DeviceFaultCycles, TwentyHangUpsAndReopeningsLeaveNoDescriptorOrThread) {
  TXComm comm;
  // The first cycle may start what lives for the whole process (a sanitizer's background
  // thread); the count is taken after it.
  HangUpCycle(comm, 0);
  const int descriptors = OpenDescriptorCount();
  const int threads = ThreadCount();
  for (int cycle = 1; cycle <= 20; ++cycle) HangUpCycle(comm, cycle);
  std::printf("after 20 hang-ups and reopenings: %d descriptors (%d before), %d threads (%d before)\n",
              OpenDescriptorCount(), descriptors, ThreadCount(), threads);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
}  // namespace reliability
