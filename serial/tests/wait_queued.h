#pragma once
// The received bytes a port or a device holds, as the tests look at them and wait for them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "serial/custom_comm.h"
#include "tests/support/wait_for.h"

namespace serial::platform {

// The look succeeds while the line is up; after a hang-up (line_up false) the device may
// fail it and still tell the count.
inline std::uint32_t InQueue(SerialDevice& device, bool line_up = true) {
  std::uint32_t errors = 0;
  COMSTAT status;
  EXPECT_TRUE(device.ClearCommError(errors, status).Ok() || !line_up);
  return status.cbInQue;
}

// Until device holds n received bytes, woken by its input readiness.
inline bool WaitInQueue(SerialDevice& device, std::uint32_t n) {
  return test_support::WaitFor([&] { return InQueue(device) >= n; },
                               [&](std::chrono::milliseconds left) { device.WaitForInput(left); });
}

}  // namespace serial::platform

namespace serial::testing_support {

// Until a port holds n received bytes, woken by its device's input readiness. meanwhile,
// when given, runs before every look: an event loop's turn, for a window that owns the port.
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
