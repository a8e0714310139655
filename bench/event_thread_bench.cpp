// What an open port costs while it waits, and what one hand-over to the owner's thread
// costs. The idle figure is the process's CPU time over the wall time of a quiet, open
// port: the event thread must block, not poll.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "serial/custom_comm.h"
#include "serial/handover_queue.h"
#include "serial/platform/testing/pty_pair.h"

namespace {

void BM_IdleOpenPort(benchmark::State& state) {
  serial::platform::testing::PtyPair pty;
  serial::TXComm comm;
  comm.SetDeviceName(pty.SlavePath());
  comm.SetSynchronize(state.range(0) != 0);
  if (!comm.Open()) {
    state.SkipWithError("the pseudo-terminal could not be opened");
    return;
  }
  for (auto _ : state) std::this_thread::sleep_for(std::chrono::milliseconds(250));
  comm.Close();
}
// Process CPU time against wall time: the CPU column stays near zero when idle is free.
BENCHMARK(BM_IdleOpenPort)
    ->ArgName("synchronize")
    ->Arg(1)
    ->Arg(0)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

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
}
BENCHMARK(BM_HandOverRoundTrip)->Arg(1000)->UseRealTime();

}  // namespace
