// Received bytes, line events and transfers of a terminal device.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "serial/platform/posix/posix_device.h"
#include "serial/platform/posix/posix_stop_event.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {

using std::chrono::milliseconds;

namespace {

// Waiting for room ended without room: the line is gone.
bool HungUp(const Ready& ready) {
  return ready.index >= 0 && (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 &&
         (ready.revents & POLLOUT) == 0;
}

}  // namespace

std::uint32_t PosixDevice::Room() const {
  const auto held = static_cast<std::uint32_t>(buffer_.size());
  return held < input_queue_ ? input_queue_ - held : 0;
}

// Moves what the kernel holds into the buffer, as far as the bound allows. A read of 0 or
// EIO means the line was hung up (pty peer closed, adapter removed).
void PosixDevice::Fill() {
  while (failure_ == 0 && Room() > 0) {
    std::uint8_t chunk[1024];
    const ssize_t n = ::read(fd_.Get(), chunk, std::min<std::size_t>(sizeof chunk, Room()));
    if (n > 0) {
      TakeArrivals(chunk, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      Fail(n == 0 ? EIO : errno);
    }
  }
}

void PosixDevice::TakeArrivals(const std::uint8_t* bytes, std::size_t n) {
  const std::size_t before = buffer_.size();
  buffer_.insert(buffer_.end(), bytes, bytes + n);
  std::uint32_t events = EV_RXCHAR;
  if (std::find(bytes, bytes + n, dcb_.EvtChar) != bytes + n) events |= EV_RXFLAG;
  const std::size_t full80 = input_queue_ * std::size_t{4} / 5;
  if (before < full80 && buffer_.size() >= full80) events |= EV_RX80FULL;
  Note(events);
  owner_wake_.Signal();
}

void PosixDevice::Note(std::uint32_t events) {
  if ((events & mask_) == 0) return;
  pending_ |= events & mask_;
  event_wake_.Signal();
}

void PosixDevice::Fail(int error) {
  if (failure_ != 0) return;
  failure_ = error;
  event_wake_.Signal();
  owner_wake_.Signal();
}

// Counters are preferred: they catch a transition shorter than the sampling interval.
// A device with neither (a pty answers ENOTTY) is never sampled.
void PosixDevice::StartLineWatch() {
  const int fd = fd_.Get();
  if (tty::GetCounters(fd, counters_) == 0) {
    line_source_ = LineSource::Counters;
  } else if (tty::GetModemLines(fd, modem_lines_) == 0) {
    line_source_ = LineSource::ModemLines;
  }
  last_line_poll_ = Clock::now();
}

void PosixDevice::PollLines() {
  if (line_source_ == LineSource::None || failure_ != 0) return;
  if (Clock::now() - last_line_poll_ < kLinePollInterval) return;
  last_line_poll_ = Clock::now();
  if (line_source_ == LineSource::Counters) {
    LineCounters now;
    if (tty::GetCounters(fd_.Get(), now) != 0) return;
    const LineChange change = CompareCounters(counters_, now);
    counters_ = now;
    errors_ |= change.errors;
    Note(change.events);
  } else {
    int now = 0;
    if (tty::GetModemLines(fd_.Get(), now) != 0) return;
    Note(CompareModemLines(modem_lines_, now));
    modem_lines_ = now;
  }
}

milliseconds PosixDevice::UntilLinePoll() const {
  if (line_source_ == LineSource::None || failure_ != 0) return milliseconds(-1);
  const auto due = last_line_poll_ + kLinePollInterval - Clock::now();
  return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(due));
}

// Blocks in poll() on the stop event, the device (while the buffer has room) and the
// event wake-up; the line sampling interval is the only time-out, and only where the
// device has lines to sample.
WaitOutcome PosixDevice::WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) {
  const int stop_fd = PosixStopEvent::HandleOf(stop);
  for (;;) {
    if (stop.IsSet()) return WaitOutcome::Stopped;
    int watch_fd = -1;
    milliseconds timeout;
    {
      std::lock_guard lock(mutex_);
      event_wake_.Drain();  // before looking: a later signal keeps it readable
      if (mask_ == 0) return WaitOutcome::Stopped;
      Fill();
      PollLines();
      if (pending_ != 0) {
        mask = std::exchange(pending_, 0);
        return WaitOutcome::Events;
      }
      if (failure_ != 0) return WaitOutcome::Failed;
      if (Room() > 0) watch_fd = fd_.Get();
      timeout = UntilLinePoll();
    }
    WaitReady({{stop_fd, POLLIN}, {event_wake_.Handle(), POLLIN}, {watch_fd, POLLIN}},
              timeout);
  }
}

IoResult PosixDevice::ReadChunk(std::uint8_t* data, std::uint32_t n) {
  std::lock_guard lock(mutex_);
  const bool was_full = Room() == 0;
  std::uint32_t got = 0;
  while (got < n) {
    Fill();
    if (buffer_.empty()) break;
    const auto take = std::min<std::size_t>(n - got, buffer_.size());
    std::copy_n(buffer_.begin(), take, data + got);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(take));
    got += static_cast<std::uint32_t>(take);
  }
  if (was_full && Room() > 0) event_wake_.Signal();  // the event thread may read again
  if (got == 0 && n > 0 && failure_ != 0) return IoResult{0, failure_};
  return IoResult{got, 0};
}

// Non-blocking writes until every byte is placed or the wait is over. What the kernel
// accepted is sent, what it did not is not: nothing is left pending, nothing sent twice.
IoResult PosixDevice::WriteChunk(const std::uint8_t* data, std::uint32_t n, milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  std::uint32_t sent = 0;
  while (sent < n) {
    const ssize_t w = ::write(fd_.Get(), data + sent, n - sent);
    if (w > 0) {
      sent += static_cast<std::uint32_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) {
      const int error = errno;
      std::lock_guard lock(mutex_);
      Fail(error);
      return IoResult{sent, error};
    }
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    const Ready ready = WaitReady({{fd_.Get(), POLLOUT}}, left);
    if (ready.index < 0) break;
    if (HungUp(ready)) {
      std::lock_guard lock(mutex_);
      Fail(EIO);
      return IoResult{sent, EIO};
    }
  }
  return IoResult{sent, 0};
}

void PosixDevice::WaitForInput(milliseconds max) {
  int watch_fd = -1;
  {
    std::lock_guard lock(mutex_);
    owner_wake_.Drain();
    Fill();
    if (!buffer_.empty()) return;
    // A failed device never gets input: the wait lasts its maximum instead of returning
    // at once to a caller that would only ask again.
    if (failure_ == 0) watch_fd = fd_.Get();
  }
  WaitReady({{owner_wake_.Handle(), POLLIN}, {watch_fd, POLLIN}}, max);
}

void PosixDevice::WaitForOutput(milliseconds max) {
  bool failed = false;
  {
    std::lock_guard lock(mutex_);
    owner_wake_.Drain();
    failed = failure_ != 0;
  }
  if (failed) {  // as in WaitForInput: no room will come
    WaitReady({{owner_wake_.Handle(), POLLIN}}, max);
    return;
  }
  if (HungUp(WaitReady({{fd_.Get(), POLLOUT}}, max))) {
    std::lock_guard lock(mutex_);
    Fail(EIO);
  }
}

}  // namespace serial::platform::posix
