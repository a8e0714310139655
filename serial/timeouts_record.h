#pragma once
// The device's time-outs record and the stored time-outs, both ways, field for field in
// the record's order.
#include "serial/platform/comm_types.h"
#include "serial/settings_values.h"

namespace serial {

inline platform::COMMTIMEOUTS BuildTimeouts(const TimeoutValues& t) {
  return {.ReadIntervalTimeout = t.read_interval,
          .ReadTotalTimeoutMultiplier = t.read_multiplier,
          .ReadTotalTimeoutConstant = t.read_constant,
          .WriteTotalTimeoutMultiplier = t.write_multiplier,
          .WriteTotalTimeoutConstant = t.write_constant};
}

inline TimeoutValues TimeoutsFrom(const platform::COMMTIMEOUTS& r) {
  return {.read_interval = r.ReadIntervalTimeout,
          .read_multiplier = r.ReadTotalTimeoutMultiplier,
          .read_constant = r.ReadTotalTimeoutConstant,
          .write_multiplier = r.WriteTotalTimeoutMultiplier,
          .write_constant = r.WriteTotalTimeoutConstant};
}

}  // namespace serial
