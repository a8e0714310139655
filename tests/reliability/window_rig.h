#pragma once
// The test window on a real terminal device, instrumented as every test window is (timer
// stopped, ticks called directly, the pause after the mode frame returning at once, failure
// boxes recorded), with its log read and emptied by the test (so what the process holds
// can be measured apart from the log).
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/rtutest.h"
#include "app/tests/window_fixture.h"
#include "tests/reliability/counting_platform.h"

namespace reliability {

// What the log showed since it was last emptied, sorted by kind.
struct LogCounts {
  int received = 0;    // " 接收：" lines
  int sent = 0;        // " 发送：" lines
  int decodes = 0;     // "AI0=" lines: one per decoded answer
  int failures = 0;    // "CRC校验失败！"
  int send_failures = 0;  // "发送失败！"
  QStringList last_values;  // the value lines of the last decode, AI0..DO4
};

class WindowRig {
 public:
  WindowRig();
  ~WindowRig();

  rtutest::TfrmRTUTest& Window() { return *window_; }
  CountingPlatform& Platform() { return *platform_; }

  // Types the path and presses the open button; true when the status reports success.
  bool OpenPort(const std::string& path);
  // One tick as the timer would run it (a failure goes to the recorded boxes).
  void Tick();
  // How long the tick took.
  std::chrono::microseconds TimedTick();
  // Presses the read button.
  void Read();
  // Lets the event loop run what is pending (the port's handed-over notifications).
  void ProcessEvents();
  // Counts the log's lines into `counts` and empties the log.
  void TakeLog(LogCounts& counts);

  const std::vector<rtutest::testing::ShownBox>& Boxes() const { return instruments_.boxes; }

 private:
  std::shared_ptr<CountingPlatform> platform_ = std::make_shared<CountingPlatform>();
  std::unique_ptr<rtutest::TfrmRTUTest> window_;
  rtutest::testing::Instruments instruments_;
};

}  // namespace reliability
