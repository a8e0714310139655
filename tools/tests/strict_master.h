#pragma once
// A Modbus RTU master that keeps the line's timing as the standard has it: a silence of more
// than 1.5 characters ends a frame, whatever the frame's length says. It reads from a
// descriptor and cuts what arrives into the frames such a master would see.
#include <chrono>
#include <vector>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim::testing {

struct StrictReply {
  std::vector<modbus::ByteString> frames;  // as cut by the 1.5-character limit
  Duration largest_gap{};  // longest silence between two bytes of one frame, as seen here
  Duration first_byte_after{};  // from the request's write to the first read
};

// Sends `request`, then reads until `expected` bytes have arrived in all or `patience` has
// passed. A read's bytes are taken to have arrived back to back at the line's rate, ending
// when they were read; the silence before them is counted from the previous read.
StrictReply StrictExchange(int fd, modbus::ByteView request, std::size_t expected,
                           LineTiming timing, std::chrono::milliseconds patience);

}  // namespace sim::testing
