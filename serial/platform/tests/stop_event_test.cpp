#include <gtest/gtest.h>
#include <poll.h>

#include "serial/platform/stop_event.h"

namespace serial::platform {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

TEST(StopEvent, StartsClearAndStaysSetOnceSet) {
  StopEvent stop;
  EXPECT_FALSE(stop.IsSet());
  EXPECT_FALSE(Readable(stop.WaitHandle()));
  stop.Set();
  stop.Set();
  for (int i = 0; i < 3; ++i) {  // asking does not consume it: manual reset
    EXPECT_TRUE(stop.IsSet());
    EXPECT_TRUE(Readable(stop.WaitHandle()));
  }
}

}  // namespace
}  // namespace serial::platform
