#include "serial/platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "serial/platform/tests/device_on_line_cases.h"

namespace serial::platform::fake {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

struct Opened {
  std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
  std::shared_ptr<FakeState> state = platform->State();
  std::unique_ptr<SerialDevice> device;
  Opened() {
    OpenResult opened = platform->CreateFile("\\\\.\\COM1");
    device = std::move(opened.device);
    EXPECT_EQ(opened.error.code, 0);
  }
};

TEST(FakePlatform, RecordsEveryCallWithItsArgumentsInOrder) {
  Opened o;
  DCB dcb{.DCBlength = kDcbLength, .BaudRate = 76800};
  EXPECT_TRUE(o.device->SetCommState(dcb).Ok());
  EXPECT_TRUE(o.device->SetupComm(4096, 2048).Ok());
  EXPECT_TRUE(o.device->PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR).Ok());
  EXPECT_TRUE(o.device->SetCommTimeouts(COMMTIMEOUTS{1, 2, 3, 4, 5}).Ok());
  o.device.reset();

  EXPECT_EQ(o.state->CallNames(),
            (std::vector<std::string>{"CreateFile", "SetCommState", "SetupComm", "PurgeComm",
                                      "SetCommTimeouts", "CloseHandle"}));
  EXPECT_EQ(o.state->ArgsOf<std::string>("CreateFile"), std::vector<std::string>{"\\\\.\\COM1"});
  EXPECT_EQ(o.state->ArgsOf<DCB>("SetCommState"), std::vector<DCB>{dcb});
  EXPECT_EQ(o.state->ArgsOf<QueueSizes>("SetupComm"), (std::vector<QueueSizes>{{4096, 2048}}));
  EXPECT_EQ(o.state->ArgsOf<std::uint32_t>("PurgeComm"),
            std::vector<std::uint32_t>{PURGE_RXCLEAR | PURGE_TXCLEAR});
  EXPECT_FALSE(o.state->IsOpen());
}

TEST(FakePlatform, ReportsConfiguredDeviceValues) {
  Opened o;
  o.device->SetupComm(1024, 1024);
  o.state->SetDcb(DCB{.DCBlength = kDcbLength, .BaudRate = 57600});
  o.state->SetProperties(COMMPROP{.dwCurrentTxQueue = 0, .dwCurrentRxQueue = 0});
  DCB dcb;
  COMMPROP properties;
  ASSERT_TRUE(o.device->GetCommState(dcb).Ok());
  ASSERT_TRUE(o.device->GetCommProperties(properties).Ok());
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(properties.dwCurrentRxQueue, 0u);
}

TEST(FakePlatform, InjectedFailures) {
  Opened o;
  for (const char* name : {"SetCommState", "GetCommState", "SetupComm", "SetCommTimeouts",
                           "GetCommTimeouts", "GetCommProperties", "PurgeComm"}) {
    o.state->FailCall(name);
  }
  DCB dcb;
  COMMTIMEOUTS timeouts;
  COMMPROP properties;
  EXPECT_FALSE(o.device->SetCommState(dcb).Ok());
  EXPECT_FALSE(o.device->GetCommState(dcb).Ok());
  EXPECT_FALSE(o.device->SetupComm(128, 128).Ok());
  EXPECT_FALSE(o.device->SetCommTimeouts(timeouts).Ok());
  EXPECT_FALSE(o.device->GetCommTimeouts(timeouts).Ok());
  EXPECT_FALSE(o.device->GetCommProperties(properties).Ok());
  EXPECT_FALSE(o.device->PurgeComm(PURGE_RXCLEAR).Ok());

  o.state->Feed({1, 2});
  o.state->FailCall("ReadChunk", EPROTO);
  std::uint8_t buffer[2];
  EXPECT_EQ(o.device->ReadChunk(buffer, 2).error.code, EPROTO);
  o.state->ClearFailure("ReadChunk");
  EXPECT_EQ(o.device->ReadChunk(buffer, 2).bytes, 2u);
}

TEST(FakePlatform, OpenRefusedWithAnInjectedError) {
  Opened o;
  o.device.reset();
  o.state->FailCall("CreateFile", ENOENT);
  const OpenResult refused = o.platform->CreateFile("\\\\.\\COM9");
  EXPECT_EQ(refused.device, nullptr);
  EXPECT_EQ(refused.error.code, ENOENT);
}

TEST(FakePlatform, QueuesCountsAndData) {
  Opened o;
  o.state->Feed({0, 0x41, 0});
  o.state->SetOutQueue(17);
  o.state->SetCommErrors(CE_FRAME);
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(o.device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(errors, CE_FRAME);
  EXPECT_EQ(status.cbInQue, 3u);
  EXPECT_EQ(status.cbOutQue, 17u);
  ASSERT_TRUE(o.device->ClearCommError(errors, status).Ok());
  EXPECT_EQ(errors, 0u);  // cleared by the first query

  std::uint8_t buffer[8];
  EXPECT_EQ(o.device->ReadChunk(buffer, 8).bytes, 3u);
  EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0, 0x41, 0}));
}

TEST(FakePlatform, HeldOutputAdvancesTheClockInsteadOfWaiting) {
  Opened o;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  o.state->SetWriteLimit(3);
  const std::uint32_t start = o.platform->GetTickCount();
  EXPECT_EQ(o.device->WriteChunk(data, 4, milliseconds(1000)).bytes, 3u);
  EXPECT_EQ(o.platform->GetTickCount() - start, 1000u);
  o.state->SetWriteLimit(std::nullopt);
  EXPECT_EQ(o.device->WriteChunk(data, 4, milliseconds(1000)).bytes, 4u);
  EXPECT_EQ(o.platform->GetTickCount() - start, 1000u);  // all placed: no wait
  o.device->WaitForOutput(milliseconds(250));
  o.device->WaitForInput(milliseconds(50));
  EXPECT_EQ(o.platform->GetTickCount() - start, 1300u);
  EXPECT_EQ(o.state->Written(), (Bytes{1, 2, 3, 1, 2, 3, 4}));
}

TEST(FakePlatform, WaitReportsQueuedEventsAsQueued) {
  Opened o;
  o.device->SetCommMask(0x1FFB);
  o.state->QueueEvent(EV_RXCHAR | EV_CTS);
  o.state->QueueEvent(0);
  const auto stop_event = o.platform->CreateStopEvent();
  StopEvent& stop = *stop_event;
  std::uint32_t mask = 0;
  EXPECT_EQ(o.device->WaitCommEvent(mask, stop).outcome, WaitOutcome::Events);
  EXPECT_EQ(mask, EV_RXCHAR | EV_CTS);
  EXPECT_EQ(o.device->WaitCommEvent(mask, stop).outcome, WaitOutcome::Events);
  EXPECT_EQ(mask, 0u);
}

// The fake as a line of the shared cases: arrivals are fed and their event queued by hand.
struct FakeLine : Opened {
  OpenResult OpenAgain() { return platform->CreateFile("\\\\.\\COM1"); }
  void PeerWrite(const Bytes& bytes) {
    state->Feed(bytes);
    state->QueueEvent(EV_RXCHAR);
  }
  bool WaitQueued(std::uint32_t) { return true; }  // fed bytes are queued at once
  void HangUp() { state->HangUp(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, DeviceOnLine, FakeLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Fake, DeviceOnLineHangUp, FakeLine);

}  // namespace
}  // namespace serial::platform::fake
