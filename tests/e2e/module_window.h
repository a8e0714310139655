#pragma once
// The test window on the slave side of a pseudo-terminal whose other end the simulated
// module serves, in this process. The window's timer is stopped: each test ticks when the
// bytes it waits for have arrived, so a tick falls exactly where the test wants it (between
// the pieces of a split reply, after an echo). The half-second pause after the mode frame
// is replaced by a wait until the module has received the frame, then the tick that falls
// due during the real pause.
#include <chrono>
#include <cstdint>
#include <memory>

#include <QString>
#include <QStringList>

#include "app/tests/window_fixture.h"
#include "modbus/byte_string.h"
#include "tests/support/wait_for.h"
#include "tools/qlm7305_sim/simulated_module.h"

namespace rtutest::e2e {

// Only a failing test waits this long.
using test_support::kDeadline;

// The module with the example values (AIN0..3 = 1.0, 10.0, 23.456, -0.5, relay 2 on).
sim::SimulatorOptions FixedModule();

using testing::ExampleValueLines;
using testing::Hex;
using testing::ReceivedLine;
using testing::SentLine;

class ModuleWindow : public testing::DeviceWindow {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the module; the window's Edit1 gets its pty path.
  void Start(sim::SimulatorOptions options);
  sim::SimulatedModule& Module() { return *module_; }

  // Waits until the module has seen `count` more intact frames than before the command.
  bool WaitForMoreRequests(std::uint64_t before, std::uint64_t count = 1);
  // A read whose whole answer arrives before the next tick.
  void ReadAndTick(std::uint32_t answer_bytes = 53);

  std::unique_ptr<sim::SimulatedModule> module_;
  // Bytes the module puts on the line in answer to the mode frame (an echo, an answer);
  // the pause waits for them so the tick inside the pause logs them.
  std::uint32_t mode_answer_bytes_ = 0;

 private:
  void AfterModeFrame();
  std::uint64_t mode_frames_seen_ = 0;
};

}  // namespace rtutest::e2e
