#pragma once
// The one way the tests wait for something to happen: look, and until the condition holds
// or the deadline passes, block on whatever signals a change — a descriptor becoming
// readable, a device's readiness wait, a condition variable — and look again. No fixed
// sleeps: a quiet machine does not wait longer than needed, a busy one gets the deadline.
#include <chrono>
#include <concepts>
#include <thread>

namespace test_support {

// Long enough for a machine under full load; reached only when the test fails.
inline constexpr std::chrono::milliseconds kDeadline{10000};

// block(left) returns once the condition may have changed, at the latest after left.
template <class Done, class Block>
  requires std::invocable<Block&, std::chrono::milliseconds>
bool WaitFor(Done&& done, Block&& block, std::chrono::milliseconds max = kDeadline) {
  const auto deadline = std::chrono::steady_clock::now() + max;
  while (!done()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    block(left);
  }
  return true;
}

// For a state nothing signals (another thread's own end): yields between looks.
template <class Done>
bool WaitFor(Done&& done, std::chrono::milliseconds max = kDeadline) {
  return WaitFor(done, [](std::chrono::milliseconds) { std::this_thread::yield(); }, max);
}

}  // namespace test_support
