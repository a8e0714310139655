#include "bench/support/cpu_time.h"

#include <time.h>

namespace bench {
namespace {

Seconds Read(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return Seconds(static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9);
}

double Share(Seconds cpu, Seconds wall) {
  return wall.count() > 0 ? cpu.count() / wall.count() : 0.0;
}

}  // namespace

Seconds ProcessCpuTime() { return Read(CLOCK_PROCESS_CPUTIME_ID); }
Seconds ThreadCpuTime() { return Read(CLOCK_THREAD_CPUTIME_ID); }
Seconds WallTime() { return Read(CLOCK_MONOTONIC); }

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
