// The port component on a real terminal device: a pseudo-terminal whose master side the
// test plays. Time bounds are generous: they only tell "returned at once" from "waited for
// the 5 s time-out".
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/fake_port.h"
#include "serial/tests/port_on_device_cases.h"
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

// The pty as a line of the shared cases: time is real, so "at once" is well inside the
// time-out, and the reads made are the driver's own business.
struct PtyLine : PtyPort {
  void PeerWrite(const Bytes& bytes) { ASSERT_TRUE(pty.Write(bytes)); }
  Bytes PeerRead(std::size_t n) { return pty.Read(n); }
  void HangUp() { pty.CloseMaster(); }
  template <class Call>
  void ExpectAtOnce(Call&& call) {
    EXPECT_LT(Timed(call), kAtOnce);
  }
  void ExpectReadsOf(const std::vector<std::uint32_t>&) {}
};

INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnDevice, PtyLine);

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

TEST(PtyPort, ANameThatDoesNotExistIsRefusedWithoutError) {
  TXComm comm;
  comm.SetDeviceName("/dev/no-such-serial-device");
  EXPECT_FALSE(comm.Open());
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(CodeOf([&] { comm.Close(); }), 1);
}

}  // namespace
}  // namespace serial
