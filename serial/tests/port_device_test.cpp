// Opening, closing, queue counts, locks, sending and reading on the fake device, whose
// clock moves only when the component waits: time-outs are exact and take no real time.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "serial/tests/dcb_print.h"
#include "serial/tests/fake_port.h"
#include "serial/tests/port_on_device_cases.h"

namespace serial {
namespace {

using std::chrono::milliseconds;
using testing_support::Bytes;
using testing_support::CodeOf;
using testing_support::FakePort;
using testing_support::Names;

// ---- what holds on every device, here on the fake -------------------------------------

// The fake as a line: the peer's bytes are fed, the written ones are the peer's to read.
struct FakeLine {
  FakePort p;
  TXComm& comm = p.comm;
  FakeLine() { p.OpenAndClear(); }
  void PeerWrite(const Bytes& bytes) { p.state->Feed(bytes); }
  Bytes PeerRead(std::size_t n) {
    Bytes written = p.state->Written();
    EXPECT_EQ(written.size(), n);
    return written;
  }
  bool WaitQueued(std::uint32_t) { return true; }  // fed bytes are queued at once
  void HangUp() { p.state->HangUp(); }
  // The fake's clock moves only when the component waits: no wait is no time and no call.
  template <class Call>
  void ExpectAtOnce(Call&& call) {
    p.state->ClearCalls();
    const std::uint32_t start = p.state->Now();
    call();
    EXPECT_EQ(p.state->Now(), start);
    EXPECT_EQ(p.state->CallCount("WaitForInput"), 0u);
    EXPECT_EQ(p.state->CallCount("WaitForOutput"), 0u);
  }
  void ExpectReadsOf(const std::vector<std::uint32_t>& sizes) {
    EXPECT_EQ(p.state->ArgsOf<std::uint32_t>("ReadChunk"), sizes);
    EXPECT_EQ(p.state->CallCount("ClearCommError"), 1u) << "the count is asked once";
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, PortOnDevice, FakeLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Fake, PortOnDeviceHangUp, FakeLine);

// ---- open and close -------------------------------------------------------------------

TEST(Open, OpensTheNamedDeviceAndConfiguresItInOrder) {
  FakePort p;
  p.comm.SetDeviceName("ttyS0");
  EXPECT_TRUE(p.comm.Open());
  EXPECT_TRUE(p.comm.IsOpen());
  EXPECT_EQ(p.DeviceCalls(), (Names{"CreateFile", "SetCommState", "PurgeComm", "SetupComm",
                                    "SetCommTimeouts"}));
  EXPECT_EQ(p.state->ArgsOf<std::string>("CreateFile"), Names{"\\\\.\\ttyS0"});
  EXPECT_EQ(p.Applied().at(0).BaudRate, 9600u);
  EXPECT_EQ(p.state->ArgsOf<platform::COMMTIMEOUTS>("SetCommTimeouts"),
            (std::vector<platform::COMMTIMEOUTS>{{1, 0, 1, 0, 1}}));
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
}

TEST(Open, ARefusedDeviceIsAFalseResultAndNoError) {
  FakePort p;
  p.state->FailCall("CreateFile", ENOENT);
  EXPECT_FALSE(p.comm.Open());
  EXPECT_FALSE(p.comm.IsOpen());
  EXPECT_EQ(p.DeviceCalls(), Names{"CreateFile"});
  EXPECT_EQ(p.comm.LastSystemError(),
            (TSystemError{ENOENT, p.platform->ErrorText(ENOENT)}));
  p.state->ClearFailure("CreateFile");
  ASSERT_TRUE(p.comm.Open());  // a new attempt forgets the old reason
  EXPECT_EQ(p.comm.LastSystemError(), TSystemError{});
}

TEST(Open, AgainWhileOpenRaisesCode2AndKeepsTheConnection) {
  FakePort p;
  p.OpenAndClear();
  try {
    p.comm.Open();
    FAIL() << "second open accepted";
  } catch (const EDeviceError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_STREQ(e.what(), "Device is allready opened.");
  }
  EXPECT_TRUE(p.comm.IsOpen());
  EXPECT_TRUE(p.state->IsOpen());
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(Open, AConfigurationFailureRaisesAndLeavesTheDeviceOpen) {
  struct Case {
    const char* call;
    std::int32_t code;
    Names made;
  };
  for (const Case& c : {Case{"SetCommState", 3, {"CreateFile", "SetCommState"}},
                        Case{"SetupComm", 6, {"CreateFile", "SetCommState", "PurgeComm",
                                              "SetupComm"}},
                        Case{"SetCommTimeouts", 7, {"CreateFile", "SetCommState", "PurgeComm",
                                                    "SetupComm", "SetCommTimeouts"}}}) {
    FakePort p;
    p.state->FailCall(c.call);
    EXPECT_EQ(CodeOf([&] { p.comm.Open(); }), c.code) << c.call;
    EXPECT_TRUE(p.comm.IsOpen()) << c.call;
    EXPECT_EQ(p.DeviceCalls(), c.made) << c.call;
    p.comm.Close();
  }
}

TEST(Close, ClosesTheHandleWithoutTouchingTheLine) {
  FakePort p;
  p.OpenAndClear();
  p.comm.Close();
  EXPECT_FALSE(p.comm.IsOpen());
  EXPECT_FALSE(p.state->IsOpen());
  EXPECT_EQ(p.DeviceCalls(), Names{"CloseHandle"});
  EXPECT_EQ(p.comm.LockState(), (TCommLocks{lkSend, lkRead}));
  EXPECT_TRUE(p.comm.Open()) << "the device can be opened again";
}

TEST(Close, WhenClosedRaisesCode1) {
  FakePort p;
  EXPECT_EQ(CodeOf([&] { p.comm.Close(); }), 1);
}

TEST(Destructor, ClosesAnOpenDeviceAndLeavesAClosedOneAlone) {
  FakePort p;
  {
    TXComm open(p.platform);
    ASSERT_TRUE(open.Open());
  }
  EXPECT_FALSE(p.state->IsOpen());
  EXPECT_EQ(p.state->CallCount("CloseHandle"), 1u);
  { TXComm closed(p.platform); }
  EXPECT_EQ(p.state->CallCount("CloseHandle"), 1u);
}

// ---- the error table: a closed port raises code 1 for every transfer --------------------

TEST(ClosedPort, EveryTransferAndCountRaisesCode1) {
  FakePort p;
  std::uint8_t byte = 0;
  Bytes s;
  const std::function<void()> calls[] = {
      [&] { p.comm.InQueueCount(); },        [&] { p.comm.OutQueueCount(); },
      [&] { p.comm.SendBuffer(&byte, 1, 10); }, [&] { p.comm.SendData(&byte, 1); },
      [&] { p.comm.SendString(Bytes{}); },   [&] { p.comm.ReadBuffer(&byte, 1, 10); },
      [&] { p.comm.ReadData(&byte, 1); },    [&] { p.comm.ReadString(s); },
      [&] { p.comm.Close(); }};
  for (const auto& call : calls) {
    try {
      call();
      ADD_FAILURE() << "no error";
    } catch (const EDeviceError& e) {
      EXPECT_EQ(e.ErrorCode(), 1);
      EXPECT_STREQ(e.what(), "Device not opened.");
    }
  }
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(QueueCounts, ReportTheDriversQueuesAndIgnoreAFailedQuery) {
  FakePort p;
  p.OpenAndClear();
  p.state->Feed({1, 2, 3});
  p.state->SetOutQueue(40);
  p.state->SetCommErrors(platform::CE_FRAME);
  EXPECT_EQ(p.comm.InQueueCount(), 3u);
  EXPECT_EQ(p.comm.OutQueueCount(), 40u);
  p.state->FailCall("ClearCommError");
  EXPECT_EQ(p.comm.InQueueCount(), 0u);
}

// ---- sending --------------------------------------------------------------------------

struct Counters {
  int sends = 0;
  int out_empty = 0;
  void Attach(TXComm& comm) {
    comm.SetOnSend([this](TCustomComm&) { ++sends; });
    comm.SetOnCommEvent([this](TCustomComm&, TDeviceEvents e) {
      if (e.Contains(deOutEmpty)) ++out_empty;
    });
  }
};

TEST(Send, WritesEveryByteZerosIncludedInOneChunk) {
  FakePort p;
  Counters n;
  n.Attach(p.comm);
  p.OpenAndClear();
  const Bytes frame{0x01, 0x00, 0x03, 0x00, 0x00, 0xFF};
  EXPECT_TRUE(p.comm.SendString(frame));
  EXPECT_EQ(p.state->Written(), frame);
  EXPECT_EQ(p.state->ArgsOf<platform::fake::WriteRequest>("WriteChunk"),
            (std::vector<platform::fake::WriteRequest>{{6, milliseconds(1000)}}));
  EXPECT_EQ(n.sends, 1);
  EXPECT_EQ(n.out_empty, 1);
}

TEST(Send, AnEmptyStringIsSentAtOnce) {
  FakePort p;
  p.OpenAndClear();
  EXPECT_TRUE(p.comm.SendString(Bytes{}));
  EXPECT_EQ(p.comm.SendBuffer(nullptr, 0, 100), 0u);
  EXPECT_EQ(p.state->CallCount("WriteChunk"), 0u);
}

TEST(Send, ChunksAreBoundedByTheFreeSpaceInUnsigned32BitArithmetic) {
  FakePort p;
  p.OpenAndClear();
  p.state->SetOutQueue(2000);  // 48 of 2048 free
  p.comm.SendString(Bytes(100, 0x55));
  p.state->SetOutQueue(3000);  // more than the stored size: the difference wraps around
  p.comm.SendString(Bytes(10, 0x55));
  const auto chunks = p.state->ArgsOf<platform::fake::WriteRequest>("WriteChunk");
  ASSERT_GE(chunks.size(), 2u);
  EXPECT_EQ(chunks.front().n, 48u);
  EXPECT_EQ(chunks.back().n, 10u);
}

// A chunk the system took only in part continues at the first byte not taken.
TEST(Send, NoByteIsSentTwiceWhenChunksArePartial) {
  FakePort p;
  Counters n;
  n.Attach(p.comm);
  p.OpenAndClear();
  p.state->SetWriteLimit(3);
  Bytes frame;
  for (int i = 0; i < 10; ++i) frame.push_back(static_cast<std::uint8_t>(i));
  EXPECT_TRUE(p.comm.SendString(frame));
  EXPECT_EQ(p.state->Written(), frame);
  std::vector<std::uint32_t> sizes;
  for (const auto& w : p.state->ArgsOf<platform::fake::WriteRequest>("WriteChunk"))
    sizes.push_back(w.n);
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{10, 7, 4, 1}));
  EXPECT_EQ(n.sends, 4);
  EXPECT_EQ(n.out_empty, 4);
  EXPECT_GT(p.state->Now(), 500u) << "progress is never cut short by the time-out";
}

TEST(Send, AQueueThatStaysFullEndsAfterTheTimeoutWithoutSpinning) {
  FakePort p;
  p.OpenAndClear();
  p.state->SetOutQueue(2048);
  const std::uint32_t start = p.state->Now();
  EXPECT_FALSE(p.comm.SendString(Bytes{1, 2, 3}));
  EXPECT_EQ(p.state->CallCount("WriteChunk"), 0u);
  EXPECT_GT(p.state->Now(), 500u);
  EXPECT_LE(p.state->Now(), 511u);
  // Every turn waited (no busy loop), each for the time left, just past the time-out.
  const auto waits = p.state->ArgsOf<milliseconds>("WaitForOutput");
  EXPECT_EQ(waits.size(), p.state->CallCount("ClearCommError") - 1);
  std::uint32_t elapsed = 0;
  for (milliseconds w : waits) {
    EXPECT_EQ(w, milliseconds(500 - elapsed + 1));
    elapsed += static_cast<std::uint32_t>(w.count());
  }
  EXPECT_EQ(p.state->Now() - start, elapsed);
}

TEST(Send, AChunkThatWritesNothingIsDispatchedAndEndsAtTheTimeout) {
  FakePort p;
  Counters n;
  n.Attach(p.comm);
  p.OpenAndClear();
  p.comm.Buffers().SetOutputTimeout(2500);
  p.state->SetWriteLimit(0);
  EXPECT_EQ(p.comm.SendData(Bytes{1, 2}.data(), 2), 0u);
  // Each chunk waits its 1000 ms for the device; the third turn finds 3000 ms > 2500 ms.
  EXPECT_EQ(p.state->CallCount("WriteChunk"), 3u);
  EXPECT_EQ(p.state->CallCount("WaitForOutput"), 0u);
  EXPECT_EQ(n.out_empty, 3);
  EXPECT_EQ(n.sends, 0);
}

TEST(Send, AFullQueueWaitsAtMostUntilJustPastTheTimeout) {
  FakePort p;
  p.OpenAndClear();
  p.state->SetOutQueue(2048);
  std::uint8_t byte = 7;
  EXPECT_EQ(p.comm.SendBuffer(&byte, 1, 5), 0u);
  EXPECT_EQ(p.state->ArgsOf<milliseconds>("WaitForOutput"),
            std::vector<milliseconds>{milliseconds(6)});
}

TEST(Send, AHardWriteErrorEndsTheSendAtOnce) {
  FakePort p;
  Counters n;
  n.Attach(p.comm);
  p.OpenAndClear();
  p.state->HangUp();
  EXPECT_FALSE(p.comm.SendString(Bytes(20, 0xAA)));
  EXPECT_EQ(p.state->CallCount("WriteChunk"), 1u);
  EXPECT_EQ(p.state->Now(), 0u) << "no waiting for a device that is gone";
  EXPECT_EQ(n.out_empty, 1);
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
  EXPECT_NO_THROW(p.comm.Close());
}

TEST(Send, ALockedSendRaisesCode4InsideOnSendAndTheFlagIsClearedAfterwards) {
  FakePort p;
  std::int32_t inner = 0;
  std::uint32_t read_inside = 99;
  p.comm.SetOnSend([&](TCustomComm& c) {
    inner = CodeOf([&] { c.SendString(Bytes{9}); });
    Bytes s;
    c.ReadString(s);  // reading from inside OnSend is allowed
    read_inside = static_cast<std::uint32_t>(s.size());
  });
  p.OpenAndClear();
  p.state->Feed({5});
  EXPECT_TRUE(p.comm.SendString(Bytes{1}));
  EXPECT_EQ(inner, 4);
  EXPECT_EQ(read_inside, 1u);
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
  EXPECT_EQ(p.state->Written(), Bytes{1});
}

TEST(Send, AnErrorFromOnSendLeavesTheSendAndClearsTheFlag) {
  FakePort p;
  p.comm.SetOnSend([](TCustomComm&) { throw std::runtime_error("handler failed"); });
  p.OpenAndClear();
  EXPECT_THROW(p.comm.SendString(Bytes{1, 2}), std::runtime_error);
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
}

TEST(Send, AHandlerThatClosesThePortEndsTheSendWithCode1) {
  FakePort p;
  p.comm.SetOnCommEvent([](TCustomComm& c, TDeviceEvents) { c.Close(); });
  p.OpenAndClear();
  p.state->SetWriteLimit(1);
  EXPECT_EQ(CodeOf([&] { p.comm.SendString(Bytes{1, 2}); }), 1);
  EXPECT_FALSE(p.comm.IsOpen());
}

// ---- reading --------------------------------------------------------------------------

TEST(Read, ReadDataReturnsWhatArrivedOnceTheTimeoutHasPassed) {
  FakePort p;
  p.OpenAndClear();
  p.state->Feed({1, 2, 3});
  Bytes buffer(10);
  EXPECT_EQ(p.comm.ReadData(buffer.data(), 10), 3u);
  // One wait until just past InputTimeout instead of a busy loop.
  EXPECT_EQ(p.state->ArgsOf<milliseconds>("WaitForInput"),
            std::vector<milliseconds>{milliseconds(501)});
  EXPECT_EQ(p.state->Now(), 501u);
}

TEST(Read, AFailedChunkRaisesCode10WithTheSystemsError) {
  FakePort p;
  p.OpenAndClear();
  p.state->Feed({1, 2});
  p.state->FailCall("ReadChunk", EIO);
  p.state->SetErrorText(EIO, "Input/output error.\n");
  Bytes s;
  try {
    p.comm.ReadString(s);
    FAIL() << "no error";
  } catch (const EDeviceError& e) {
    EXPECT_EQ(e.ErrorCode(), 10);
    EXPECT_EQ(std::string(e.what()),
              "Unable to read from port. (Win32 error " + std::to_string(EIO) +
                  ": Input/output error)");
  }
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
}

TEST(Read, ADeviceGoneWhileWaitingRaisesCode10InsteadOfWaitingOn) {
  FakePort p;
  p.OpenAndClear();
  p.state->Feed({1, 2});
  p.state->HangUp();
  p.state->FailCall("ClearCommError");  // a device that is gone cannot report its queues
  Bytes buffer(8);
  // The bytes read before the failure are returned; the next call raises it.
  EXPECT_EQ(p.comm.ReadData(buffer.data(), 8), 2u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 2), (Bytes{1, 2}));
  EXPECT_EQ(p.state->CallCount("ReadChunk"), 2u) << "the waiting bytes, then the failure";
  EXPECT_EQ(CodeOf([&] { p.comm.ReadData(buffer.data(), 8); }), 10);
  EXPECT_EQ(p.state->Now(), 0u);
  Bytes s;
  EXPECT_FALSE(p.comm.ReadString(s)) << "nothing waits, so nothing is read and nothing raised";
  EXPECT_NO_THROW(p.comm.Close());
}

TEST(Read, ALockedReadRaisesCode5InsideOnReadAndSendingThereIsAllowed) {
  FakePort p;
  std::int32_t inner = 0;
  bool sent = false;
  p.comm.SetOnRead([&](TCustomComm& c) {
    Bytes s;
    inner = CodeOf([&] { c.ReadString(s); });
    sent = c.SendString(Bytes{0x06});
  });
  p.OpenAndClear();
  p.state->Feed({1});
  Bytes s;
  EXPECT_TRUE(p.comm.ReadString(s));
  EXPECT_EQ(inner, 5);
  EXPECT_TRUE(sent);
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
}

TEST(Locks, OpenClearsTheBusyFlags) {
  FakePort p;
  TCommLocks inside_after_reopen{lkSend};
  p.comm.SetOnSend([&](TCustomComm& c) {
    c.Close();
    c.Open();
    inside_after_reopen = c.LockState();
  });
  p.OpenAndClear();
  std::uint8_t byte = 1;
  EXPECT_EQ(CodeOf([&] { p.comm.SendBuffer(&byte, 1, 0); }), 0);
  EXPECT_EQ(inside_after_reopen, TCommLocks{});
}

TEST(BadInput, ANullBufferWithACountIsRefused) {
  FakePort p;
  p.OpenAndClear();
  EXPECT_THROW(p.comm.SendBuffer(nullptr, 3, 10), std::invalid_argument);
  EXPECT_THROW(p.comm.ReadBuffer(nullptr, 3, 10), std::invalid_argument);
  EXPECT_EQ(p.comm.LockState(), TCommLocks{});
}

}  // namespace
}  // namespace serial
