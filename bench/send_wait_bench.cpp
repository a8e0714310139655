// CPU used while a send waits on a full output queue until its time-out. The peer never
// reads, so once the pseudo-terminal's queues are full every write would block; the send
// must then wait for room without spinning. The figure is CPU time over wall time of the
// whole process (the sending thread and any thread the open port keeps) during the send.
#include <iostream>
#include <stdexcept>

#include "bench/support/cpu_time.h"
#include "bench/support/pty_sides.h"
#include "bench/support/run_options.h"
#include "bench/support/stats.h"
#include "bench/support/table.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

using bench::Bytes;
using serial::platform::testing::PtyPair;

constexpr double kGoalShare = 0.01;  // of one core
constexpr std::uint32_t kFillBlock = 4096;

// Sends until a send takes less than it was given: the line is full from then on.
std::size_t FillLine(serial::TXComm& comm) {
  const Bytes block = bench::Pattern(kFillBlock);
  std::size_t total = 0;
  for (int i = 0; i < 1024; ++i) {  // far more than any pty buffers
    const std::uint32_t sent = comm.SendBuffer(block.data(), kFillBlock, 50);
    total += sent;
    if (sent < kFillBlock) return total;
  }
  throw std::runtime_error("the pseudo-terminal took 4 MiB without filling up");
}

struct Wait {
  double share = 0;  // process CPU over wall time
  double thread_share = 0;
  double wall_ms = 0;
  std::uint32_t sent = 0;
};

Wait WaitOnce(serial::TXComm& comm, std::uint32_t timeout_ms) {
  const Bytes block = bench::Pattern(2048);
  bench::CpuWindow window;
  const std::uint32_t sent = comm.SendBuffer(block.data(), 2048, timeout_ms);
  window.Stop();
  return {window.ProcessShare(), window.ThreadShare(), window.Wall().count() * 1e3, sent};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    const int trials = bench::Pick(options, 3, 1);
    const std::uint32_t timeout = bench::Pick(options, 1500U, 500U);
    PtyPair pty;
    bench::CommSide side(pty.SlavePath());
    std::cerr << "send wait: line full after " << FillLine(side.Comm()) << " bytes\n";
    std::vector<double> shares, walls;
    for (int t = 0; t < trials; ++t) {
      const Wait w = WaitOnce(side.Comm(), timeout);
      std::cerr << "send wait: " << w.sent << " bytes sent, " << bench::Fixed(w.wall_ms, 1)
                << " ms, process " << bench::CoreShare(w.share) << ", sending thread "
                << bench::CoreShare(w.thread_share) << " of one core\n";
      shares.push_back(w.share);
      walls.push_back(w.wall_ms);
    }
    const double share = bench::Median(shares);
    bench::PrintRow(std::cout,
                    {.measure = "Waiting CPU, SendBuffer on a full queue until its time-out",
                     .figure = bench::CoreShare(share) + " of one core",
                     .reference = "time-out " + std::to_string(timeout) + " ms, waited " +
                                  bench::Fixed(bench::Median(walls), 0, "ms"),
                     .comparison = "CPU over wall time",
                     .goal = "< 1 % of one core",
                     .met = share < kGoalShare});
  } catch (const std::exception& e) {
    std::cerr << "bench_send_wait: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
