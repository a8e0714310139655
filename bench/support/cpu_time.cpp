#include "bench/support/cpu_time.h"

namespace bench {
namespace {

double Share(Seconds cpu, Seconds wall) {
  return wall.count() > 0 ? cpu.count() / wall.count() : 0.0;
}

}  // namespace

Seconds WallTime() { return test_support::ClockReading(CLOCK_MONOTONIC); }

CpuWindow::CpuWindow()
    : process_start_(ProcessCpuTime()), thread_start_(ThreadCpuTime()), wall_start_(WallTime()) {}

void CpuWindow::Stop() {
  wall_end_ = WallTime();
  thread_end_ = ThreadCpuTime();
  process_end_ = ProcessCpuTime();
}

double CpuWindow::ProcessShare() const { return Share(ProcessCpu(), Wall()); }
double CpuWindow::ThreadShare() const { return Share(ThreadCpu(), Wall()); }

}  // namespace bench
