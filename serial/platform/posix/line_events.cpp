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

}  // namespace serial::platform::posix
