#pragma once
// Steps on an open device that the device tests share: change its settings, read what came.
#include <cstdint>
#include <functional>
#include <vector>

#include "serial/platform/serial_device.h"

namespace serial::platform {

// The device's block as it reads back, changed by change, then set.
inline bool Change(SerialDevice& device, const std::function<void(DCB&)>& change) {
  DCB dcb;
  if (!device.GetCommState(dcb).Ok()) return false;
  change(dcb);
  return device.SetCommState(dcb).Ok();
}

inline std::vector<std::uint8_t> ReadAll(SerialDevice& device, std::uint32_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t got = 0;
  while (got < n) {
    const IoResult r = device.ReadChunk(bytes.data() + got, n - got);
    if (!r.error.Ok() || r.bytes == 0) break;
    got += r.bytes;
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace serial::platform
