// Started by bench_idle: the test window with its 200 ms timer and an open, quiet port on
// the offscreen platform. After start-up has settled it lets the event loop run for the
// given seconds and prints its CPU and wall time for them ("cpu wall", in seconds).
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "app/rtutest.h"
#include "bench/support/cpu_time.h"
#include "bench/support/run_options.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

using namespace std::chrono_literals;

// First paints and the first timer ticks are start-up, not idling.
constexpr auto kSettle = 500ms;

int IdleWindow(QApplication& app, double seconds) {
  serial::platform::testing::PtyPair pty;
  rtutest::TfrmRTUTest window;
  window.PrefillPortName(QString::fromStdString(pty.SlavePath()));
  window.show();
  window.Button1Click();
  if (!window.XMODEM1().IsOpen()) throw std::runtime_error("the window could not open the pty");
  std::optional<bench::CpuWindow> idle;
  QTimer::singleShot(kSettle, [&] {
    idle.emplace();
    QTimer::singleShot(std::chrono::milliseconds(static_cast<long>(seconds * 1000)), [&] {
      idle->Stop();
      app.quit();
    });
  });
  app.exec();
  if (!idle) throw std::runtime_error("the event loop ended before the idle window");
  std::cout.precision(9);
  std::cout << idle->ProcessCpu().count() << ' ' << idle->Wall().count() << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    if (!options.rest.empty()) throw std::invalid_argument("unknown argument " + options.rest[0]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;  // the options are ours, not Qt's
    QApplication app(qt_argc, argv);
    return IdleWindow(app, options.seconds.value_or(bench::Pick(options, 10.0, 2.0)));
  } catch (const std::exception& e) {
    std::cerr << "idle_window_child: " << e.what() << '\n';
    return 1;
  }
}
