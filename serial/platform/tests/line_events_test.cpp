#include "serial/platform/posix/line_events.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <climits>

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

// Readings of CTS in turn: its count and its level, and the events each must give.
TEST(LineEvents, ReadingsOfBothSourcesReportEachChangeOnce) {
  struct Step {
    std::int32_t count;
    int level;
    std::uint32_t events;
    const char* what;
  };
  const Step steps[] = {
      {0, 0, 0, "no change"},
      {1, TIOCM_CTS, EV_CTS, "a change both sources show"},
      {1, 0, EV_CTS, "a change the counter has not seen yet"},
      {2, 0, 0, "the same change, counted late"},
      {4, 0, EV_CTS, "a pulse, counted only"},
      {4, TIOCM_CTS, EV_CTS, "not counted yet"},
      {7, TIOCM_CTS, EV_CTS, "counted late, then two more changes"},
      {7, 0, EV_CTS, "not counted yet"},
      {8, TIOCM_CTS, EV_CTS, "counted late, and one more not counted yet"},
      {9, TIOCM_CTS, 0, "that one, counted late"},
  };
  LineReading before;
  std::uint32_t uncounted = 0;
  for (const Step& step : steps) {
    LineReading after = before;
    after.counters.cts = step.count;
    after.levels = step.level;
    EXPECT_EQ(CompareReadings(before, after, uncounted).events, step.events) << step.what;
    before = after;
  }
  // Counters that wrap still count one change.
  before.counters.dsr = INT32_MAX;
  LineReading after = before;
  after.counters.dsr = INT32_MIN;
  uncounted = 0;
  EXPECT_EQ(CompareReadings(before, after, uncounted).events, EV_DSR);
}

}  // namespace
}  // namespace serial::platform::posix
