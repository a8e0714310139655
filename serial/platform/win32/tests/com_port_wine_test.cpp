// The port component on real COM ports of the Win32 backend, run under Wine by
// wine_com_peer: the port under test is a pseudo-terminal linked into the prefix as COMn,
// its far end is a second COM port this test plays (through the backend's own device), and
// writing to the control port hangs the line up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/logic/port_choice.h"
#include "app/logic/port_name.h"
#include "serial/custom_comm.h"
#include "serial/platform/win32/win32_platform.h"
#include "serial/tests/fake_port.h"
#include "serial/tests/port_on_device_cases.h"
#include "serial/tests/port_on_line_cases.h"
#include "serial/tests/wait_queued.h"
#include "tests/support/wait_for.h"

namespace serial {
namespace {

using platform::InQueue;
using platform::WaitInQueue;
using test_support::kDeadline;
using testing_support::Bytes;
using testing_support::CodeOf;
using testing_support::kAtOnce;
using testing_support::Timed;
using std::chrono::milliseconds;

std::string ComName(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr) {
    ADD_FAILURE() << variable << " is not set: run this program through wine_com_peer, "
                  << "which provides the COM ports";
    return "COM_UNSET";
  }
  return value;
}

// The far end of the line, opened with the backend's own calls.
class Peer {
 public:
  explicit Peer(const char* variable) {
    platform::OpenResult opened = platform_.CreateFile("\\\\.\\" + ComName(variable));
    device_ = std::move(opened.device);
    EXPECT_NE(device_, nullptr) << "CreateFileA failed with " << opened.error.code;
  }
  // Writes every byte within the deadline (a block larger than the line's queues goes in
  // parts as the port reads).
  bool Write(const Bytes& bytes) {
    std::size_t done = 0;
    bool failed = !device_;
    test_support::WaitFor([&] { return failed || done == bytes.size(); }, [&](milliseconds left) {
      const platform::IoResult r = device_->WriteChunk(
          bytes.data() + done, static_cast<std::uint32_t>(bytes.size() - done), left);
      failed = !r.error.Ok();
      done += r.bytes;
    });
    return !failed && done == bytes.size();
  }
  // Waits until n bytes have arrived (or nothing more came in time) and returns what came.
  Bytes Read(std::size_t n) {
    Bytes got;
    while (device_ && got.size() < n && WaitInQueue(*device_, 1)) {
      Bytes chunk(InQueue(*device_));
      const platform::IoResult r =
          device_->ReadChunk(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
      got.insert(got.end(), chunk.begin(), chunk.begin() + r.bytes);
    }
    return got;
  }

 private:
  platform::win32::Win32Platform platform_;
  std::unique_ptr<platform::SerialDevice> device_;
};

// The COM port as a line of the shared cases: a hang-up takes a moment to reach the port.
struct ComLine : testing_support::RealTimeChecks {
  TXComm comm;
  Peer peer{"RTUTEST_COM_PEER"};
  ComLine() {
    comm.SetDeviceName(ComName("RTUTEST_COM_PORT"));
    testing_support::OpenWithLongTimeouts(comm);
  }
  static const char* MissingName() { return "COM250"; }
  void PeerWrite(const Bytes& bytes) { ASSERT_TRUE(peer.Write(bytes)); }
  Bytes PeerRead(std::size_t n) { return peer.Read(n); }
  bool WaitQueued(std::uint32_t n) { return testing_support::WaitQueued(comm, n); }
  // The hang-up takes a moment to reach the port; until then reads just find nothing.
  void HangUp() {
    Peer("RTUTEST_COM_CONTROL").Write(Bytes{'H'});
    Bytes buffer(16);
    bool seen = false;
    EXPECT_TRUE(test_support::WaitFor([&] { return seen; }, [&](milliseconds) {
      try {
        comm.ReadBuffer(buffer.data(), 16, 50);
      } catch (const EDeviceError& e) {
        EXPECT_EQ(e.ErrorCode(), 10);
        seen = true;
      }
    }));
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Wine, PortOnDevice, ComLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Wine, PortOnDeviceHangUp, ComLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Wine, PortOnLine, ComLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Wine, PortOnLineHangUp, ComLine);
// Wine opens a COM port twice (windows.NotUnderWine.ExclusiveOpen).
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PortOnExclusiveLine);

// ---- opening at every rate and format the window offers --------------------------------

// The window's format texts are plain ASCII; the format is read character by character.
std::optional<rtutest::DataFormatChoice> FormatOf(std::string_view text) {
  return rtutest::DataFormatChoiceFor(std::u32string(text.begin(), text.end()));
}

// Opens the port with the window's texts for rate and format, as the open button does.
void OpenWithWindowTexts(TXComm& comm, const char* rate_text, const char* format_text) {
  const auto format = FormatOf(format_text);
  ASSERT_TRUE(format.has_value());
  const rtutest::BaudChoice baud = rtutest::BaudChoiceFor(rate_text);
  comm.SetDeviceName(ComName("RTUTEST_COM_PORT"));
  comm.SetBaudRate(baud.rate);
  if (baud.custom_value) comm.SetBaudValue(*baud.custom_value);
  comm.DataControl().SetDataBits(*format->data_bits);
  comm.DataControl().SetParity(*format->parity);
  comm.DataControl().SetStopBits(*format->stop_bits);
  bool opened = false;
  ASSERT_NO_THROW(opened = comm.Open())
      << "Win32 error " << comm.LastSystemError().code << ": " << comm.LastSystemError().text;
  ASSERT_TRUE(opened);
}

class ComRate : public ::testing::TestWithParam<const char*> {};

TEST_P(ComRate, OpensAndReadsTheRateBack) {
  TXComm comm;
  OpenWithWindowTexts(comm, GetParam(), "8N1");
  const rtutest::BaudChoice baud = rtutest::BaudChoiceFor(GetParam());
  EXPECT_EQ(comm.BaudRate(), baud.rate);
  // Wine gives a pseudo-terminal only the rates of the termios table; 14400 and 28800
  // (the window's two rates outside it) are accepted and read back as 38400.
  const std::string rate = GetParam();
  if (baud.custom_value && rate != "14400" && rate != "28800") {
    EXPECT_EQ(comm.BaudValue(), *baud.custom_value);
  }
}

INSTANTIATE_TEST_SUITE_P(WindowRates, ComRate,
                         ::testing::ValuesIn(rtutest::kOfferedBaudRates));

class ComFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(ComFormat, OpensAndReadsTheStopBitsBack) {
  TXComm comm;
  OpenWithWindowTexts(comm, "9600", GetParam());
  // A pseudo-terminal holds no data bits or parity (the Linux pty driver forces eight bits
  // without parity): those are only accepted; the stop bits are read back.
  EXPECT_EQ(comm.DataControl().StopBits(), FormatOf(GetParam())->stop_bits);
}

INSTANTIATE_TEST_SUITE_P(WindowFormats, ComFormat,
                         ::testing::ValuesIn(rtutest::kOfferedDataFormats));

// ---- opening and closing --------------------------------------------------------------

TEST(ComOpen, OpenCloseAndTheirErrors) {
  TXComm comm;
  comm.SetDeviceName(ComName("RTUTEST_COM_PORT"));
  EXPECT_EQ(CodeOf([&] { comm.Close(); }), 1);
  ASSERT_TRUE(comm.Open());
  EXPECT_EQ(CodeOf([&] { comm.Open(); }), 2);
  EXPECT_TRUE(comm.IsOpen()) << "a second Open leaves the first connection";
  comm.Close();
  EXPECT_FALSE(comm.IsOpen());
  ASSERT_TRUE(comm.Open()) << "a closed port opens again";
}

// What a user may type for the port: full-width forms, blanks, the device prefix, a colon.
TEST(ComOpen, TypedNamesOpenThePort) {
  const std::string name = ComName("RTUTEST_COM_PORT");
  std::u32string full_width = U"\u3000";
  for (char c : name) full_width += static_cast<char32_t>(c + 0xFEE0);
  for (const std::u32string& typed :
       {full_width, U" \\\\.\\" + std::u32string(name.begin(), name.end()) + U": "}) {
    TXComm comm;
    comm.SetDeviceName(rtutest::PortNameFor(typed));
    EXPECT_TRUE(comm.Open()) << comm.DeviceName() << ": Win32 error "
                             << comm.LastSystemError().code;
  }
}

// ---- sending and reading --------------------------------------------------------------

TEST(ComTransfer, ChangingTheQueueSizesPurgesWhatWaits) {
  ComLine p;
  ASSERT_TRUE(p.peer.Write(Bytes{1, 2, 3, 4, 5}));
  ASSERT_TRUE(p.WaitQueued(5));
  p.comm.Buffers().SetInputSize(1024);  // differs from the default: applied at once
  EXPECT_EQ(p.comm.InQueueCount(), 0u);
  ASSERT_TRUE(p.peer.Write(Bytes{6}));
  EXPECT_TRUE(p.WaitQueued(1)) << "the line works after the purge";
}

// ---- the platform's services ----------------------------------------------------------

TEST(ComPlatform, ErrorTextsAreTheSystemsOnOneLine) {
  platform::win32::Win32Platform platform;
  // ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BROKEN_PIPE
  for (int code : {2, 5, 109}) {
    const std::string text = platform.ErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": " << text;
    EXPECT_EQ(TrimSystemText(text).back() == '.', false) << text;
  }
  EXPECT_EQ(platform.ErrorText(0x2FFFFFFF), "Unknown error 805306367");
}

TEST(ComPlatform, VersionIsTheNtFamily) {
  const platform::OsVersion version = platform::win32::Win32Platform().GetVersion();
  EXPECT_EQ(version.dwPlatformId, platform::VER_PLATFORM_WIN32_NT);
  EXPECT_GE(version.dwMajorVersion, 5u);
}

}  // namespace
}  // namespace serial

namespace serial {
namespace {

// ---- the backend's calls one by one, on the port under test ----------------------------

struct DevicePort {
  platform::win32::Win32Platform platform;
  std::unique_ptr<platform::SerialDevice> device;
  Peer peer{"RTUTEST_COM_PEER"};
  DevicePort() {
    platform::OpenResult opened = platform.CreateFile("\\\\.\\" + ComName("RTUTEST_COM_PORT"));
    device = std::move(opened.device);
    EXPECT_NE(device, nullptr) << "CreateFileA failed with " << opened.error.code;
  }
};

TEST(ComDevice, StateAndTimeoutsReadBackAsSet) {
  DevicePort p;
  ASSERT_NE(p.device, nullptr);
  platform::DCB dcb;
  ASSERT_TRUE(p.device->GetCommState(dcb).Ok());
  dcb.BaudRate = 19200;
  dcb.ByteSize = 7;
  dcb.Parity = platform::EVENPARITY;
  dcb.StopBits = platform::TWOSTOPBITS;
  ASSERT_TRUE(p.device->SetCommState(dcb).Ok());
  platform::DCB back;
  ASSERT_TRUE(p.device->GetCommState(back).Ok());
  EXPECT_EQ(back.DCBlength, platform::kDcbLength);
  EXPECT_EQ(back.BaudRate, 19200u);
  EXPECT_EQ(back.StopBits, platform::TWOSTOPBITS);  // (a pty keeps no data bits or parity)

  const platform::COMMTIMEOUTS timeouts{.ReadIntervalTimeout = 0xFFFFFFFF,
                                        .ReadTotalTimeoutMultiplier = 0,
                                        .ReadTotalTimeoutConstant = 0,
                                        .WriteTotalTimeoutMultiplier = 3,
                                        .WriteTotalTimeoutConstant = 700};
  ASSERT_TRUE(p.device->SetCommTimeouts(timeouts).Ok());
  platform::COMMTIMEOUTS timeouts_back;
  ASSERT_TRUE(p.device->GetCommTimeouts(timeouts_back).Ok());
  EXPECT_EQ(timeouts_back, timeouts);

  platform::COMMPROP properties;
  EXPECT_TRUE(p.device->GetCommProperties(properties).Ok());
  EXPECT_TRUE(p.device->SetupComm(2048, 2048).Ok());
}

TEST(ComDevice, PurgeEmptiesTheInputQueue) {
  DevicePort p;
  ASSERT_NE(p.device, nullptr);
  ASSERT_TRUE(p.peer.Write(Bytes{1, 2, 3}));
  ASSERT_TRUE(WaitInQueue(*p.device, 3));
  EXPECT_TRUE(p.device->PurgeComm(platform::PURGE_RXABORT | platform::PURGE_RXCLEAR).Ok());
  EXPECT_EQ(InQueue(*p.device), 0u);
}

TEST(ComDevice, AWriteStillPendingAfterItsWaitIsCancelledAndCountsWhatWentOut) {
  DevicePort p;
  ASSERT_NE(p.device, nullptr);
  // The far end reads nothing, so the line backs up and the write cannot finish.
  const Bytes flood(1024 * 1024, 0x5A);
  platform::IoResult result;
  const milliseconds took = Timed([&] {
    result = p.device->WriteChunk(flood.data(), static_cast<std::uint32_t>(flood.size()),
                                  milliseconds(1000));
  });
  EXPECT_EQ(result.error.code, 0) << "a cancelled write is not a failure";
  EXPECT_LT(result.bytes, flood.size());
  EXPECT_GE(took, milliseconds(1000));
  EXPECT_LT(took, milliseconds(1000) + kDeadline);
  // The cancelled operation has completed: the device takes the next call at once.
  EXPECT_LT(Timed([&] { EXPECT_TRUE(p.device->PurgeComm(platform::PURGE_TXCLEAR).Ok()); }),
            kAtOnce);
}

// The event path on Wine: a wait on received bytes alone (no modem-line events in the mask)
// ends on the byte, reporting EV_RXCHAR, or (Wine on a pty, about half the time) with the
// wait aborted, which the backend reports as a failed wait. It never hangs, and never
// reports events it did not see.
TEST(ComEvents, AWaitForReceivedBytesEndsWithoutHanging) {
  DevicePort p;
  ASSERT_NE(p.device, nullptr);
  ASSERT_TRUE(p.device->SetCommMask(platform::EV_RXCHAR).Ok());
  const std::unique_ptr<platform::StopEvent> stop = p.platform.CreateStopEvent();
  std::uint32_t mask = 0;
  std::promise<platform::WaitOutcome> outcome;
  std::thread waiter([&] { outcome.set_value(p.device->WaitCommEvent(mask, *stop).outcome); });
  std::future<platform::WaitOutcome> ended = outcome.get_future();
  // Wine's wait counts bytes from the moment it begins, and on a busy machine the waiter
  // may begin after a first byte: one more byte follows each quarter second without an end.
  bool in_time = false;
  for (const auto until = std::chrono::steady_clock::now() + kDeadline;
       !in_time && std::chrono::steady_clock::now() < until;) {
    if (!p.peer.Write(Bytes{0x42})) break;  // then the wait is not ended in time
    in_time = ended.wait_for(milliseconds(250)) == std::future_status::ready;
  }
  if (!in_time) stop->Set();  // only so that the thread ends
  waiter.join();
  ASSERT_TRUE(in_time) << "the received byte did not end the wait";
  const platform::WaitOutcome how = ended.get();
  EXPECT_NE(how, platform::WaitOutcome::Stopped);
  if (how == platform::WaitOutcome::Events) {
    EXPECT_EQ(mask, platform::EV_RXCHAR);
  }
}

TEST(ComEvents, StopEndsAPendingWait) {
  DevicePort p;
  ASSERT_NE(p.device, nullptr);
  ASSERT_TRUE(p.device->SetCommMask(platform::EV_RXCHAR).Ok());
  const std::unique_ptr<platform::StopEvent> stop = p.platform.CreateStopEvent();
  std::uint32_t mask = 0;
  stop->Set();
  EXPECT_EQ(p.device->WaitCommEvent(mask, *stop).outcome, platform::WaitOutcome::Stopped);
  EXPECT_TRUE(stop->IsSet());
}

}  // namespace
}  // namespace serial
