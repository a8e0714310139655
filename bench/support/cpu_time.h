#pragma once
// CPU time and wall time of the running process and thread, and their ratio as a share of
// one core.
#include <chrono>

namespace bench {

using Seconds = std::chrono::duration<double>;

// CPU time (user + system) of every thread of this process so far.
Seconds ProcessCpuTime();
// CPU time of the calling thread so far.
Seconds ThreadCpuTime();
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
