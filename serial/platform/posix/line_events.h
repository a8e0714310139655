#pragma once
// Line events from the modem-status lines and the driver's line counters, as pure
// comparisons of two readings taken some time apart.
#include <cstdint>

namespace serial::platform::posix {

// The driver's interrupt counters (TIOCGICOUNT), only those that make events.
struct LineCounters {
  std::int32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
  std::int32_t frame = 0, overrun = 0, parity = 0, brk = 0, buf_overrun = 0;
};

struct LineChange {
  std::uint32_t events = 0;  // EV_*
  std::uint32_t errors = 0;  // CE_*
};

// Counters catch every transition, also one too short to be seen in two samples.
LineChange CompareCounters(const LineCounters& before, const LineCounters& after);

// For a driver without counters: the modem-status bits (TIOCM_*) of two samples.
std::uint32_t CompareModemLines(int before, int after);

}  // namespace serial::platform::posix
