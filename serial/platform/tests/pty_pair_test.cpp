#include "serial/platform/testing/pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace serial::platform::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The helper itself must pass every byte unchanged, or the tests built on it prove nothing.
TEST(PtyPair, BothSidesAreRaw) {
  PtyPair pty;
  const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(slave, 0);
  const Bytes bytes = {0x00, '\r', '\n', 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00};
  ASSERT_TRUE(pty.Write(bytes));
  Bytes got(bytes.size());
  std::size_t have = 0;
  while (have < got.size()) {
    const ssize_t n = ::read(slave, got.data() + have, got.size() - have);
    ASSERT_GT(n, 0);
    have += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(got, bytes);
  ASSERT_EQ(::write(slave, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(pty.Read(bytes.size()), bytes);
  ::close(slave);
}

TEST(PtyPair, ClosingTheMasterHangsUpTheSlave) {
  PtyPair pty;
  const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(slave, 0);
  pty.CloseMaster();
  EXPECT_FALSE(pty.MasterOpen());
  pollfd p{slave, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_NE(p.revents & POLLHUP, 0);
  EXPECT_TRUE(pty.Read(1, std::chrono::milliseconds(10)).empty());
  ::close(slave);
}

}  // namespace
}  // namespace serial::platform::testing
