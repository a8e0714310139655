// The port component on a line with an echoing peer: on the bench's real drivers (8250 and
// FTDI) and, with the same bodies, on a pseudo-terminal. Bounds are generous: they only
// tell "returned at once" from "waited for the time-out".
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "serial/custom_comm.h"
#include "serial/tests/wait_queued.h"
#include "tests/drivers/bench_line.h"
#include "tests/drivers/echo_line.h"

namespace drivers {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t kPatienceMs = 10000;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class EchoPort : public ::testing::Test {
 protected:
  void SetUp() override {
    comm_.SetDeviceName(line_.Path());
    comm_.SetBaudRate(serial::br115200);
    ASSERT_TRUE(comm_.Open()) << line_.Path();
  }

  // Sends `bytes` and reads the echo back, within the patience.
  Bytes RoundTrip(const Bytes& bytes, std::uint32_t patience_ms = kPatienceMs) {
    EXPECT_TRUE(comm_.SendString(bytes));
    Bytes echo(bytes.size());
    echo.resize(comm_.ReadBuffer(echo.data(), static_cast<std::uint32_t>(echo.size()), patience_ms));
    EXPECT_EQ(echo.size(), bytes.size()) << "bytes echoed within " << patience_ms << " ms";
    return echo;
  }

  EchoLine line_;
  serial::TXComm comm_;
};

TEST_F(EchoPort, EveryByteValueCrossesBothWaysUnchanged) {
  const Bytes all = AllByteValues();
  EXPECT_EQ(RoundTrip(all), all);
  const Bytes zeros(64, 0x00);
  EXPECT_EQ(RoundTrip(zeros), zeros);
  const Bytes frame{0xAA, 0x55, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF};
  EXPECT_EQ(RoundTrip(frame), frame);
}

TEST_F(EchoPort, ABlockLargerThanTheDriverQueuesArrivesWhole) {
  // Twice the 8250's 4 KiB transmit queue; an emulated line on a busy machine is slow, so
  // the patience is long.
  Bytes block(8 * 1024);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  comm_.Buffers().SetOutputTimeout(30000);
  EXPECT_EQ(RoundTrip(block, 30000), block);
}

TEST_F(EchoPort, ReadStringTakesWhatWaitsAndNeverWaitsForMore) {
  const Bytes frame{0x01, 0x00, 0x00, 0x03};
  ASSERT_TRUE(comm_.SendString(frame));
  serial::testing_support::WaitQueued(comm_, static_cast<std::uint32_t>(frame.size()),
                                      milliseconds(kPatienceMs));
  Bytes s;
  const auto read_start = Clock::now();
  EXPECT_TRUE(comm_.ReadString(s));
  EXPECT_EQ(s, frame);
  EXPECT_FALSE(comm_.ReadString(s));
  EXPECT_LT(Since(read_start), milliseconds(2500));
}

TEST_F(EchoPort, AReadOfBytesThatNeverComeEndsAtItsTimeOut) {
  Bytes buffer(8);
  const auto start = Clock::now();
  EXPECT_EQ(comm_.ReadBuffer(buffer.data(), 8, 400), 0u);
  const milliseconds took = Since(start);
  std::printf("ReadBuffer with a 400 ms time-out on %s returned after %lld ms\n",
              line_.Path().c_str(), static_cast<long long>(took.count()));
  EXPECT_GE(took, milliseconds(390));
  EXPECT_LT(took, milliseconds(4000));
}

TEST_F(EchoPort, ClosedAndReopenedThePortCarriesBytesAgain) {
  const Bytes frame{0x10, 0x00, 0x20, 0x30};
  EXPECT_EQ(RoundTrip(frame), frame);
  const auto start = Clock::now();
  comm_.Close();
  std::printf("Close with nothing waiting took %lld ms\n", static_cast<long long>(Since(start).count()));
  EXPECT_LT(Since(start), milliseconds(1000));
  EXPECT_FALSE(comm_.IsOpen());
  ASSERT_TRUE(comm_.Open());
  EXPECT_EQ(RoundTrip(frame), frame);
}

TEST_F(EchoPort, ASecondPortOnTheSameDeviceIsRefused) {
  serial::TXComm second;
  second.SetDeviceName(line_.Path());
  EXPECT_FALSE(second.Open());
  const Bytes frame{0x42};
  EXPECT_EQ(RoundTrip(frame), frame);
}

// The port on the bench's own line (a pty off the bench is a failure, not a pass).
void OpenOnBench(const EchoLine& line, serial::TXComm& comm, serial::TBaudRate rate) {
  ASSERT_TRUE(line.OnBench()) << "needs the bench's line";
  comm.SetDeviceName(line.Path());
  comm.SetBaudRate(rate);
  ASSERT_TRUE(comm.Open()) << line.Path();
}

// The host end stops reading (the bench's stalled peer): what the driver still holds
// cannot drain. Closing must not hold the caller for the driver's closing wait.
TEST(StalledLine, CloseReturnsWithinOneSecondWhileOutputCannotDrain) {
  EchoLine line;
  serial::TXComm comm;
  ASSERT_NO_FATAL_FAILURE(OpenOnBench(line, comm, serial::br115200));
  const std::uint32_t sent = StallOutput(comm, "ttyS1");
  std::printf("sent %u bytes before the output time-out; %u still queued\n", sent,
              comm.OutQueueCount());
  const auto start = Clock::now();
  comm.Close();
  const milliseconds took = Since(start);
  std::printf("Close with stalled output took %lld ms\n", static_cast<long long>(took.count()));
  EXPECT_LT(took, milliseconds(1000));
}

// A send at 300 bit/s with an output size of 128 into a line that does not drain: the
// driver's queue stays at that size for the whole send, and a tty reports room below 256
// queued bytes, so waiting for room must still wait, not return at once to a loop that
// asks again. (QEMU's UART does not pace the line, so the host end is stalled first; the
// new output size purges what that left queued.)
TEST(StalledLine, ASlowSendIntoASmallOutputSizeKeepsTheCpuIdle) {
  EchoLine line;
  serial::TXComm comm;
  ASSERT_NO_FATAL_FAILURE(OpenOnBench(line, comm, serial::br300));
  StallOutput(comm, "ttyS1");
  comm.Buffers().SetOutputSize(128);
  comm.Buffers().SetOutputTimeout(3000);
  const std::vector<std::uint8_t> block(1024, 0x5A);
  const double cpu_start = ProcessCpuSeconds();
  const auto start = Clock::now();
  const std::uint32_t sent = comm.SendData(block.data(), static_cast<std::uint32_t>(block.size()));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double share = (ProcessCpuSeconds() - cpu_start) / wall;
  std::printf("300 bit/s, output size 128: sent %u bytes in %.2f s, %u queued, CPU %.2f %% of a core\n",
              sent, wall, comm.OutQueueCount(), share * 100);
  EXPECT_LT(share, 0.01);
  EXPECT_GE(wall, 2.9);
  comm.Close();
}

}  // namespace
}  // namespace drivers
