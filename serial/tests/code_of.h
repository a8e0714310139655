#pragma once
// The component's error code a call raised, for tests on any device.
#include <cstdint>

#include "serial/device_error.h"

namespace serial::testing_support {

// Runs call and returns the component's error code it raised (0 when none).
template <class Call>
std::int32_t CodeOf(Call&& call) {
  try {
    call();
  } catch (const EDeviceError& error) {
    return error.ErrorCode();
  }
  return 0;
}

}  // namespace serial::testing_support
