#pragma once
// The received bytes a device holds, as the tests look at them through the device
// interface on every platform.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "serial/platform/serial_device.h"
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

inline std::vector<std::uint8_t> ReadAll(SerialDevice& device, std::uint32_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t got = 0;
  while (got < n) {
    const IoResult r = device.ReadChunk(bytes.data() + got, n - got);
    if (r.error != 0 || r.bytes == 0) break;
    got += r.bytes;
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace serial::platform
