// Bytes per second and CPU time per round through SendString/ReadString of the port
// component, through Qt's QSerialPort in its blocking style, and through a plain
// write/read loop, on the same pseudo-terminal, side by side in one run. One round sends a
// block from the device side to the peer and the peer sends it back. A trial runs one batch
// of each loop back to back (the component's and QSerialPort's always next to each other,
// the order turning from trial to trial); each figure is a median over the trials.
//
// The machine moves between a fast and a slow state for stretches of 100 ms and more, and
// in a slow state every loop costs about the same, which would make any comparison look
// met. The two reference loops tell the state: a trial counts for a goal only when its
// plain and its QSerialPort batch each took at most 1.5 times their loop's lowest CPU per
// round of the block size (the lowest plain figure itself close to the run's lowest). The
// component's own batch never decides, so a slow batch of its own counts against it. The
// component is judged against the QSerialPort batch taken right before or after it; too
// few counting trials leave the goal unmet.
//
// `bench_throughput --side=plain|comm|qt --size=N --rounds=R` runs only R rounds of one
// loop and prints what each round costs in context switches, and each thread's wake-ups,
// for counting its system calls under strace or perf stat.
#include <QCoreApplication>
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "bench/support/cpu_time.h"
#include "bench/support/pty_sides.h"
#include "bench/support/qt_serial_side.h"
#include "bench/support/run_options.h"
#include "bench/support/stats.h"
#include "bench/support/table.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

using bench::Bytes;
using bench::Seconds;
using serial::platform::testing::PtyPair;

constexpr std::array<std::size_t, 4> kBlockSizes{8, 53, 256, 2048};
// Against the plain loop: wall time at least 0.9 of it, CPU time at most twice its.
constexpr double kGoalRatio = 0.9;
constexpr double kGoalCpuRatio = 0.5;
// Against QSerialPort, at the block sizes the tool moves (53 B) and large ones: throughput
// at least 0.9 of its, CPU time per round at most its.
constexpr double kPeerGoalRate = 0.9;
constexpr double kPeerGoalCpu = 1.0;
constexpr bool PeerGoalApplies(std::size_t size) { return size == 53 || size == 2048; }
// A reference batch whose CPU per round is above this multiple of its loop's lowest of the
// size ran in a slow spell; its trial does not count for a goal. CPU time, not wall time:
// on a quiet machine a loop's wall time per round swings several-fold with where the
// kernel's pty worker runs, while its CPU time stays.
constexpr double kFastState = 1.5;

enum Side { kRaw, kComm, kQt, kSides };

// Context switches of every thread of the process so far, ended threads included:
// voluntary (a thread blocked) and involuntary (a thread was taken off its core).
struct Switches {
  double voluntary = 0, involuntary = 0;
  double Total() const { return voluntary + involuntary; }
};
Switches ContextSwitches() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return {static_cast<double>(usage.ru_nvcsw), static_cast<double>(usage.ru_nivcsw)};
}

struct BatchTime {
  Seconds send{};
  Seconds receive{};
  Seconds cpu{};  // of the whole process, peer included
  double switches = 0;     // context switches of the process
  double preempted = 0;    // of them involuntary
  Seconds Total() const { return send + receive; }
};

using Trial = std::array<BatchTime, kSides>;

// The peer's half of a round: take the block off the line, check it, send it back.
void PeerTake(PtyPair& pty, const Bytes& block) {
  bench::CheckSame(pty.Read(block.size()), block, "peer read");
}

template <typename Loop>
BatchTime RunBatch(PtyPair& pty, Loop& loop, const Bytes& block, int rounds) {
  BatchTime time;
  const Switches switches = ContextSwitches();
  bench::CpuWindow cpu;
  for (int i = 0; i < rounds; ++i) {
    const Seconds t0 = bench::WallTime();
    loop.Send(block);
    PeerTake(pty, block);
    const Seconds t1 = bench::WallTime();
    if (!pty.Write(block)) throw std::runtime_error("peer write failed");
    loop.Receive(block);
    time.send += t1 - t0;
    time.receive += bench::WallTime() - t1;
  }
  cpu.Stop();
  time.cpu = cpu.ProcessCpu();
  const Switches now = ContextSwitches();
  time.switches = now.Total() - switches.Total();
  time.preempted = now.involuntary - switches.involuntary;
  return time;
}

// Each batch opens its own side, as a user's program opens its port once per session.
BatchTime Batch(Side side, PtyPair& pty, const Bytes& block, int rounds) {
  switch (side) {
    case kRaw: {
      bench::RawSide loop(pty.SlavePath());
      return RunBatch(pty, loop, block, rounds);
    }
    case kComm: {
      bench::CommSide loop(pty.SlavePath());
      return RunBatch(pty, loop, block, rounds);
    }
    default: {
      bench::QtSerialSide loop(pty.SlavePath());
      return RunBatch(pty, loop, block, rounds);
    }
  }
}

// Enough rounds for a batch of about `batch` on the plain loop in the machine's fast state
// (the fastest of a few probes), at least a few.
int Calibrate(PtyPair& pty, const Bytes& block, Seconds batch) {
  constexpr int kProbe = 20;
  Batch(kRaw, pty, block, kProbe);  // warm-up
  Seconds probe = Batch(kRaw, pty, block, kProbe).Total();
  for (int i = 0; i < 4; ++i) probe = std::min(probe, Batch(kRaw, pty, block, kProbe).Total());
  const double rounds = batch.count() / (probe.count() / kProbe);
  return static_cast<int>(std::clamp(rounds, 10.0, 20000.0));
}

// The order of the three batches in trial t: the component and QSerialPort always back to
// back, each of them first as often as the other, the plain loop before and after them.
std::array<Side, kSides> Order(int t) {
  static constexpr std::array<std::array<Side, kSides>, 4> kOrders{{{kRaw, kComm, kQt},
                                                                    {kQt, kComm, kRaw},
                                                                    {kRaw, kQt, kComm},
                                                                    {kComm, kQt, kRaw}}};
  return kOrders[static_cast<std::size_t>(t) % kOrders.size()];
}

struct Spread {
  double median = 0, lowest = 0, p25 = 0, p75 = 0, highest = 0;
};

Spread SpreadOf(const std::vector<double>& v) {
  return {bench::Median(v), bench::Percentile(v, 0), bench::Percentile(v, 25),
          bench::Percentile(v, 75), bench::Percentile(v, 100)};
}

struct SizeResult {
  std::size_t size = 0;
  int rounds = 0, trials = 0, counted = 0;  // counted: trials in the fast state
  bool judged = false;                      // enough counted trials for a goal
  std::array<double, kSides> rate{}, cpu_us{};  // medians over the counted trials
  std::array<double, kSides> switches{};        // context switches per round, median
  // Over the counted trials: plain over component (wall, CPU), as before; component over
  // QSerialPort, each pair taken back to back (rate: component's over QSerialPort's; CPU:
  // the component's CPU time per round as a multiple of QSerialPort's); QSerialPort's and
  // the component's cost per round as a multiple of the plain loop's (wall / CPU).
  Spread ratio, cpu_ratio, peer_rate, peer_cpu;
  double send_ratio = 0, receive_ratio = 0;
  std::array<double, kSides> wall_cost{}, cpu_cost{};
  Spread all_peer_rate;  // over every trial, slow spells included
  std::array<double, kSides> all_cpu_us{};  // likewise, medians
};

// The plain loop's CPU per round hardly depends on the block size in the fast state; a
// block size measured wholly in a slow spell shows it several times higher.
constexpr double kSlowPlainCpu = 2.0;

// plain_cpu_us: the plain loop's lowest CPU per round of the run so far, updated here.
SizeResult Summarise(std::size_t size, int rounds, const std::vector<Trial>& trials,
                     int needed, double& plain_cpu_us) {
  auto cpu_us = [&](const BatchTime& b) { return b.cpu.count() * 1e6 / rounds; };
  std::array<double, kSides> lowest;
  lowest.fill(1e300);
  for (const Trial& t : trials)
    for (int s = 0; s < kSides; ++s) lowest[s] = std::min(lowest[s], cpu_us(t[s]));
  plain_cpu_us = std::min(plain_cpu_us, lowest[kRaw]);
  const bool size_fast = lowest[kRaw] <= kSlowPlainCpu * plain_cpu_us;
  auto fast = [&](const Trial& t) {
    return size_fast && cpu_us(t[kRaw]) <= kFastState * lowest[kRaw] &&
           cpu_us(t[kQt]) <= kFastState * lowest[kQt];
  };
  const double bytes = 2.0 * static_cast<double>(size) * rounds;
  std::array<std::vector<double>, kSides> rate, cpu, wall_cost, cpu_cost, switches, all_cpu;
  std::vector<double> ratio, cpu_ratio, peer_rate, peer_cpu, send_ratio, receive_ratio,
      all_peer_rate;
  SizeResult r;
  r.size = size;
  r.rounds = rounds;
  r.trials = static_cast<int>(trials.size());
  for (const Trial& t : trials) {
    const BatchTime &raw = t[kRaw], &comm = t[kComm], &qt = t[kQt];
    all_peer_rate.push_back(qt.Total() / comm.Total());
    for (int s = 0; s < kSides; ++s) all_cpu[s].push_back(t[s].cpu.count() * 1e6 / rounds);
    if (!fast(t)) continue;
    ++r.counted;
    for (int s = 0; s < kSides; ++s) {
      rate[s].push_back(bytes / t[s].Total().count());
      cpu[s].push_back(t[s].cpu.count() * 1e6 / rounds);
      switches[s].push_back(t[s].switches / rounds);
      wall_cost[s].push_back(t[s].Total() / raw.Total());
      cpu_cost[s].push_back(t[s].cpu / raw.cpu);
    }
    ratio.push_back(raw.Total() / comm.Total());
    cpu_ratio.push_back(raw.cpu / comm.cpu);
    send_ratio.push_back(raw.send / comm.send);
    receive_ratio.push_back(raw.receive / comm.receive);
    peer_rate.push_back(qt.Total() / comm.Total());
    peer_cpu.push_back(comm.cpu / qt.cpu);
  }
  r.judged = r.counted >= needed && 2 * r.counted >= r.trials;
  for (int s = 0; s < kSides; ++s) {
    r.rate[s] = bench::Median(rate[s]);
    r.cpu_us[s] = bench::Median(cpu[s]);
    r.switches[s] = bench::Median(switches[s]);
    r.all_cpu_us[s] = bench::Median(all_cpu[s]);
    r.wall_cost[s] = bench::Median(wall_cost[s]);
    r.cpu_cost[s] = bench::Median(cpu_cost[s]);
  }
  r.ratio = SpreadOf(ratio);
  r.cpu_ratio = SpreadOf(cpu_ratio);
  r.peer_rate = SpreadOf(peer_rate);
  r.peer_cpu = SpreadOf(peer_cpu);
  r.send_ratio = bench::Median(send_ratio);
  r.receive_ratio = bench::Median(receive_ratio);
  r.all_peer_rate = SpreadOf(all_peer_rate);
  return r;
}

// Each trial on one line, for the details: per loop (plain, component, QSerialPort) wall
// and CPU time per round and involuntary switches per round; then the back-to-back pair.
void PrintTrials(std::size_t size, int rounds, const std::vector<Trial>& trials) {
  for (std::size_t i = 0; i < trials.size(); ++i) {
    const Trial& t = trials[i];
    std::cerr << "  trial " << size << " B #" << i << ':';
    for (int s = 0; s < kSides; ++s) {
      std::cerr << ' ' << bench::Fixed(t[s].Total().count() * 1e6 / rounds, 1) << '/'
                << bench::Fixed(t[s].cpu.count() * 1e6 / rounds, 1) << '/'
                << bench::Fixed(t[s].preempted / rounds, 2);
    }
    std::cerr << "; pair rate " << bench::Fixed(t[kQt].Total() / t[kComm].Total(), 3)
              << ", CPU " << bench::Fixed(t[kComm].cpu / t[kQt].cpu, 3) << '\n';
  }
}

SizeResult MeasureSize(PtyPair& pty, std::size_t size, const bench::RunOptions& options,
                       double& plain_cpu_us) {
  const Bytes block = bench::Pattern(size);
  // Many short batches: a change in the machine's load then hits the loops alike.
  const int rounds = Calibrate(pty, block, Seconds(bench::Pick(options, 0.06, 0.03)));
  Batch(kComm, pty, block, rounds / 4 + 1);  // warm-up
  Batch(kQt, pty, block, rounds / 4 + 1);
  std::vector<Trial> trials;
  const int count = bench::Pick(options, 16, 8);
  for (int t = 0; t < count; ++t) {
    Trial trial;
    for (Side side : Order(t)) trial[side] = Batch(side, pty, block, rounds);
    trials.push_back(trial);
  }
  PrintTrials(size, rounds, trials);
  return Summarise(size, rounds, trials, bench::Pick(options, 5, 3), plain_cpu_us);
}

std::string Quiet(const SizeResult& r) {
  return std::to_string(r.counted) + " of " + std::to_string(r.trials) + " trials fast";
}

bench::Row PlainRow(const SizeResult& r) {
  return {.measure =
              "Throughput, " + std::to_string(r.size) + " B blocks (send + echo back)",
          .figure = "SendString/ReadString " + bench::Rate(r.rate[kComm]),
          .reference = "plain write/read " + bench::Rate(r.rate[kRaw]),
          .comparison = bench::Fixed(r.ratio.median, 2, "×") + " (CPU time " +
                        bench::Fixed(r.cpu_ratio.median, 2, "×") + "; " + Quiet(r) + ")",
          .goal = "≥ 0.9 × plain (CPU time ≥ 0.5 ×)",
          .met = r.judged && r.ratio.median >= kGoalRatio &&
                 r.cpu_ratio.median >= kGoalCpuRatio};
}

bench::Row PeerRow(const SizeResult& r) {
  const bool goal = PeerGoalApplies(r.size);
  return {
      .measure = "Throughput, " + std::to_string(r.size) +
                 " B blocks, against QSerialPort (blocking waits)",
      .figure = "SendString/ReadString " + bench::Rate(r.rate[kComm]) + ", " +
                bench::Fixed(r.cpu_us[kComm], 1, "µs") + " CPU per round",
      .reference = "QSerialPort " + bench::Rate(r.rate[kQt]) + ", " +
                   bench::Fixed(r.cpu_us[kQt], 1, "µs") + " CPU per round; plain " +
                   bench::Fixed(r.cpu_us[kRaw], 1, "µs"),
      .comparison = bench::Fixed(r.peer_rate.median, 2, "×") + " throughput (pairs " +
                    bench::Fixed(r.peer_rate.p25, 2) + "–" + bench::Fixed(r.peer_rate.p75, 2) +
                    "), CPU " + bench::Fixed(r.peer_cpu.median, 2, "×") + " (" +
                    bench::Fixed(r.peer_cpu.p25, 2) + "–" + bench::Fixed(r.peer_cpu.p75, 2) +
                    "); per round over plain, wall / CPU: component " +
                    bench::Fixed(r.wall_cost[kComm], 2) + " / " +
                    bench::Fixed(r.cpu_cost[kComm], 2) + ", QSerialPort " +
                    bench::Fixed(r.wall_cost[kQt], 2) + " / " + bench::Fixed(r.cpu_cost[kQt], 2),
      .goal = goal ? "≥ 0.9 × throughput, CPU ≤ 1 ×" : "",
      .met = goal ? std::optional<bool>(r.judged && r.peer_rate.median >= kPeerGoalRate &&
                                        r.peer_cpu.median <= kPeerGoalCpu)
                  : std::nullopt};
}

void PrintSpread(const char* what, const Spread& s) {
  std::cerr << ", " << what << ' ' << bench::Fixed(s.median, 3) << " (" << bench::Fixed(s.lowest, 3)
            << ' ' << bench::Fixed(s.p25, 3) << ' ' << bench::Fixed(s.p75, 3) << ' '
            << bench::Fixed(s.highest, 3) << ')';
}

void PrintDetails(const SizeResult& r) {
  std::cerr << "throughput " << r.size << " B: " << r.rounds << " rounds per batch, "
            << Quiet(r) << (r.judged ? "" : " (too few: goals not judged)");
  PrintSpread("plain/component", r.ratio);
  PrintSpread("CPU plain/component", r.cpu_ratio);
  PrintSpread("rate component/QSerialPort", r.peer_rate);
  PrintSpread("CPU component/QSerialPort", r.peer_cpu);
  PrintSpread("rate component/QSerialPort over all trials", r.all_peer_rate);
  std::cerr << "; send " << bench::Fixed(r.send_ratio, 3) << ", receive "
            << bench::Fixed(r.receive_ratio, 3) << "; CPU per round plain / component / "
            << "QSerialPort " << bench::Fixed(r.cpu_us[kRaw], 1) << " / "
            << bench::Fixed(r.cpu_us[kComm], 1) << " / " << bench::Fixed(r.cpu_us[kQt], 1)
            << " µs; context switches per round " << bench::Fixed(r.switches[kRaw], 2) << " / "
            << bench::Fixed(r.switches[kComm], 2) << " / " << bench::Fixed(r.switches[kQt], 2)
            << "; over all trials, CPU per round " << bench::Fixed(r.all_cpu_us[kRaw], 1)
            << " / " << bench::Fixed(r.all_cpu_us[kComm], 1) << " / "
            << bench::Fixed(r.all_cpu_us[kQt], 1) << " µs\n";
}

// Voluntary context switches (the times a thread blocked, so was woken again) of each
// thread of the process now, the calling thread first.
std::vector<double> ThreadWakeUps() {
  std::vector<double> wakes;
  auto read = [&](const std::string& status) {
    std::ifstream in(status);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        wakes.push_back(std::stod(line.substr(line.find(':') + 1)));
  };
  read("/proc/thread-self/status");
  const std::string self = std::to_string(::gettid());
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (const dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.' && self != e->d_name)
        read(std::string("/proc/self/task/") + e->d_name + "/status");
    ::closedir(dir);
  }
  return wakes;
}

std::string OptionValue(const bench::RunOptions& options, const std::string& name) {
  for (const std::string& a : options.rest)
    if (a.rfind(name + "=", 0) == 0) return a.substr(name.size() + 1);
  return "";
}

std::uint64_t HandOvers(const bench::CommSide& loop) { return loop.HandOvers(); }
template <typename Loop>
std::uint64_t HandOvers(const Loop&) { return 0; }

template <typename Loop>
void CountOne(PtyPair& pty, Loop& loop, const Bytes& block, int rounds) {
  RunBatch(pty, loop, block, rounds / 10 + 1);  // warm-up
  const std::vector<double> before = ThreadWakeUps();
  const std::uint64_t hand_overs = HandOvers(loop);
  const BatchTime time = RunBatch(pty, loop, block, rounds);
  const std::vector<double> after = ThreadWakeUps();
  std::cout << "hand-overs per round "
            << bench::Fixed(static_cast<double>(HandOvers(loop) - hand_overs) / rounds, 2)
            << "; ";
  std::cout << rounds << " rounds of " << block.size() << " B: CPU "
            << bench::Fixed(time.cpu.count() * 1e6 / rounds, 1) << " µs, wall "
            << bench::Fixed(time.Total().count() * 1e6 / rounds, 1)
            << " µs, context switches " << bench::Fixed(time.switches / rounds, 2)
            << " per round; voluntary switches per round by thread (this one first):";
  for (std::size_t i = 0; i < after.size() && i < before.size(); ++i)
    std::cout << ' ' << bench::Fixed((after[i] - before[i]) / rounds, 2);
  std::cout << '\n';
}

// One loop alone, for counting; a warm-up of a tenth of the rounds comes first.
void CountSide(const std::string& side, const bench::RunOptions& options) {
  const std::size_t size = std::stoul(OptionValue(options, "--size").empty()
                                          ? "53" : OptionValue(options, "--size"));
  const std::string r = OptionValue(options, "--rounds");
  const int rounds = r.empty() ? 20000 : std::stoi(r);
  PtyPair pty;
  const Bytes block = bench::Pattern(size);
  if (side == "plain") {
    bench::RawSide loop(pty.SlavePath());
    CountOne(pty, loop, block, rounds);
  } else if (side == "comm") {
    bench::CommSide loop(pty.SlavePath());
    CountOne(pty, loop, block, rounds);
  } else if (side == "qt") {
    bench::QtSerialSide loop(pty.SlavePath());
    CountOne(pty, loop, block, rounds);
  } else {
    throw std::invalid_argument("--side must be plain, comm or qt");
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    // QSerialPort's notifiers need an application object; no event loop runs.
    int qt_argc = 1;
    QCoreApplication app(qt_argc, argv);
    if (const std::string side = OptionValue(options, "--side"); !side.empty()) {
      CountSide(side, options);
      return 0;
    }
    PtyPair pty;
    double plain_cpu_us = 1e300;
    for (std::size_t size : kBlockSizes) {
      const SizeResult r = MeasureSize(pty, size, options, plain_cpu_us);
      PrintDetails(r);
      bench::PrintRow(std::cout, PlainRow(r));
      bench::PrintRow(std::cout, PeerRow(r));
    }
  } catch (const std::exception& e) {
    std::cerr << "bench_throughput: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
