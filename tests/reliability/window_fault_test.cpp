// The window's port loses its line between two polls (the adapter is pulled while the
// window runs): the polls that follow are silent and cheap, a read command logs its frame
// followed by "发送失败！" instead of pretending it went out, and opening the port again on
// a line that is back brings decoding back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "modbus/requests.h"
#include "modbus/tests/reference_frames.h"
#include "serial/platform/testing/pty_pair.h"
#include "tests/reliability/process_probe.h"
#include "tests/reliability/window_rig.h"

namespace reliability {
namespace {

using serial::platform::testing::PtyPair;

constexpr double kNoSpin = 0.3;  // share of one core; a busy loop would come close to 1.0

// A read command answered with the example response, polled until decoded.
void ReadAndAnswer(WindowRig& rig, PtyPair& pty, LogCounts& counts) {
  rig.Read();
  const auto request = modbus::ReadAllRequest(1);
  const auto sent = pty.Read(9 + request.size());  // the mode frame first after opening
  ASSERT_EQ(sent.size(), 9 + request.size());
  ASSERT_TRUE(pty.Write(modbus::testing_frames::ExampleResponse()));
  ASSERT_TRUE(WaitFor([&] { return rig.Window().XMODEM1().InQueueCount() >= 53; }));
  rig.Tick();
  rig.TakeLog(counts);
}

TEST(WindowFaults, HangUpBetweenPollsIsSilentAndTheNextSendReportsItsFailure) {
  auto pty = std::make_unique<PtyPair>();
  WindowRig rig;
  ASSERT_TRUE(rig.OpenPort(pty->SlavePath()));
  LogCounts counts;
  ReadAndAnswer(rig, *pty, counts);
  EXPECT_EQ(counts.decodes, 1);

  pty->CloseMaster();
  LogCounts after;
  const double share = CpuShareOver(std::chrono::milliseconds(1500), [&] {
    rig.ProcessEvents();
    rig.Tick();
  });
  rig.TakeLog(after);
  std::printf("window polling after the hang-up: %.1f %% of one core\n", share * 100);
  EXPECT_LT(share, kNoSpin);
  EXPECT_EQ(after.received, 0);
  EXPECT_TRUE(rig.Boxes().empty());

  rig.Read();  // the mode frame was sent on this opening already: the request alone
  rig.TakeLog(after);
  EXPECT_EQ(after.sent, 1);
  EXPECT_EQ(after.send_failures, 1);
  EXPECT_TRUE(rig.Boxes().empty());

  // The line is back (under a new name, as a re-plugged adapter may be).
  pty = std::make_unique<PtyPair>();
  ASSERT_TRUE(rig.OpenPort(pty->SlavePath()));
  LogCounts back;
  ReadAndAnswer(rig, *pty, back);
  EXPECT_EQ(back.decodes, 1);
  EXPECT_EQ(back.failures, 0);
  EXPECT_TRUE(rig.Boxes().empty());
}

}  // namespace
}  // namespace reliability
