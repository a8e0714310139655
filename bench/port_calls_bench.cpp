// What single calls of the port component cost on an open, quiet pseudo-terminal, next to
// the system calls a plain loop makes. These explain the throughput figures: a queue count
// is one system call (a read into the device's buffer for the input, TIOCOUTQ for the
// output) plus the device's lock, and ReadString is one input count.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <vector>

#include "bench/support/pty_sides.h"
#include "bench/support/table_reporter.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

using serial::platform::testing::PtyPair;

void PlainQueueQuery(benchmark::State& state) {
  PtyPair pty;
  bench::RawSide raw(pty.SlavePath());
  int waiting = 0;
  for (auto _ : state) benchmark::DoNotOptimize(::ioctl(raw.Handle(), FIONREAD, &waiting));
  state.SetLabel("Port calls, plain ioctl(FIONREAD)");
}
BENCHMARK(PlainQueueQuery);

void PlainEmptyRead(benchmark::State& state) {
  PtyPair pty;
  bench::RawSide raw(pty.SlavePath());
  char byte = 0;
  for (auto _ : state) benchmark::DoNotOptimize(::read(raw.Handle(), &byte, 1));
  state.SetLabel("Port calls, plain read() with nothing waiting");
}
BENCHMARK(PlainEmptyRead);

void InQueueCount(benchmark::State& state) {
  PtyPair pty;
  bench::CommSide side(pty.SlavePath());
  for (auto _ : state) benchmark::DoNotOptimize(side.Comm().InQueueCount());
  state.SetLabel("Port calls, InQueueCount");
}
BENCHMARK(InQueueCount);

void OutQueueCount(benchmark::State& state) {
  PtyPair pty;
  bench::CommSide side(pty.SlavePath());
  for (auto _ : state) benchmark::DoNotOptimize(side.Comm().OutQueueCount());
  state.SetLabel("Port calls, OutQueueCount");
}
BENCHMARK(OutQueueCount);

void ReadStringEmpty(benchmark::State& state) {
  PtyPair pty;
  bench::CommSide side(pty.SlavePath());
  std::vector<std::uint8_t> s;
  for (auto _ : state) benchmark::DoNotOptimize(side.Comm().ReadString(s));
  state.SetLabel("Port calls, ReadString with nothing waiting");
}
BENCHMARK(ReadStringEmpty);

}  // namespace

int main(int argc, char** argv) { return bench::RunGoogleBenchmarks(argc, argv); }
