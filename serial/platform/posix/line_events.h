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

// The counters and the modem-status bits read together (a source the device lacks stays
// as it was).
struct LineReading {
  LineCounters counters;
  int levels = 0;
};

// Both sources of two readings, each change reported once. A change that falls between
// reading the counters and the levels (or that a USB adapter counts only when its next
// status message comes, while its levels are read live) shows in the levels at one
// reading and in the counters at the next. `uncounted` holds the lines (EV_*) whose last
// change showed in the levels alone: the next count of such a line is that change, not a
// new one. Updated for the next reading.
LineChange CompareReadings(const LineReading& before, const LineReading& after,
                           std::uint32_t& uncounted);

}  // namespace serial::platform::posix
