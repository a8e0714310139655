#include "serial/platform/posix/line_events.h"

#include <sys/ioctl.h>

#include "serial/platform/comm_types.h"

namespace serial::platform::posix {

LineChange CompareCounters(const LineCounters& before, const LineCounters& after) {
  LineChange change;
  auto moved = [](std::int32_t a, std::int32_t b) { return a != b; };
  if (moved(before.cts, after.cts)) change.events |= EV_CTS;
  if (moved(before.dsr, after.dsr)) change.events |= EV_DSR;
  if (moved(before.dcd, after.dcd)) change.events |= EV_RLSD;
  if (moved(before.rng, after.rng)) change.events |= EV_RING;
  if (moved(before.brk, after.brk)) {
    change.events |= EV_BREAK;
    change.errors |= CE_BREAK;
  }
  if (moved(before.frame, after.frame)) change.errors |= CE_FRAME;
  if (moved(before.overrun, after.overrun)) change.errors |= CE_OVERRUN;
  if (moved(before.parity, after.parity)) change.errors |= CE_RXPARITY;
  if (moved(before.buf_overrun, after.buf_overrun)) change.errors |= CE_RXOVER;
  if (change.errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) {
    change.events |= EV_ERR;
  }
  return change;
}

std::uint32_t CompareModemLines(int before, int after) {
  const int changed = before ^ after;
  std::uint32_t events = 0;
  if (changed & TIOCM_CTS) events |= EV_CTS;
  if (changed & TIOCM_DSR) events |= EV_DSR;
  if (changed & TIOCM_CD) events |= EV_RLSD;
  if (changed & TIOCM_RI) events |= EV_RING;
  return events;
}

LineChange CompareReadings(const LineReading& before, const LineReading& after,
                           std::uint32_t& uncounted) {
  struct Line {
    std::int32_t LineCounters::*count;
    std::uint32_t event;
  };
  static constexpr Line kLines[] = {{&LineCounters::cts, EV_CTS},
                                    {&LineCounters::dsr, EV_DSR},
                                    {&LineCounters::dcd, EV_RLSD},
                                    {&LineCounters::rng, EV_RING}};
  LineChange change = CompareCounters(before.counters, after.counters);
  const std::uint32_t levelled = CompareModemLines(before.levels, after.levels);
  for (const Line& line : kLines) {
    // The kernel's counters wrap: the difference is taken unsigned.
    const std::uint32_t counted = static_cast<std::uint32_t>(after.counters.*line.count) -
                                  static_cast<std::uint32_t>(before.counters.*line.count);
    const std::uint32_t owed = (uncounted & line.event) != 0 ? 1 : 0;
    const std::uint32_t fresh = counted > owed ? counted - owed : 0;
    const bool level = (levelled & line.event) != 0;
    const bool unseen_count = counted < owed || (level && fresh == 0);
    uncounted = unseen_count ? uncounted | line.event : uncounted & ~line.event;
    change.events &= ~line.event;
    if (fresh > 0 || level) change.events |= line.event;
  }
  return change;
}

}  // namespace serial::platform::posix
