#pragma once
// Until a port holds n received bytes, woken by its device's input readiness. meanwhile,
// when given, runs before every look: an event loop's turn, for a window that owns the port.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "serial/custom_comm.h"
#include "tests/support/wait_for.h"

namespace serial::testing_support {

inline bool WaitQueued(TCustomComm& port, std::uint32_t n,
                       std::chrono::milliseconds max = test_support::kDeadline,
                       const std::function<void()>& meanwhile = nullptr) {
  return test_support::WaitFor(
      [&] {
        if (meanwhile) meanwhile();
        return port.InQueueCount() >= n;
      },
      [&](std::chrono::milliseconds left) {
        if (platform::SerialDevice* device = port.Device()) {
          device->WaitForInput(left);
        } else {
          std::this_thread::yield();  // closed meanwhile: the next look says so
        }
      },
      max);
}

}  // namespace serial::testing_support
