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
// driver.
std::chrono::milliseconds DrainBudget(std::chrono::microseconds character,
                                      std::uint32_t queued);

// The driver's count of queued output leaves out the UART's transmit FIFO (a 16550A shows
// 1 byte queued while its 16-byte FIFO still sends): the budget of a drain counts the FIFO
// beside the queue, and the queue counts as stalled only once it has not moved for longer
// than the FIFO takes to send twice.
struct DrainLimits {
  std::chrono::milliseconds budget;
  std::chrono::milliseconds stall;
};
// fifo: the transmit FIFO's size as the driver tells it, 0 when it does not.
DrainLimits DrainLimitsFor(std::chrono::microseconds character, std::uint32_t queued,
                           std::uint32_t fifo);

// Waits while the driver still holds output, within DrainLimitsFor what was queued at the
// start at the line's rate; discards what is left then, so that close() does not wait.
// Returns true when output had to be discarded. Nothing is purged when the output drains
// in time.
bool DrainOrDiscard(int fd, const TermiosImage& line, std::uint32_t fifo);

// Waits until the UART's transmitter is empty (TIOCSERGETLSR), at most the FIFO's line
// time twice (at most half a second where the driver tells no FIFO): the settings found at
// opening may then change the rate and frame without cutting the last frame short. Returns
// at once where the driver cannot tell.
void AwaitTransmitterEmpty(int fd, const TermiosImage& line, std::uint32_t fifo);

}  // namespace serial::platform::posix
