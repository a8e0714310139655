// What one hand-over of a notification from the event thread to the owner's thread costs.
// (The idle cost of an open port is measured by bench_idle against a sleeping process.)
#include <benchmark/benchmark.h>

#include <string>

#include "bench/support/table_reporter.h"
#include "serial/handover_queue.h"

namespace {

void BM_HandOverRoundTrip(benchmark::State& state) {
  serial::HandOverQueue queue;
  const auto calls = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int ran = 0;
    serial::HandOverThread worker(queue, [&] {
      for (int i = 0; i < calls; ++i) queue.HandOver([&] { ++ran; });
    });
    worker.Join();  // the owner runs every call while it waits
    benchmark::DoNotOptimize(ran);
  }
  state.SetItemsProcessed(state.iterations() * calls);
  state.SetLabel("Event thread, " + std::to_string(calls) +
                 " hand-overs to the owner's thread (one worker start included)");
}
// Process CPU time: the worker's share of each hand-over counts as well as the owner's.
BENCHMARK(BM_HandOverRoundTrip)->Arg(1000)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunGoogleBenchmarks(argc, argv); }
