// Time from a read-all request written to the whole 53-byte answer readable by ReadString,
// against the simulated module at 115200 bit/s, compared with the line time of the 8 + 53
// bytes. A plain write/read loop asks the same module in the same run, batch by batch in
// turn with the component, so the module's own delays (the silence that ends a request,
// the pacing of the answer) show apart from what the component adds.
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "bench/support/cpu_time.h"
#include "bench/support/pty_sides.h"
#include "bench/support/run_options.h"
#include "bench/support/stats.h"
#include "bench/support/table.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "tools/qlm7305_sim/simulated_module.h"

namespace {

using bench::Bytes;
using namespace std::chrono_literals;

constexpr int kBaud = 115200;
constexpr std::size_t kRequestBytes = 8;
constexpr std::size_t kAnswerBytes = 53;
constexpr double kGoalExcessMs = 2.0;
// Quiet time on the line between two requests, well above the module's frame silence.
constexpr auto kGap = 3ms;
// Both loops ask for the answer every 0.1 ms rather than at once: on two shared cores a
// spinning reader takes the core the module needs to pace out its answer.
constexpr auto kPollPause = 100us;

double LineTimeMs() {  // 10 bits a character: start, 8 data, stop
  return static_cast<double>((kRequestBytes + kAnswerBytes) * 10) / kBaud * 1e3;
}

// One request and its whole answer; the time in milliseconds. The answer is checked
// after the clock has stopped.
template <typename Side>
double Exchange(Side& side, const Bytes& request) {
  std::this_thread::sleep_for(kGap);
  const bench::Seconds start = bench::WallTime();
  side.Send(request);
  const Bytes& answer = side.ReceiveCount(kAnswerBytes);
  const double ms = (bench::WallTime() - start).count() * 1e3;
  if (!modbus::FrameCheckPasses(answer)) throw std::runtime_error("an answer failed its check");
  return ms;
}

template <typename Side>
void Batch(const std::string& path, const Bytes& request, int count, std::vector<double>& ms) {
  Side side(path);
  side.SetPollPause(kPollPause);
  if constexpr (std::is_same_v<Side, bench::CommSide>) side.Comm().SetBaudRate(serial::br115200);
  for (int i = 0; i < count; ++i) ms.push_back(Exchange(side, request));
}

struct Latencies {
  std::vector<double> raw, comm;
  std::vector<double> overshoot;  // of a 1 ms sleep, in ms
};

// How late a thread that sleeps 1 ms wakes on this machine now: the module paces its
// answer in steps of about 1 ms, and each step waits like this.
void SleepOvershoot(int count, std::vector<double>& ms) {
  for (int i = 0; i < count; ++i) {
    const bench::Seconds start = bench::WallTime();
    std::this_thread::sleep_for(1ms);
    ms.push_back((bench::WallTime() - start).count() * 1e3 - 1.0);
  }
}

Latencies Measure(const bench::RunOptions& options) {
  sim::SimulatorOptions module_options;
  module_options.baud = kBaud;
  module_options.values = sim::ValueMode::kFixed;
  sim::SimulatedModule module(module_options);
  const Bytes request = modbus::ReadAllRequest(1);
  const int batches = bench::Pick(options, 10, 4);
  const int per_batch = bench::Pick(options, 20, 10);
  Latencies l;
  Batch<bench::RawSide>(module.SlavePath(), request, 3, l.raw);  // warm-up
  l.raw.clear();
  for (int b = 0; b < batches; ++b) {
    Batch<bench::CommSide>(module.SlavePath(), request, per_batch, l.comm);
    Batch<bench::RawSide>(module.SlavePath(), request, per_batch, l.raw);
    SleepOvershoot(per_batch, l.overshoot);
  }
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Latencies l = Measure(bench::ParseRunOptions(argc, argv));
    const double line = LineTimeMs();
    const double comm = bench::Median(l.comm);
    const double raw = bench::Median(l.raw);
    const double comm_p90 = bench::Percentile(l.comm, 90);
    std::cerr << "latency: " << l.comm.size() << " exchanges each; ReadString median "
              << bench::Fixed(comm, 3, "ms") << ", p90 " << bench::Fixed(comm_p90, 3, "ms")
              << ", max " << bench::Fixed(bench::Percentile(l.comm, 100), 3, "ms")
              << "; plain read median " << bench::Fixed(raw, 3, "ms") << ", p90 "
              << bench::Fixed(bench::Percentile(l.raw, 90), 3, "ms") << "; line time "
              << bench::Fixed(line, 3, "ms") << "; a 1 ms sleep wakes late by "
              << bench::Fixed(bench::Median(l.overshoot), 3, "ms") << " (median), "
              << bench::Fixed(bench::Percentile(l.overshoot, 90), 3, "ms") << " (p90)\n";
    bench::PrintRow(std::cout,
                    {.measure = "Latency, read-all request to whole answer via ReadString, "
                                "simulated module at 115200 bit/s (median)",
                     .figure = bench::Fixed(comm, 2, "ms") + " (p90 " +
                               bench::Fixed(comm_p90, 2, "ms") + ")",
                     .reference = "line time of 8 + 53 bytes " + bench::Fixed(line, 2, "ms") +
                                  "; plain write/read " + bench::Fixed(raw, 2, "ms"),
                     .comparison = bench::Signed(comm - line, 2, "ms") + " over line time",
                     .goal = "≤ line time + 2 ms",
                     .met = comm - line <= kGoalExcessMs});
  } catch (const std::exception& e) {
    std::cerr << "bench_latency: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
