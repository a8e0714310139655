#pragma once
// Closing a terminal without the kernel's closing wait: the last close() of a real port
// waits until the output has drained, up to the driver's closing wait (30 s by default),
// which never comes with CTS low under RTS/CTS, after a received XOFF or with a peer that
// is gone. The backend waits only as long as the queued bytes take on the line.
#include <chrono>
#include <cstdint>

#include "serial/platform/posix/termios_image.h"

namespace serial::platform::posix {

// How long queued bytes may take to leave: twice their line time, plus a margin for the
// driver and the UART's own FIFO.
std::chrono::milliseconds DrainBudget(std::chrono::microseconds character,
                                      std::uint32_t queued);

// Waits while the driver still holds output, at most DrainBudget of what was queued at
// the start at the line's rate; discards what is left then, so that close() does not
// wait. Returns true when output had to be discarded. Nothing is purged when the output
// drains in time.
bool DrainOrDiscard(int fd, const TermiosImage& line);

}  // namespace serial::platform::posix
