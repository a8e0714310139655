#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

using std::chrono::nanoseconds;

Duration LineTiming::ByteTime() const {
  return std::chrono::duration_cast<Duration>(nanoseconds(10'000'000'000LL / baud));
}

Duration LineTiming::TimeFor(std::size_t bytes) const {
  return ByteTime() * static_cast<Duration::rep>(bytes);
}

Duration LineTiming::FrameSilence() const {
  if (baud > 19200) return std::chrono::microseconds(1750);
  return std::chrono::duration_cast<Duration>(nanoseconds(35'000'000'000LL / baud));
}

}  // namespace sim
