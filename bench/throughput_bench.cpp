// Bytes per second through SendString/ReadString of the port component against a plain
// write/read loop on the same pseudo-terminal, side by side in one run. One round sends a
// block from the device side to the peer and the peer sends it back; the two loops take
// turns batch by batch (raw first, then the component, then the other way round) and the
// figure is the median over the trials of the batch-time ratio.
#include <algorithm>
#include <array>
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
using bench::Seconds;
using serial::platform::testing::PtyPair;

constexpr std::array<std::size_t, 4> kBlockSizes{8, 53, 256, 2048};
constexpr double kGoalRatio = 0.9;
// CPU time per round at most twice the plain loop's: its ratio (plain over component) ≥ 0.5.
constexpr double kGoalCpuRatio = 0.5;

struct BatchTime {
  Seconds send{};
  Seconds receive{};
  Seconds cpu{};  // of the whole process, peer included
  Seconds Total() const { return send + receive; }
};

// The peer's half of a round: take the block off the line, check it, send it back.
void PeerTake(PtyPair& pty, const Bytes& block) {
  bench::CheckSame(pty.Read(block.size()), block, "peer read");
}

template <typename Side>
BatchTime RunBatch(PtyPair& pty, Side& side, const Bytes& block, int rounds) {
  BatchTime time;
  bench::CpuWindow cpu;
  for (int i = 0; i < rounds; ++i) {
    const Seconds t0 = bench::WallTime();
    side.Send(block);
    PeerTake(pty, block);
    const Seconds t1 = bench::WallTime();
    if (!pty.Write(block)) throw std::runtime_error("peer write failed");
    side.Receive(block);
    time.send += t1 - t0;
    time.receive += bench::WallTime() - t1;
  }
  cpu.Stop();
  time.cpu = cpu.ProcessCpu();
  return time;
}

BatchTime RawBatch(PtyPair& pty, const Bytes& block, int rounds) {
  bench::RawSide side(pty.SlavePath());
  return RunBatch(pty, side, block, rounds);
}

BatchTime CommBatch(PtyPair& pty, const Bytes& block, int rounds) {
  bench::CommSide side(pty.SlavePath());
  return RunBatch(pty, side, block, rounds);
}

// Enough rounds for a batch of about `batch` on the plain loop, at least a few.
int Calibrate(PtyPair& pty, const Bytes& block, Seconds batch) {
  constexpr int kProbe = 20;
  RawBatch(pty, block, kProbe);  // warm-up
  const Seconds probe = RawBatch(pty, block, kProbe).Total();
  const double rounds = batch.count() / (probe.count() / kProbe);
  return static_cast<int>(std::clamp(rounds, 10.0, 20000.0));
}

struct SizeResult {
  double raw_rate = 0, comm_rate = 0;  // bytes per second, both directions together
  double ratio = 0, send_ratio = 0, receive_ratio = 0;
  double cpu_ratio = 0;  // plain loop's CPU time over the component's
  int rounds = 0;
  double lowest = 0, highest = 0;  // of the trials' ratios
  double raw_cpu_us = 0, comm_cpu_us = 0;  // process CPU time per round
};

// The samples of all trials of one block size; every figure is their median.
class Trials {
 public:
  Trials(double bytes_per_batch, int rounds) : bytes_(bytes_per_batch), rounds_(rounds) {}
  void Add(const BatchTime& raw, const BatchTime& comm) {
    raw_rates_.push_back(bytes_ / raw.Total().count());
    comm_rates_.push_back(bytes_ / comm.Total().count());
    ratios_.push_back(raw.Total() / comm.Total());
    send_ratios_.push_back(raw.send / comm.send);
    receive_ratios_.push_back(raw.receive / comm.receive);
    cpu_ratios_.push_back(raw.cpu / comm.cpu);
    raw_cpu_.push_back(raw.cpu.count() * 1e6 / rounds_);
    comm_cpu_.push_back(comm.cpu.count() * 1e6 / rounds_);
  }
  SizeResult Result() const {
    using bench::Median;
    return {.raw_rate = Median(raw_rates_),
            .comm_rate = Median(comm_rates_),
            .ratio = Median(ratios_),
            .send_ratio = Median(send_ratios_),
            .receive_ratio = Median(receive_ratios_),
            .cpu_ratio = Median(cpu_ratios_),
            .rounds = rounds_,
            .lowest = bench::Percentile(ratios_, 0),
            .highest = bench::Percentile(ratios_, 100),
            .raw_cpu_us = Median(raw_cpu_),
            .comm_cpu_us = Median(comm_cpu_)};
  }

 private:
  double bytes_;
  int rounds_;
  std::vector<double> raw_rates_, comm_rates_, ratios_, send_ratios_, receive_ratios_,
      cpu_ratios_, raw_cpu_, comm_cpu_;
};

SizeResult MeasureSize(PtyPair& pty, std::size_t size, const bench::RunOptions& options) {
  const Bytes block = bench::Pattern(size);
  // Many short batches: a change in the machine's load then hits both loops alike.
  const int rounds = Calibrate(pty, block, Seconds(bench::Pick(options, 0.06, 0.03)));
  CommBatch(pty, block, rounds / 4 + 1);  // warm-up
  Trials trials(2.0 * static_cast<double>(size) * rounds, rounds);
  for (int t = 0; t < bench::Pick(options, 15, 5); ++t) {
    // Alternating which loop goes first cancels a drift of the machine's load.
    if (t % 2 == 0) {
      const BatchTime raw = RawBatch(pty, block, rounds);
      trials.Add(raw, CommBatch(pty, block, rounds));
    } else {
      const BatchTime comm = CommBatch(pty, block, rounds);
      trials.Add(RawBatch(pty, block, rounds), comm);
    }
  }
  return trials.Result();
}

bench::Row ToRow(std::size_t size, const SizeResult& r) {
  return {.measure = "Throughput, " + std::to_string(size) + " B blocks (send + echo back)",
          .figure = "SendString/ReadString " + bench::Rate(r.comm_rate),
          .reference = "plain write/read " + bench::Rate(r.raw_rate),
          .comparison = bench::Fixed(r.ratio, 2, "×") + " (CPU time " +
                        bench::Fixed(r.cpu_ratio, 2, "×") + ")",
          .goal = "≥ 0.9 × plain (CPU time ≥ 0.5 ×)",
          .met = r.ratio >= kGoalRatio && r.cpu_ratio >= kGoalCpuRatio};
}

void PrintDetails(std::size_t size, const SizeResult& r) {
  std::cerr << "throughput " << size << " B: " << r.rounds << " rounds per batch, ratio "
            << bench::Fixed(r.ratio, 3) << " (trials " << bench::Fixed(r.lowest, 3) << " to "
            << bench::Fixed(r.highest, 3) << "; send " << bench::Fixed(r.send_ratio, 3)
            << ", receive " << bench::Fixed(r.receive_ratio, 3) << "), CPU time ratio "
            << bench::Fixed(r.cpu_ratio, 3) << " (" << bench::Fixed(r.raw_cpu_us, 1, "µs")
            << " against " << bench::Fixed(r.comm_cpu_us, 1, "µs") << " per round)\n";
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    PtyPair pty;
    for (std::size_t size : kBlockSizes) {
      const SizeResult r = MeasureSize(pty, size, options);
      PrintDetails(size, r);
      bench::PrintRow(std::cout, ToRow(size, r));
    }
  } catch (const std::exception& e) {
    std::cerr << "bench_throughput: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
