#pragma once
// The one reading of CPU time for the tests and the benchmarks: of the whole process (every
// thread, user and system) or of the calling thread, so far, in seconds.
#include <time.h>

#include <chrono>

namespace test_support {

using CpuSeconds = std::chrono::duration<double>;

inline CpuSeconds ClockReading(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return CpuSeconds(static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9);
}

inline CpuSeconds ProcessCpuTime() { return ClockReading(CLOCK_PROCESS_CPUTIME_ID); }
inline CpuSeconds ThreadCpuTime() { return ClockReading(CLOCK_THREAD_CPUTIME_ID); }

}  // namespace test_support
