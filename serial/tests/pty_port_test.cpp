// The port component on a real terminal device: a pseudo-terminal whose master side the
// test plays. Time bounds are generous: they only tell "returned at once" from "waited for
// the 5 s time-out".
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/fake_port.h"
#include "tests/support/wait_for.h"

namespace serial {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing_support::Bytes;
using testing_support::CodeOf;

constexpr milliseconds kLongTimeout{5000};
constexpr milliseconds kAtOnce{2500};

struct PtyPort {
  platform::testing::PtyPair pty;
  TXComm comm;
  PtyPort() {
    comm.SetDeviceName(pty.SlavePath());
    comm.Buffers().SetInputTimeout(static_cast<std::uint16_t>(kLongTimeout.count()));
    comm.Buffers().SetOutputTimeout(static_cast<std::uint16_t>(kLongTimeout.count()));
    EXPECT_TRUE(comm.Open());
  }
  // Until the driver holds n received bytes (the peer's write takes a moment to cross).
  bool WaitQueued(std::uint32_t n) {
    return test_support::WaitFor([&] { return comm.InQueueCount() >= n; },
                                 [&](milliseconds left) { comm.Device()->WaitForInput(left); });
  }
};

template <class Call>
milliseconds Timed(Call&& call) {
  const auto start = Clock::now();
  call();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(PtyPort, SentFramesArriveUnchanged) {
  PtyPort p;
  const Bytes frame{0xAA, 0x55, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF};
  EXPECT_TRUE(p.comm.SendString(frame));
  EXPECT_EQ(p.pty.Read(frame.size()), frame);
}

TEST(PtyPort, ReadStringTakesExactlyTheWaitingBytesWithoutWaiting) {
  PtyPort p;
  const Bytes waiting{0x01, 0x00, 0x00, 0x03, 0x00};
  ASSERT_TRUE(p.pty.Write(waiting));
  ASSERT_TRUE(p.WaitQueued(5));
  Bytes s;
  EXPECT_LT(Timed([&] { EXPECT_TRUE(p.comm.ReadString(s)); }), kAtOnce);
  EXPECT_EQ(s, waiting);
  EXPECT_LT(Timed([&] { EXPECT_FALSE(p.comm.ReadString(s)); }), kAtOnce);
  EXPECT_TRUE(s.empty());
}

TEST(PtyPort, ReadBufferWaitsForBytesStillOnTheirWay) {
  PtyPort p;
  std::thread peer([&] {
    std::this_thread::sleep_for(milliseconds(50));
    p.pty.Write(Bytes{7, 8, 9});
  });
  Bytes buffer(3);
  EXPECT_EQ(p.comm.ReadBuffer(buffer.data(), 3, 4000), 3u);
  peer.join();
  EXPECT_EQ(buffer, (Bytes{7, 8, 9}));
}

TEST(PtyPort, AHungUpLineFailsReadsAndShortensSendsWithoutWaiting) {
  PtyPort p;
  p.pty.CloseMaster();
  Bytes buffer(16);
  std::string message;
  const milliseconds read_time = Timed([&] {
    try {
      p.comm.ReadData(buffer.data(), 16);
    } catch (const EDeviceError& e) {
      EXPECT_EQ(e.ErrorCode(), 10);
      message = e.what();
    }
  });
  EXPECT_LT(read_time, kAtOnce);
  EXPECT_EQ(message.rfind("Unable to read from port. (Win32 error ", 0), 0u) << message;
  EXPECT_EQ(message.back(), ')');
  EXPECT_LT(Timed([&] { EXPECT_FALSE(p.comm.SendString(Bytes(64, 0x55))); }), kAtOnce);
  EXPECT_NO_THROW(p.comm.Close());
  EXPECT_FALSE(p.comm.IsOpen());
}

TEST(PtyPort, ASendIntoAHungUpLineEndsAtOnce) {
  PtyPort p;
  p.pty.CloseMaster();
  std::uint32_t sent = 99;
  EXPECT_LT(Timed([&] { sent = p.comm.SendData(Bytes(32, 1).data(), 32); }), kAtOnce);
  EXPECT_EQ(sent, 0u);
  EXPECT_NO_THROW(p.comm.Close());
}

TEST(PtyPort, ANameThatDoesNotExistIsRefusedWithoutError) {
  TXComm comm;
  comm.SetDeviceName("/dev/no-such-serial-device");
  EXPECT_FALSE(comm.Open());
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(CodeOf([&] { comm.Close(); }), 1);
}

}  // namespace
}  // namespace serial
