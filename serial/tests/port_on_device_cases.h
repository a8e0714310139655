#pragma once
// The port component's behaviour that holds on every device, as one body per case run over
// each device the tests can make: instantiate PortOnDevice with a line type that provides
//   TXComm comm                          an open port on the device
//   PeerWrite(bytes) / PeerRead(n)       the far end of the line
//   WaitQueued(n)                        until the driver holds n received bytes
//   HangUp()                             the far end goes away (PortOnDeviceHangUp only)
//   ExpectAtOnce(call)                   call returns without waiting for a time-out
//   ExpectReadsOf(sizes)                 the reads the last ExpectAtOnce made, where the
//                                        device can tell them (the fake counts its calls)
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "serial/custom_comm.h"

namespace serial {

template <class Line>
class PortOnDevice : public ::testing::Test {};

TYPED_TEST_SUITE_P(PortOnDevice);

TYPED_TEST_P(PortOnDevice, SentFramesArriveUnchanged) {
  TypeParam line;
  const std::vector<std::uint8_t> frame{0xAA, 0x55, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF};
  EXPECT_TRUE(line.comm.SendString(frame));
  EXPECT_EQ(line.PeerRead(frame.size()), frame);
}

TYPED_TEST_P(PortOnDevice, ReadStringTakesExactlyTheWaitingBytesWithoutWaiting) {
  TypeParam line;
  int reads = 0;
  line.comm.SetOnRead([&](TCustomComm&) { ++reads; });
  const std::vector<std::uint8_t> waiting{0x00, 0x41, 0x00, 0x00, 0x42};
  line.PeerWrite(waiting);
  ASSERT_TRUE(line.WaitQueued(5));
  EXPECT_EQ(line.comm.InQueueCount(), 5u);
  std::vector<std::uint8_t> s{9, 9};
  line.ExpectAtOnce([&] { EXPECT_TRUE(line.comm.ReadString(s)); });
  EXPECT_EQ(s, waiting);
  line.ExpectReadsOf({5});
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(line.comm.OutQueueCount(), 0u);
}

TYPED_TEST_P(PortOnDevice, ReadStringOnAnEmptyQueueIsFalseAtOnce) {
  TypeParam line;
  std::vector<std::uint8_t> s{1, 2, 3};
  line.ExpectAtOnce([&] { EXPECT_FALSE(line.comm.ReadString(s)); });
  EXPECT_TRUE(s.empty());
  line.ExpectReadsOf({});
}

REGISTER_TYPED_TEST_SUITE_P(PortOnDevice, SentFramesArriveUnchanged,
                            ReadStringTakesExactlyTheWaitingBytesWithoutWaiting,
                            ReadStringOnAnEmptyQueueIsFalseAtOnce);

// On the devices whose far end the tests can take away.
template <class Line>
class PortOnDeviceHangUp : public ::testing::Test {};

TYPED_TEST_SUITE_P(PortOnDeviceHangUp);

TYPED_TEST_P(PortOnDeviceHangUp, ASendIntoAHungUpLineEndsAtOnce) {
  TypeParam line;
  line.HangUp();
  std::uint32_t sent = 99;
  line.ExpectAtOnce([&] { sent = line.comm.SendData(std::vector<std::uint8_t>(32, 1).data(), 32); });
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(line.comm.LockState(), TCommLocks{});
  EXPECT_NO_THROW(line.comm.Close());
}

REGISTER_TYPED_TEST_SUITE_P(PortOnDeviceHangUp, ASendIntoAHungUpLineEndsAtOnce);

}  // namespace serial
