#pragma once
// Character timing of the serial line at one baud rate.
#include <chrono>
#include <cstddef>

namespace sim {

using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;

struct LineTiming {
  int baud = 9600;

  // One character of 10 bits: start bit, 8 data bits, stop bit.
  Duration ByteTime() const;
  Duration TimeFor(std::size_t bytes) const;
  // The silence that ends a frame: 3.5 characters, but a fixed 1.75 ms above 19200 baud,
  // where 3.5 characters would be shorter than the scheduling jitter of any host.
  Duration FrameSilence() const;
};

}  // namespace sim
