#pragma once
// What a test can measure about its own process: CPU time, open descriptors, threads and
// heap in use. Linux only (/proc).
#include <chrono>
#include <cstddef>
#include <functional>

#include "tests/support/cpu_time.h"
#include "tests/support/wait_for.h"

namespace reliability {

// Open file descriptors and threads of the process.
int OpenDescriptorCount();
int ThreadCount();

// Bytes the allocator has handed out and not taken back (the sanitizers' count when the
// build has one, since they replace the allocator).
std::size_t HeapInUse();

// The CPU the process used while `wall` passed, as a share of `wall` (1.0: one core kept
// busy). `during` runs repeatedly meanwhile, with `period` between its calls (a tick).
double CpuShareOver(std::chrono::milliseconds wall, const std::function<void()>& during = {},
                    std::chrono::milliseconds period = std::chrono::milliseconds(200));

// Reading CPU time and waiting for a condition are the tests' shared helpers' jobs.
using test_support::ProcessCpuTime;
using test_support::WaitFor;

}  // namespace reliability
