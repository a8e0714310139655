#include "serial/platform/posix/line_drain.h"

#include <algorithm>
#include <thread>

#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {

using std::chrono::milliseconds;

milliseconds DrainBudget(std::chrono::microseconds character, std::uint32_t queued) {
  constexpr milliseconds kMargin{100};
  return std::chrono::ceil<milliseconds>(2 * character * std::uint64_t{queued}) + kMargin;
}

// The driver signals no "drained" event, so the wait looks again every couple of
// character times (1 to 50 ms): a bounded number of looks, not a spin. A queue that does
// not shrink for longer than a full UART FIFO takes to send twice is stalled (CTS low,
// XOFF received, the peer gone): what is left is discarded then, before the budget.
bool DrainOrDiscard(int fd, const TermiosImage& line) {
  using Clock = std::chrono::steady_clock;
  constexpr std::uint32_t kFifoDepth = 64;  // the deepest UART FIFO the driver fills
  std::uint32_t queued = 0;
  if (tty::OutputWaiting(fd, queued) != 0 || queued == 0) return false;
  const auto character = CharacterTime(line);
  const auto start = Clock::now();
  const auto deadline = start + DrainBudget(character, queued);
  const auto stall = DrainBudget(character, kFifoDepth);
  const auto look = std::clamp<Clock::duration>(2 * character, milliseconds(1), milliseconds(50));
  auto last_progress = start;
  while (queued > 0) {
    const auto now = Clock::now();
    if (now >= deadline || now - last_progress > stall) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(look, deadline - now));
    std::uint32_t now_queued = 0;
    if (tty::OutputWaiting(fd, now_queued) != 0) return false;
    if (now_queued < queued) last_progress = Clock::now();
    queued = now_queued;
  }
  if (queued == 0) return false;
  tty::Flush(fd, false, true);
  // A driver that still counts bytes (in flight to an adapter) is stopped as well: the
  // tty layer then discards instead of waiting when the descriptor closes.
  if (tty::OutputWaiting(fd, queued) == 0 && queued > 0) tty::SuspendOutput(fd);
  return true;
}

}  // namespace serial::platform::posix
