#include <gtest/gtest.h>
#include <poll.h>

#include "serial/platform/fake/fake_platform.h"
#include "serial/platform/posix/posix_platform.h"
#include "serial/platform/posix/posix_stop_event.h"

namespace serial::platform {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

std::shared_ptr<Platform> MakePlatform(bool fake) {
  if (fake) return std::make_shared<fake::FakePlatform>();
  return std::make_shared<posix::PosixPlatform>();
}

class StopEventTest : public testing::TestWithParam<bool> {};

TEST_P(StopEventTest, StartsClearAndStaysSetOnceSet) {
  const std::unique_ptr<StopEvent> stop = MakePlatform(GetParam())->CreateStopEvent();
  EXPECT_FALSE(stop->IsSet());
  stop->Set();
  stop->Set();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(stop->IsSet());  // asking does not consume it
}

INSTANTIATE_TEST_SUITE_P(Platforms, StopEventTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Fake" : "Posix"; });

// What poll() watches: readable once set and after every look.
TEST(PosixStopEvent, DescriptorStaysReadableOnceSet) {
  posix::PosixStopEvent stop;
  EXPECT_FALSE(Readable(stop.Handle()));
  stop.Set();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Readable(posix::PosixStopEvent::HandleOf(stop)));
}

TEST(PosixStopEvent, RefusesAnEventOfAnotherPlatform) {
  const auto foreign = fake::FakePlatform().CreateStopEvent();
  EXPECT_THROW(posix::PosixStopEvent::HandleOf(*foreign), std::invalid_argument);
}

}  // namespace
}  // namespace serial::platform
