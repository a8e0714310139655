#pragma once
// What a test can measure about its own process: CPU time, open descriptors, threads and
// heap in use. Linux only (/proc).
#include <chrono>
#include <cstddef>
#include <functional>

#include "tests/support/wait_for.h"

namespace reliability {

// CPU time (user and system) of every thread of the process so far.
std::chrono::nanoseconds ProcessCpuTime();

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

// Waiting for a condition is the tests' one helper's job.
using test_support::WaitFor;

}  // namespace reliability
