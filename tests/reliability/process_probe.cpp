#include "tests/reliability/process_probe.h"

#include <malloc.h>

#include <filesystem>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RELIABILITY_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RELIABILITY_SANITIZED_HEAP 1
#endif
#endif
#ifdef RELIABILITY_SANITIZED_HEAP
// The sanitizers' allocator count; declared here since g++ installs no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace reliability {

using Clock = std::chrono::steady_clock;

namespace {

int EntriesOf(const char* directory) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++n;
  return n;
}

}  // namespace

// The iterator holds one descriptor of its own while it lists /proc/self/fd; it is counted
// the same way every time, so counts compare.
int OpenDescriptorCount() { return EntriesOf("/proc/self/fd"); }
int ThreadCount() { return EntriesOf("/proc/self/task"); }

std::size_t HeapInUse() {
#ifdef RELIABILITY_SANITIZED_HEAP
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

double CpuShareOver(std::chrono::milliseconds wall, const std::function<void()>& during,
                    std::chrono::milliseconds period) {
  const auto cpu_start = ProcessCpuTime();
  const auto start = Clock::now();
  const auto end = start + wall;
  for (auto next = start; next < end; next += period) {
    std::this_thread::sleep_until(next);
    if (during) during();
  }
  std::this_thread::sleep_until(end);
  const auto cpu = ProcessCpuTime() - cpu_start;
  const auto elapsed = Clock::now() - start;
  return cpu.count() / std::chrono::duration<double>(elapsed).count();
}

}  // namespace reliability
