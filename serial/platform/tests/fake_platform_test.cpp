#include "serial/platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

namespace serial::platform::fake {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

struct Opened {
  std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
  std::shared_ptr<FakeState> state = platform->State();
  std::unique_ptr<SerialDevice> device;
  Opened() {
    int error = -1;
    device = platform->CreateFile("\\\\.\\COM1", error);
    EXPECT_EQ(error, 0);
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
  EXPECT_EQ(o.device->ReadChunk(buffer, 2).error, EPROTO);
  o.state->ClearFailure("ReadChunk");
  EXPECT_EQ(o.device->ReadChunk(buffer, 2).bytes, 2u);
}

TEST(FakePlatform, OpenRefusedWithErrorOrWhileOpen) {
  Opened o;
  int error = 0;
  EXPECT_EQ(o.platform->CreateFile("\\\\.\\COM1", error), nullptr);
  EXPECT_EQ(error, EBUSY);
  o.device.reset();
  o.state->FailCall("CreateFile", ENOENT);
  EXPECT_EQ(o.platform->CreateFile("\\\\.\\COM9", error), nullptr);
  EXPECT_EQ(error, ENOENT);
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

TEST(FakePlatform, HangUpFailsWritesAndWaitsButKeepsReceivedBytes) {
  Opened o;
  o.state->Feed({9});
  o.device->SetCommMask(EV_RXCHAR);
  o.state->HangUp();
  std::uint8_t byte = 0;
  EXPECT_EQ(o.device->WriteChunk(&byte, 1, milliseconds(1000)).error, EIO);
  const auto stop_event = o.platform->CreateStopEvent();
  StopEvent& stop = *stop_event;
  std::uint32_t mask = 0;
  EXPECT_EQ(o.device->WaitCommEvent(mask, stop), WaitOutcome::Failed);
  EXPECT_EQ(o.device->ReadChunk(&byte, 1).bytes, 1u);
  EXPECT_EQ(byte, 9);
  EXPECT_EQ(o.device->ReadChunk(&byte, 1).error, EIO);
}

TEST(FakePlatform, WaitReportsQueuedEventsAsQueued) {
  Opened o;
  o.device->SetCommMask(0x1FFB);
  o.state->QueueEvent(EV_RXCHAR | EV_CTS);
  o.state->QueueEvent(0);
  const auto stop_event = o.platform->CreateStopEvent();
  StopEvent& stop = *stop_event;
  std::uint32_t mask = 0;
  EXPECT_EQ(o.device->WaitCommEvent(mask, stop), WaitOutcome::Events);
  EXPECT_EQ(mask, EV_RXCHAR | EV_CTS);
  EXPECT_EQ(o.device->WaitCommEvent(mask, stop), WaitOutcome::Events);
  EXPECT_EQ(mask, 0u);
}

// A wait blocked on the event thread ends when another thread sets the stop event, clears
// the mask, queues an event or hangs up.
TEST(FakePlatform, PendingWaitEndsFromAnotherThread) {
  struct Case {
    const char* what;
    WaitOutcome expected;
    void (*act)(FakeState&, SerialDevice&, StopEvent&);
  };
  const Case cases[] = {
      {"stop", WaitOutcome::Stopped, [](FakeState&, SerialDevice&, StopEvent& s) { s.Set(); }},
      {"mask 0", WaitOutcome::Stopped,
       [](FakeState&, SerialDevice& d, StopEvent&) { d.SetCommMask(0); }},
      {"event", WaitOutcome::Events,
       [](FakeState& f, SerialDevice&, StopEvent&) { f.QueueEvent(EV_RXFLAG); }},
      {"hang-up", WaitOutcome::Failed,
       [](FakeState& f, SerialDevice&, StopEvent&) { f.HangUp(); }},
  };
  for (const Case& c : cases) {
    Opened o;
    o.device->SetCommMask(0x1FFB);
    const auto stop_event = o.platform->CreateStopEvent();
  StopEvent& stop = *stop_event;
    auto waiting = std::async(std::launch::async, [&] {
      std::uint32_t mask = 0;
      return o.device->WaitCommEvent(mask, stop);
    });
    EXPECT_EQ(waiting.wait_for(milliseconds(50)), std::future_status::timeout) << c.what;
    c.act(*o.state, *o.device, stop);
    EXPECT_EQ(waiting.get(), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace serial::platform::fake
