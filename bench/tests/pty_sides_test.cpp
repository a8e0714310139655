// The two ends of the transfer benchmarks on a real pseudo-terminal: a block goes through
// each unchanged, a wrong or missing block is reported instead of counted or waited for.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "bench/support/pty_sides.h"
#include "serial/platform/testing/pty_pair.h"

namespace bench {
namespace {

using serial::platform::testing::PtyPair;
using namespace std::chrono_literals;

TEST(BenchPattern, HoldsEveryByteValueIncludingZero) {
  const Bytes block = Pattern(256);
  ASSERT_EQ(block.size(), 256U);
  std::vector<bool> seen(256);
  for (std::uint8_t b : block) seen[b] = true;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
  EXPECT_NE(Pattern(8, 1), Pattern(8, 2));
}

template <typename Side>
void RoundTrip(PtyPair& pty, Side& side) {
  for (std::size_t size : {1U, 53U, 2048U}) {
    const Bytes block = Pattern(size, static_cast<std::uint8_t>(size));
    side.Send(block);
    EXPECT_EQ(pty.Read(size), block) << size << " B to the peer";
    ASSERT_TRUE(pty.Write(block));
    EXPECT_NO_THROW(side.Receive(block)) << size << " B from the peer";
  }
}

TEST(BenchPtySides, BlocksPassBothWaysUnchanged) {
  PtyPair pty;
  {
    RawSide raw(pty.SlavePath());
    RoundTrip(pty, raw);
  }
  CommSide comm(pty.SlavePath());
  RoundTrip(pty, comm);
}

TEST(BenchPtySides, ABlockThatDiffersIsReported) {
  PtyPair pty;
  const Bytes expected = Pattern(16);
  Bytes wrong = expected;
  wrong[7] ^= 0xFF;
  {
    RawSide raw(pty.SlavePath());
    ASSERT_TRUE(pty.Write(wrong));
    EXPECT_THROW(raw.Receive(expected), std::runtime_error);
  }
  CommSide comm(pty.SlavePath());
  ASSERT_TRUE(pty.Write(wrong));
  EXPECT_THROW(comm.Receive(expected), std::runtime_error);
}

TEST(BenchPtySides, AMissingBlockEndsAtTheDeadlineInsteadOfHanging) {
  PtyPair pty;
  const Bytes expected = Pattern(16);
  {
    RawSide raw(pty.SlavePath(), 100ms);
    ASSERT_TRUE(pty.Write(Bytes(expected.begin(), expected.begin() + 8)));
    EXPECT_THROW(raw.Receive(expected), std::runtime_error);
  }
  CommSide comm(pty.SlavePath(), 100ms);
  EXPECT_THROW(comm.Receive(expected), std::runtime_error);
}

TEST(BenchPtySides, APathThatIsNoTerminalIsRefused) {
  EXPECT_THROW(RawSide("/dev/null"), std::system_error);
  EXPECT_THROW(CommSide("/nonexistent/tty"), std::runtime_error);
}

}  // namespace
}  // namespace bench
