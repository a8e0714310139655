#pragma once
// The port component on a real line, where time passes on its own and the far end is a
// second device: a pseudo-terminal on Linux, a COM port under Wine, the real drivers of the
// driver bench. One body per case, run over each such line: instantiate PortOnLine with a
// line type that provides
//   TXComm comm                  an open port, its time-outs kLongTimeout
//   PeerWrite(bytes) / PeerRead(n)
//   WaitQueued(n)                until the port holds n received bytes
//   static MissingName()         a device name nothing answers to
// and PortOnLineHangUp with one that also provides
//   HangUp()                     the far end goes away; returns once the port can tell
// PortOnExclusiveLine runs where the system opens a device once only.
// Time bounds are generous: they only tell "returned at once" from "waited for the
// time-out".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/tests/fake_port.h"
#include "tests/support/timed.h"

namespace serial::testing_support {

inline constexpr std::chrono::milliseconds kLongTimeout{5000};
inline constexpr std::chrono::milliseconds kAtOnce{2500};

using test_support::Timed;

// Sets the time-outs the line cases expect and opens the port.
inline void OpenWithLongTimeouts(TXComm& comm) {
  comm.Buffers().SetInputTimeout(static_cast<std::uint16_t>(kLongTimeout.count()));
  comm.Buffers().SetOutputTimeout(static_cast<std::uint16_t>(kLongTimeout.count()));
  EXPECT_TRUE(comm.Open());
}

// What a real line lets the device cases tell: time is real, so "at once" is well inside
// the time-out, and the reads made are the driver's own business.
struct RealTimeChecks {
  template <class Call>
  void ExpectAtOnce(Call&& call) {
    EXPECT_LT(Timed(call), kAtOnce);
  }
  void ExpectReadsOf(const std::vector<std::uint32_t>&) {}
};

}  // namespace serial::testing_support

namespace serial {
template <class Line>
class PortOnLine : public ::testing::Test {};

TYPED_TEST_SUITE_P(PortOnLine);

// Every value twice, then a run of zeros.
TYPED_TEST_P(PortOnLine, EveryByteValueCrossesUnchangedBothWays) {
  TypeParam line;
  testing_support::Bytes all(2 * 256 + 64, 0);
  for (int i = 0; i < 2 * 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  EXPECT_TRUE(line.comm.SendString(all));
  EXPECT_EQ(line.PeerRead(all.size()), all);
  line.PeerWrite(all);
  ASSERT_TRUE(line.WaitQueued(static_cast<std::uint32_t>(all.size())));
  testing_support::Bytes s;
  EXPECT_TRUE(line.comm.ReadString(s));
  EXPECT_EQ(s, all);
}

TYPED_TEST_P(PortOnLine, ReadBufferWaitsForBytesStillOnTheirWay) {
  TypeParam line;
  std::thread peer([&] {
    // The pause is the case: the bytes are sent only after the read has begun waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    line.PeerWrite(testing_support::Bytes{7, 8, 9});
  });
  testing_support::Bytes buffer(3);
  EXPECT_EQ(line.comm.ReadBuffer(buffer.data(), 3, 4000), 3u);
  peer.join();
  EXPECT_EQ(buffer, (testing_support::Bytes{7, 8, 9}));
}

TYPED_TEST_P(PortOnLine, AReadOfMoreThanArrivesEndsAfterItsTimeoutWithWhatCame) {
  TypeParam line;
  line.PeerWrite(testing_support::Bytes{1, 2});
  ASSERT_TRUE(line.WaitQueued(2));
  testing_support::Bytes buffer(10);
  std::uint32_t read = 0;
  const auto took =
      testing_support::Timed([&] { read = line.comm.ReadBuffer(buffer.data(), 10, 300); });
  EXPECT_EQ(read, 2u);
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, testing_support::kAtOnce);
  // Nothing more comes: the next read ends at its time-out with nothing.
  const auto idle =
      testing_support::Timed([&] { read = line.comm.ReadBuffer(buffer.data(), 8, 400); });
  EXPECT_EQ(read, 0u);
  EXPECT_GE(idle, std::chrono::milliseconds(390));
  EXPECT_LT(idle, std::chrono::milliseconds(4000));
}

// Twice the 8250's 4 KiB transmit queue, each way; an emulated line on a busy machine is
// slow, so the patience is long.
TYPED_TEST_P(PortOnLine, ABlockLargerThanTheDriverQueuesArrivesWhole) {
  TypeParam line;
  testing_support::Bytes block(8 * 1024);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  line.comm.Buffers().SetOutputTimeout(30000);
  auto sent = std::async(std::launch::async, [&] { return line.comm.SendString(block); });
  EXPECT_EQ(line.PeerRead(block.size()), block);
  EXPECT_TRUE(sent.get());
  std::thread peer([&] { line.PeerWrite(block); });
  testing_support::Bytes back(block.size());
  back.resize(line.comm.ReadBuffer(back.data(), static_cast<std::uint32_t>(back.size()), 30000));
  peer.join();
  EXPECT_EQ(back, block);
}

TYPED_TEST_P(PortOnLine, ClosedAndReopenedThePortCarriesBytesAgain) {
  TypeParam line;
  const auto crosses_both_ways = [&line] {
    const testing_support::Bytes frame{0x10, 0x00, 0x20, 0x30};
    EXPECT_TRUE(line.comm.SendString(frame));
    EXPECT_EQ(line.PeerRead(frame.size()), frame);
    line.PeerWrite(frame);
    ASSERT_TRUE(line.WaitQueued(4));
    testing_support::Bytes s;
    EXPECT_TRUE(line.comm.ReadString(s));
    EXPECT_EQ(s, frame);
  };
  crosses_both_ways();
  EXPECT_LT(testing_support::Timed([&] { line.comm.Close(); }), std::chrono::milliseconds(1000))
      << "with nothing waiting";
  EXPECT_FALSE(line.comm.IsOpen());
  ASSERT_TRUE(line.comm.Open());
  crosses_both_ways();
}

TYPED_TEST_P(PortOnLine, ANameThatDoesNotExistIsRefusedWithoutError) {
  TXComm comm;
  comm.SetDeviceName(TypeParam::MissingName());
  EXPECT_FALSE(comm.Open());
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(testing_support::CodeOf([&] { comm.Close(); }), 1);
}

REGISTER_TYPED_TEST_SUITE_P(PortOnLine, EveryByteValueCrossesUnchangedBothWays,
                            ReadBufferWaitsForBytesStillOnTheirWay,
                            AReadOfMoreThanArrivesEndsAfterItsTimeoutWithWhatCame,
                            ABlockLargerThanTheDriverQueuesArrivesWhole,
                            ClosedAndReopenedThePortCarriesBytesAgain,
                            ANameThatDoesNotExistIsRefusedWithoutError);

// On the lines whose far end the tests can take away.
template <class Line>
class PortOnLineHangUp : public ::testing::Test {};

TYPED_TEST_SUITE_P(PortOnLineHangUp);

TYPED_TEST_P(PortOnLineHangUp, AHungUpLineFailsReadsWithTheSystemsReasonAndShortensSendsAtOnce) {
  TypeParam line;
  line.HangUp();
  testing_support::Bytes buffer(16);
  std::string message;
  const auto read_time = testing_support::Timed([&] {
    try {
      line.comm.ReadData(buffer.data(), 16);
    } catch (const EDeviceError& e) {
      EXPECT_EQ(e.ErrorCode(), 10);
      message = e.what();
    }
  });
  EXPECT_LT(read_time, testing_support::kAtOnce);
  EXPECT_EQ(message.rfind("Unable to read from port. (Win32 error ", 0), 0u) << message;
  EXPECT_EQ(message.back(), ')') << message;
  EXPECT_EQ(message.find(".)"), std::string::npos) << "the system's text is trimmed: " << message;
  const testing_support::Bytes frame(64, 0x55);
  EXPECT_LT(testing_support::Timed([&] { EXPECT_FALSE(line.comm.SendString(frame)); }),
            testing_support::kAtOnce);
  EXPECT_NO_THROW(line.comm.Close());
  EXPECT_FALSE(line.comm.IsOpen());
}

REGISTER_TYPED_TEST_SUITE_P(PortOnLineHangUp,
                            AHungUpLineFailsReadsWithTheSystemsReasonAndShortensSendsAtOnce);

template <class Line>
class PortOnExclusiveLine : public ::testing::Test {};

TYPED_TEST_SUITE_P(PortOnExclusiveLine);

TYPED_TEST_P(PortOnExclusiveLine, ASecondPortOnTheSameDeviceIsRefused) {
  TypeParam line;
  TXComm second;
  second.SetDeviceName(line.comm.DeviceName());
  EXPECT_FALSE(second.Open());
  const testing_support::Bytes frame{0x42};
  EXPECT_TRUE(line.comm.SendString(frame));
  EXPECT_EQ(line.PeerRead(1), frame) << "the first port carries on";
}

REGISTER_TYPED_TEST_SUITE_P(PortOnExclusiveLine, ASecondPortOnTheSameDeviceIsRefused);

}  // namespace serial
