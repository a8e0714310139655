// The port component on a real terminal device: a pseudo-terminal whose master side the
// test plays.
#include <gtest/gtest.h>

#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"
#include "serial/tests/fake_port.h"
#include "serial/tests/port_on_device_cases.h"
#include "serial/tests/port_on_line_cases.h"
#include "serial/tests/wait_queued.h"

namespace serial {
namespace {

using testing_support::Bytes;

// The pty as a line of the shared cases: a hang-up is seen at once.
struct PtyLine : testing_support::RealTimeChecks {
  platform::testing::PtyPair pty;
  TXComm comm;
  PtyLine() {
    comm.SetDeviceName(pty.SlavePath());
    testing_support::OpenWithLongTimeouts(comm);
  }
  static const char* MissingName() { return "/dev/no-such-serial-device"; }
  void PeerWrite(const Bytes& bytes) { ASSERT_TRUE(pty.Write(bytes)); }
  Bytes PeerRead(std::size_t n) { return pty.Read(n); }
  // The peer's write takes a moment to cross.
  bool WaitQueued(std::uint32_t n) { return testing_support::WaitQueued(comm, n); }
  void HangUp() { pty.CloseMaster(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnDevice, PtyLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnDeviceHangUp, PtyLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnLine, PtyLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnLineHangUp, PtyLine);
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, PortOnExclusiveLine, PtyLine);

}  // namespace
}  // namespace serial
