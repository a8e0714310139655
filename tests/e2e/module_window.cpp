#include "tests/e2e/module_window.h"

#include <QLineEdit>
#include <QPushButton>


namespace rtutest::e2e {

sim::SimulatorOptions FixedModule() {
  sim::SimulatorOptions options;
  options.values = sim::ValueMode::kFixed;
  return options;
}

// The documented answer, written out byte for byte, so the module's encoder is checked too.
void ModuleWindow::SetUp() {
  DeviceWindow::SetUp();
  instruments_.on_pause = [this] { AfterModeFrame(); };
}

void ModuleWindow::TearDown() {
  if (module_) module_->Stop();
}

void ModuleWindow::Start(sim::SimulatorOptions options) {
  module_ = std::make_unique<sim::SimulatedModule>(std::move(options));
  mode_frames_seen_ = 0;
  window_.Controls().Edit1->setText(QString::fromStdString(module_->SlavePath()));
}

// Stands in for the half-second pause: the module has the mode frame and has answered it
// (when it answers), then the tick that falls due during the pause runs.
void ModuleWindow::AfterModeFrame() {
  const std::uint64_t seen = mode_frames_seen_;
  EXPECT_TRUE(module_->WaitUntil([seen](const sim::ModuleCounters& c) { return c.mode_frames > seen; },
                                 kDeadline))
      << "the module never received the mode frame";
  mode_frames_seen_ = module_->Counters().mode_frames;
  if (mode_answer_bytes_ > 0) {
    EXPECT_TRUE(WaitUntilWaiting(mode_answer_bytes_));
  }
  Tick();
}

bool ModuleWindow::WaitForMoreRequests(std::uint64_t before, std::uint64_t count) {
  return module_->WaitForRequests(before + count, kDeadline);
}

void ModuleWindow::ReadAndTick(std::uint32_t answer_bytes) {
  const std::uint64_t before = module_->Counters().requests;
  const bool mode_frame_first = LinkMode != 0;
  PressRead();
  EXPECT_TRUE(WaitForMoreRequests(before, mode_frame_first ? 2 : 1));
  TickWhenWaiting(answer_bytes);
}

}  // namespace rtutest::e2e
