// The POSIX device against states only a UART's driver shows: output the driver's count
// leaves in the transmit FIFO, a transmitter still sending, a port whose driver divides
// otherwise, a mark split between two reads, a last close the driver holds. A pty answers
// as such a driver (serial/platform/tests/injected_driver.h), opened as a port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/platform/posix/posix_device.h"
#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/platform/tests/device_steps.h"
#include "serial/platform/tests/injected_driver.h"
#include "tests/support/wait_for.h"

namespace serial::platform::posix {
namespace {

using std::chrono::milliseconds;
using testing::InjectedDriver;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// 300 bit/s, 8N1: 33 ms a character, a 16-byte FIFO's line time 0.53 s.
constexpr std::uint32_t kSlowRate = 300;
constexpr std::uint32_t kFifo = 16;

// A pty opened as OpenDevice opens a port: raw, its found settings kept for the close.
// Configure the driver before Open.
struct InjectedPort {
  testing::PtyPair pty;
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  InjectedDriver driver{fd};
  std::unique_ptr<SerialDevice> device;

  void Open(bool plain_divisor = true) {
    ASSERT_GE(fd, 0);
    TermiosImage found;
    ASSERT_EQ(tty::GetTermios(fd, found), 0);
    TermiosImage raw = found;
    MakeRaw(raw);
    ASSERT_EQ(tty::SetTermios(fd, raw), 0);
    DCB initial{.DCBlength = kDcbLength, .fBinary = 1};
    LoadDcb(raw, initial);
    device = std::make_unique<PosixDevice>(UniqueFd(fd), LineKind::Port, initial, found,
                                           plain_divisor);
  }

  bool Change(const std::function<void(DCB&)>& change) { return platform::Change(*device, change); }

  // Opens the port and sets 300 bit/s, where a 16-byte FIFO takes half a second to send.
  void OpenSlow(bool plain_divisor = true) {
    ASSERT_NO_FATAL_FAILURE(Open(plain_divisor));
    ASSERT_TRUE(Change([](DCB& d) { d.BaudRate = kSlowRate; }));
  }

  // Closes the device; how long the caller was kept.
  Clock::duration Close() {
    const auto start = Clock::now();
    device.reset();
    return Clock::now() - start;
  }
};

long long Ms(Clock::duration d) { return std::chrono::duration_cast<milliseconds>(d).count(); }

// The driver's count shows 1 byte while the 16-byte FIFO still sends: the drain waits the
// FIFO's line time before it takes the queue for stalled. A queue that never moves is
// still discarded, within about twice that time.
TEST(InjectedPort, TheDrainWaitsForTheTransmitFifo) {
  for (const bool stalled : {false, true}) {
    SCOPED_TRACE(stalled ? "stalled" : "draining for 400 ms");
    InjectedPort port;
    port.driver.SetUart(PORT_16550A, 115200, kFifo);
    port.driver.SetOutputQueued(
        [stalled](Clock::duration since) { return stalled || since < milliseconds(400); });
    ASSERT_NO_FATAL_FAILURE(port.OpenSlow());
    const int flushes = port.driver.OutputFlushes();
    const auto took = port.Close();
    EXPECT_EQ(port.driver.OutputFlushes() - flushes, stalled ? 1 : 0)
        << "the close took " << Ms(took) << " ms";
    EXPECT_LT(took, milliseconds(3000));
  }
}

// A 16550A stopped by CTS or XOFF sends out its FIFO and then holds the rest: a count that
// stays while the transmitter is empty is a stall, known long before the stall window
// (1.17 s at 300 bit/s), so that the close stays under a second.
TEST(InjectedPort, AStallWithTheTransmitterEmptyIsDiscardedWithinASecond) {
  InjectedPort port;
  port.driver.SetUart(PORT_16550A, 115200, kFifo);
  port.driver.SetOutputQueued([](Clock::duration) { return true; });
  port.driver.SetTransmitterEmpty([](Clock::duration) { return true; });
  ASSERT_NO_FATAL_FAILURE(port.OpenSlow());
  const auto took = port.Close();
  EXPECT_EQ(port.driver.OutputFlushes(), 1);
  EXPECT_LT(took, milliseconds(1000)) << "kept " << Ms(took) << " ms";
}

// The settings found at opening may change the rate and frame: they come back only once
// the transmitter has sent the last frame. One that never empties keeps the close no longer
// than about twice the FIFO's line time.
TEST(InjectedPort, TheFoundSettingsComeBackOnceTheTransmitterIsEmpty) {
  for (const bool never : {false, true}) {
    SCOPED_TRACE(never ? "never empty" : "empty after 300 ms");
    InjectedPort port;
    port.driver.SetUart(PORT_16550A, 115200, kFifo);
    port.driver.SetTransmitterEmpty(
        [never](Clock::duration since) { return !never && since >= milliseconds(300); });
    ASSERT_NO_FATAL_FAILURE(port.OpenSlow());
    const auto took = port.Close();
    const auto restored = port.driver.LastSettingsWritten();
    ASSERT_TRUE(restored.has_value());
    EXPECT_LT(took, milliseconds(3000));
    if (never) continue;
    const auto empty = port.driver.FirstEmptyAnswer();
    ASSERT_TRUE(empty.has_value()) << "restored without a look at the transmitter";
    EXPECT_GE(*restored, *empty) << "restored while the transmitter sent";
  }
}

// A USB adapter's driver tells no FIFO size, and may never report its transmitter empty
// (QEMU's FTDI adapter, or a chip holding bytes while CTS is low): at 300 bit/s the wait
// for it must still keep the close under a second.
TEST(InjectedPort, ATransmitterOfNoKnownFifoKeepsTheCloseUnderASecond) {
  InjectedPort port;
  port.driver.SetUart(PORT_UNKNOWN, 24000000, 0);
  port.driver.SetTransmitterEmpty([](Clock::duration) { return false; });
  ASSERT_NO_FATAL_FAILURE(port.OpenSlow(false));
  const auto took = port.Close();
  EXPECT_LT(took, milliseconds(1000)) << "kept " << Ms(took) << " ms";
  EXPECT_TRUE(port.driver.LastSettingsWritten().has_value());
}

// A driver that can neither discard nor stop its output (USB serial) holds the last close
// for its closing wait, 30 s: the caller is kept only for the close's bound.
TEST(InjectedPort, ACloseTheDriverHoldsKeepsTheCallerUnderASecond) {
  InjectedPort port;
  ASSERT_NO_FATAL_FAILURE(port.Open());
  ASSERT_TRUE(port.driver.HoldClose());
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;
  // Ends the held close after 3 s, as the end of the closing wait would.
  std::thread closing_wait([&] {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::seconds(3), [&] { return closed; })) {
      port.driver.ReleaseClose();
    }
  });
  const auto took = port.Close();
  {
    std::lock_guard lock(mutex);
    closed = true;
  }
  changed.notify_all();
  closing_wait.join();
  EXPECT_LT(took, milliseconds(1000)) << "kept " << Ms(took) << " ms";
}

// 8250_dw reports a 16550A but divides finely: there the rate read back is the rate run.
// Where the driver divides plainly, 56000 of a 1.8432 MHz clock runs 57600 and is refused.
TEST(InjectedPort, TheDivisorModelOnlyWhereTheDriverDividesPlainly) {
  for (const bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain divisor" : "other divisor");
    InjectedPort port;
    port.driver.SetUart(PORT_16550A, 115200, kFifo);
    ASSERT_NO_FATAL_FAILURE(port.Open(plain));
    EXPECT_EQ(port.Change([](DCB& d) { d.BaudRate = 56000; }), !plain);
    DCB dcb;
    ASSERT_TRUE(port.device->GetCommState(dcb).Ok());
    EXPECT_EQ(dcb.BaudRate == 56000, !plain);
  }
}

bool KernelHolds(int fd, std::uint32_t n) {
  std::uint32_t held = 0;
  test_support::WaitFor([&] { return tty::InputWaiting(fd, held) == 0 && held >= n; });
  return held == n;
}

// With the parity check on, a data byte FF arrives doubled. A read that ends between the
// two leaves half a mark; a purge discards its other half, and what comes after is new.
TEST(InjectedPort, APurgeForgetsAMarkSplitBetweenReads) {
  InjectedPort port;
  port.driver.SetReadLimit(2);
  ASSERT_NO_FATAL_FAILURE(port.Open());
  ASSERT_TRUE(port.Change([](DCB& d) { d.fParity = 1; }));
  ASSERT_TRUE(port.pty.Write({0x41, 0xFF}));
  ASSERT_TRUE(KernelHolds(port.fd, 3));
  ASSERT_EQ(ReadAll(*port.device, 1), Bytes{0x41});  // the read took 41 FF
  ASSERT_TRUE(port.device->PurgeComm(PURGE_RXCLEAR).Ok());
  ASSERT_TRUE(port.pty.Write({0x00, 0x42}));
  ASSERT_TRUE(KernelHolds(port.fd, 2));
  EXPECT_EQ(ReadAll(*port.device, 2), (Bytes{0x00, 0x42}));
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(port.device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(errors, 0u);
}

}  // namespace
}  // namespace serial::platform::posix
