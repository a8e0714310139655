#include "serial/platform/posix/line_events.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "serial/platform/comm_types.h"

namespace serial::platform::posix {
namespace {

TEST(LineEvents, EachCounterGivesItsEventAndError) {
  struct Case {
    std::int32_t LineCounters::*counter;
    std::uint32_t events;
    std::uint32_t errors;
  };
  const Case cases[] = {
      {&LineCounters::cts, EV_CTS, 0},
      {&LineCounters::dsr, EV_DSR, 0},
      {&LineCounters::dcd, EV_RLSD, 0},
      {&LineCounters::rng, EV_RING, 0},
      {&LineCounters::brk, EV_BREAK, CE_BREAK},
      {&LineCounters::frame, EV_ERR, CE_FRAME},
      {&LineCounters::overrun, EV_ERR, CE_OVERRUN},
      {&LineCounters::parity, EV_ERR, CE_RXPARITY},
      {&LineCounters::buf_overrun, EV_ERR, CE_RXOVER},
  };
  for (const Case& c : cases) {
    LineCounters before;
    before.*c.counter = 41;
    LineCounters after = before;
    after.*c.counter = 43;  // two transitions between samples still make one event
    const LineChange change = CompareCounters(before, after);
    EXPECT_EQ(change.events, c.events);
    EXPECT_EQ(change.errors, c.errors);
    EXPECT_EQ(CompareCounters(after, after).events, 0u);
  }
}

TEST(LineEvents, ModemLinesThatChangedGiveEvents) {
  EXPECT_EQ(CompareModemLines(0, TIOCM_CTS | TIOCM_CD), EV_CTS | EV_RLSD);
  EXPECT_EQ(CompareModemLines(TIOCM_DSR | TIOCM_RI, 0), EV_DSR | EV_RING);
  EXPECT_EQ(CompareModemLines(TIOCM_CTS | TIOCM_DTR, TIOCM_CTS), 0u);  // our own outputs
}

}  // namespace
}  // namespace serial::platform::posix
