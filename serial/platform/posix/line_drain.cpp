#include "serial/platform/posix/line_drain.h"

#include <algorithm>
#include <thread>

#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kUnknownFifo = 64;  // the deepest FIFO the 8250 driver fills
// A driver that tells no FIFO (USB serial, cdc-acm) stands for a chip whose buffer the host
// cannot see and whose transmitter it may never report empty (CTS held low, or no report
// at all): the wait for it is cut short, so that a close stays under a second.
constexpr milliseconds kUnknownTransmitterWait{500};

// A driver that holds bytes while the UART's transmitter stays empty does not feed it (CTS
// low, XOFF received): a healthy one refills the FIFO as soon as it runs empty. Seen on this
// many looks in a row without progress, the queue is stalled at once, before the stall
// window that a queue count alone needs (twice the FIFO's line time: 1.1 s at 300 bit/s).
constexpr int kIdleLooksForStall = 3;

// The driver signals no "drained" event, so waits look again every couple of character
// times (1 to 50 ms): a bounded number of looks, not a spin.
Clock::duration LookInterval(std::chrono::microseconds character) {
  return std::clamp<Clock::duration>(2 * character, milliseconds(1), milliseconds(50));
}

}  // namespace

milliseconds DrainBudget(std::chrono::microseconds character, std::uint32_t queued) {
  constexpr milliseconds kMargin{100};
  return std::chrono::ceil<milliseconds>(2 * character * std::uint64_t{queued}) + kMargin;
}

DrainLimits DrainLimitsFor(std::chrono::microseconds character, std::uint32_t queued,
                           std::uint32_t fifo) {
  return DrainLimits{.budget = DrainBudget(character, queued + fifo),
                     .stall = DrainBudget(character, fifo != 0 ? fifo : kUnknownFifo)};
}

// A queue that does not shrink within the stall window is stalled (CTS low, XOFF received,
// the peer gone): what is left is discarded then, before the budget.
bool DrainOrDiscard(int fd, const TermiosImage& line, std::uint32_t fifo) {
  std::uint32_t queued = 0;
  if (tty::OutputWaiting(fd, queued) != 0 || queued == 0) return false;
  const auto character = CharacterTime(line);
  const DrainLimits limits = DrainLimitsFor(character, queued, fifo);
  const auto start = Clock::now();
  const auto deadline = start + limits.budget;
  const auto look = LookInterval(character);
  auto last_progress = start;
  int idle_looks = 0;  // looks in a row without progress that found the transmitter empty
  while (queued > 0 && idle_looks < kIdleLooksForStall) {
    const auto now = Clock::now();
    if (now >= deadline || now - last_progress > limits.stall) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(look, deadline - now));
    std::uint32_t now_queued = 0;
    if (tty::OutputWaiting(fd, now_queued) != 0) return false;
    if (now_queued < queued) {
      last_progress = Clock::now();
      idle_looks = 0;
    } else {
      bool empty = false;
      idle_looks = tty::TransmitterEmpty(fd, empty) == 0 && empty ? idle_looks + 1 : 0;
    }
    queued = now_queued;
  }
  if (queued == 0) return false;
  tty::Flush(fd, false, true);
  // A driver that still counts bytes (in flight to an adapter) is stopped as well: the
  // tty layer then discards instead of waiting when the descriptor closes.
  if (tty::OutputWaiting(fd, queued) == 0 && queued > 0) tty::SuspendOutput(fd);
  return true;
}

void AwaitTransmitterEmpty(int fd, const TermiosImage& line, std::uint32_t fifo) {
  bool empty = false;
  if (tty::TransmitterEmpty(fd, empty) != 0 || empty) return;
  const auto character = CharacterTime(line);
  const auto bound = fifo != 0 ? DrainBudget(character, fifo)
                               : std::min(DrainBudget(character, kUnknownFifo),
                                          kUnknownTransmitterWait);
  const auto deadline = Clock::now() + bound;
  const auto look = LookInterval(character);
  while (!empty && Clock::now() < deadline) {
    std::this_thread::sleep_for(look);
    if (tty::TransmitterEmpty(fd, empty) != 0) return;
  }
}

}  // namespace serial::platform::posix
