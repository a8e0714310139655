// CPU time of idle processes, side by side over the same seconds: one that only sleeps,
// one with an open, quiet port and its event thread, and (when the window is built) the
// test window with its 200 ms timer and an open, quiet port. Each runs as a child process
// of this program and reports its own CPU and wall time for the idle window, so start-up
// is not counted. 10 s by default; --quick takes 2 s, --seconds=N any other length.
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "bench/support/child_process.h"
#include "bench/support/cpu_time.h"
#include "bench/support/run_options.h"
#include "bench/support/table.h"
#include "serial/custom_comm.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

constexpr double kGoalShare = 0.005;  // of one core
// Built next to this program when the window is part of the build.
constexpr std::string_view kWindowChild = "idle_window_child";

std::chrono::duration<double> Span(double seconds) {
  return std::chrono::duration<double>(seconds);
}

void Report(const bench::CpuWindow& window) {
  std::cout.precision(9);
  std::cout << window.ProcessCpu().count() << ' ' << window.Wall().count() << std::endl;
}

void SleepRole(double seconds) {
  bench::CpuWindow window;
  std::this_thread::sleep_for(Span(seconds));
  window.Stop();
  Report(window);
}

// The owner's thread only sleeps: a quiet port hands nothing over.
void PortRole(double seconds) {
  serial::platform::testing::PtyPair pty;
  serial::TXComm comm;
  comm.SetDeviceName(pty.SlavePath());
  if (!comm.Open()) throw std::runtime_error("the component could not open the pty");
  bench::CpuWindow window;
  std::this_thread::sleep_for(Span(seconds));
  window.Stop();
  comm.Close();
  Report(window);
}

struct Share {
  double share = 0;  // CPU over wall time
  double wall = 0;
};

Share Parse(const std::string& output) {
  std::istringstream in(output);
  double cpu = 0, wall = 0;
  if (!(in >> cpu >> wall) || wall <= 0)
    throw std::runtime_error("a child reported '" + output + "'");
  return {cpu / wall, wall};
}

bench::Row IdleRow(const std::string& what, const Share& s, const Share& sleeper) {
  return {.measure = "Idle CPU, " + what + " (" + bench::Fixed(s.wall, 0, "s") + ")",
          .figure = bench::CoreShare(s.share) + " of one core",
          .reference = "process that only sleeps " + bench::CoreShare(sleeper.share),
          .comparison = bench::Signed((s.share - sleeper.share) * 100, 3) + " points",
          .goal = "< 0.5 % of one core",
          .met = s.share < kGoalShare};
}

int Parent(double seconds) {
  const std::string self = bench::SelfPath();
  const std::filesystem::path window = std::filesystem::path(self).parent_path() / kWindowChild;
  const std::string length = "--seconds=" + std::to_string(seconds);
  // Started together so that they idle over the same seconds.
  bench::ChildProcess sleeper(self, {"--role=sleep", length});
  bench::ChildProcess port(self, {"--role=port", length});
  std::optional<bench::ChildProcess> gui;
  if (std::filesystem::exists(window)) gui.emplace(window.string(), std::vector{length});
  const Share s = Parse(sleeper.Finish());
  bench::PrintRow(std::cout, IdleRow("open quiet port with its event thread",
                                     Parse(port.Finish()), s));
  if (gui) {
    bench::PrintRow(std::cout, IdleRow("test window, 200 ms timer, open quiet port",
                                       Parse(gui->Finish()), s));
  } else {
    std::cerr << "idle: " << window << " is not built (the window is not part of this build)\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    const double seconds = options.seconds.value_or(bench::Pick(options, 10.0, 2.0));
    for (const std::string& arg : options.rest) {
      if (arg == "--role=sleep") return SleepRole(seconds), 0;
      if (arg == "--role=port") return PortRole(seconds), 0;
      throw std::invalid_argument("unknown argument " + arg);
    }
    return Parent(seconds);
  } catch (const std::exception& e) {
    std::cerr << "bench_idle: " << e.what() << '\n';
    return 1;
  }
}
