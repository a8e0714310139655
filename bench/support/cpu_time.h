#pragma once
// CPU time and wall time of the running process and thread, and their ratio as a share of
// one core.
#include <chrono>

#include "tests/support/cpu_time.h"

namespace bench {

using Seconds = test_support::CpuSeconds;

using test_support::ProcessCpuTime;
using test_support::ThreadCpuTime;
Seconds WallTime();  // monotonic

// CPU time and wall time between construction and Stop().
class CpuWindow {
 public:
  CpuWindow();
  void Stop();
  Seconds ProcessCpu() const { return process_end_ - process_start_; }
  Seconds ThreadCpu() const { return thread_end_ - thread_start_; }
  Seconds Wall() const { return wall_end_ - wall_start_; }
  // Process CPU over wall time: 1.0 is one core busy the whole time.
  double ProcessShare() const;
  double ThreadShare() const;

 private:
  Seconds process_start_, thread_start_, wall_start_;
  Seconds process_end_{}, thread_end_{}, wall_end_{};
};

}  // namespace bench
