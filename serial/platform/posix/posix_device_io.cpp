// Received bytes, line events and transfers of a terminal device.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

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

// Moves what the kernel holds into the buffer, as far as the bound allows. A short read
// took everything there was, so no second read is made to learn that. A read of 0 or EIO
// means the line was hung up (pty peer closed, adapter removed).
void PosixDevice::Fill() {
  while (failure_ == 0 && Room() > 0) {
    // As large as the default input size, so that a block of up to that size is taken
    // with one read, and the short read tells that nothing more waits.
    std::uint8_t chunk[kDefaultQueue];
    const std::size_t want = std::min<std::size_t>(sizeof chunk, Room());
    const ssize_t n = ::read(fd_.Get(), chunk, want);
    if (n > 0) {
      TakeArrivals(chunk, static_cast<std::size_t>(n));
      if (static_cast<std::size_t>(n) < want) return;
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
  Decoded decoded;
  if (earlier_bytes_ > 0) {
    // The boundary where the marking changed: the rest comes under the new rules.
    const std::size_t earlier = std::min<std::size_t>(n, earlier_bytes_);
    decoded = marks_.Take(bytes, earlier, earlier_rules_);
    earlier_bytes_ -= static_cast<std::uint32_t>(earlier);
    if (earlier_bytes_ == 0) marks_.Reset();
    bytes += earlier;
    n -= earlier;
  }
  const Decoded later = marks_.Take(bytes, n, input_rules_);
  decoded.data.insert(decoded.data.end(), later.data.begin(), later.data.end());
  decoded.error = decoded.error || later.error;
  InputSeen(decoded.error);
  const std::vector<std::uint8_t>& data = decoded.data;
  if (data.empty()) return;
  const std::size_t before = buffer_.size();
  buffer_.insert(buffer_.end(), data.begin(), data.end());
  std::uint32_t events = EV_RXCHAR;
  if (std::find(data.begin(), data.end(), dcb_.EvtChar) != data.end()) events |= EV_RXFLAG;
  const std::size_t full80 = input_queue_ * std::size_t{4} / 5;
  if (before < full80 && buffer_.size() >= full80) events |= EV_RX80FULL;
  Note(events);
  if (owner_waits_input_) owner_wake_.Signal();
}

void PosixDevice::Note(std::uint32_t events) {
  if ((events & mask_) == 0) return;
  pending_ |= events & mask_;
  WakeEventThread();
}

void PosixDevice::WakeEventThread() {
  if (event_thread_polls_) event_wake_.Signal();
}

void PosixDevice::Fail(int error) {
  if (failure_ != 0) return;
  failure_ = error;
  Release();
  WakeEventThread();
  owner_wake_.Signal();
}

// While a hung-up terminal stays open the kernel keeps its device number, and a replugged
// adapter comes back under the next one (ttyUSB1 for ttyUSB0). The terminal is therefore
// closed at once; a pipe end whose writer is gone takes over the descriptor's number, so
// a thread still about to poll or write it meets a hang-up or EBADF, never another file
// that reused the number. The device keeps answering as a failed one until destroyed.
void PosixDevice::Release() {
  StopLineWatch();
  int placeholder[2];
  if (::pipe2(placeholder, O_CLOEXEC) != 0) return;  // then the terminal stays held
  ::close(placeholder[1]);
  if (::dup3(placeholder[0], fd_.Get(), O_CLOEXEC) >= 0) released_ = true;
  ::close(placeholder[0]);
}

// Counters are preferred: they catch a transition shorter than the sampling interval.
// But a UART driver counts modem-line changes only while its modem-status interrupts are
// on (RTS/CTS, no CLOCAL, or a wait for a line change pending), so the lines' levels are
// read beside the counters, and a change either shows is reported once. A device with
// neither (a pty answers ENOTTY) is never read. Where the driver can wait for a line
// change a watcher does, and the lines are read when it returns.
void PosixDevice::StartLineWatch() {
  const int fd = fd_.Get();
  sample_modem_lines_ = tty::GetModemLines(fd, lines_.levels) == 0;
  if (tty::GetCounters(fd, lines_.counters) == 0) {
    line_source_ = LineSource::Counters;
  } else if (sample_modem_lines_) {
    line_source_ = LineSource::ModemLines;
  }
  last_line_poll_ = Clock::now();
  if (line_source_ == LineSource::None) return;
  watcher_ =
      LineWatcher::Start([fd] { return tty::WaitModemChange(fd); }, watcher_wake_.Handle());
}

// The watcher's wait holds the terminal open, and would keep a removed adapter's number.
void PosixDevice::StopLineWatch() { watcher_.reset(); }

// Setting the line turns a UART's modem-status interrupts off again (the 8250 keeps them
// only under RTS/CTS or without CLOCAL), and moving DTR or RTS may move lines that are
// looped back: the watcher enters its wait again, and the lines are read once.
void PosixDevice::SettingsApplied() {
  if (line_source_ == LineSource::None) return;
  if (watcher_) watcher_->Kick();
  lines_moved_ = true;
  WakeEventThread();
}

// Line errors come with input: the counters are read then (a marked error at once, since
// the mark does not tell parity from framing and the counters do).
void PosixDevice::InputSeen(bool marked_error) {
  lines_due_ = true;
  if (!marked_error) return;
  if (line_source_ == LineSource::Counters) {
    last_line_poll_ = Clock::time_point{};
  } else {
    errors_ |= CE_RXPARITY;
  }
  Note(EV_ERR);
}

bool PosixDevice::Watching() const { return watcher_ && watcher_->Waiting(); }

// With a watcher the lines are read when it returns and, while input comes in or the owner
// asks for the queues, at most every interval; without one (or once its wait failed) every
// interval. A break with no data after it moves only the counters, and some drivers' waits
// never return (QEMU's UART raises no delta bits): while the watcher waits, the event
// thread still reads them once a second, and the owner's polling tick reads them.
PosixDevice::Clock::time_point PosixDevice::NextLineRead(bool owner) const {
  if (Watching() && !lines_due_ && !owner) return last_line_poll_ + kLineSafetyInterval;
  return last_line_poll_ + kLinePollInterval;
}

void PosixDevice::PollLines(bool owner) {
  if (line_source_ == LineSource::None || failure_ != 0) return;
  bool moved = std::exchange(lines_moved_, false);
  if (watcher_) {
    const std::uint64_t returns = watcher_->Returns();
    moved = moved || returns != watcher_returns_;
    watcher_returns_ = returns;
  }
  if (moved || Clock::now() >= NextLineRead(owner)) ReadLines();
}

void PosixDevice::ReadLines() {
  last_line_poll_ = Clock::now();
  lines_due_ = false;
  LineReading now = lines_;  // what cannot be read stays as it was
  if (line_source_ == LineSource::Counters) tty::GetCounters(fd_.Get(), now.counters);
  if (sample_modem_lines_) tty::GetModemLines(fd_.Get(), now.levels);
  const LineChange change = CompareReadings(lines_, now, uncounted_);
  lines_ = now;
  errors_ |= change.errors;
  Note(change.events);
}

milliseconds PosixDevice::UntilLinePoll() const {
  if (line_source_ == LineSource::None || failure_ != 0) return milliseconds(-1);
  const Clock::time_point next = NextLineRead(false);
  return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(next - Clock::now()));
}

// Blocks in poll() on the stop event, the device (for input while the buffer has room, for
// a hang-up always) and the event wake-up (the line watcher's too); the only time-out is
// the next reading of the lines where they are due. The device is read only once poll() has reported it: a look
// that found nothing would cost a read per arrival, since poll() watches it anyway.
WaitResult PosixDevice::WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) {
  const int stop_fd = PosixStopEvent::HandleOf(stop);
  bool device_ready = false;
  bool device_hung_up = false;
  bool watcher_woke = false;
  for (;;) {
    if (stop.IsSet()) return {.outcome = WaitOutcome::Stopped};
    short device_events = 0;
    int watcher_fd = -1;
    milliseconds timeout;
    {
      std::lock_guard lock(mutex_);
      // The watcher signals its own descriptor from its thread, outside the lock that the
      // latched event wake-up needs; it is drained once poll() has reported it.
      if (watcher_woke) watcher_wake_.Drain();
      if (const std::optional<WaitOutcome> outcome = Look(device_ready, device_hung_up, mask)) {
        // A failed wait carries the line's failure (EIO after a hang-up), as every failed call does.
        return {.outcome = *outcome,
                .error = {*outcome == WaitOutcome::Failed ? failure_ : 0}};
      }
      if (Room() > 0) device_events = POLLIN;
      if (watcher_) watcher_fd = watcher_wake_.Handle();
      timeout = UntilLinePoll();
      event_thread_polls_ = true;
    }
    const Ready ready = WaitReady({{stop_fd, POLLIN},
                                   {fd_.Get(), device_events},
                                   {event_wake_.Handle(), POLLIN},
                                   {watcher_fd, POLLIN}},
                                  timeout);
    event_thread_polls_ = false;
    device_ready = ready.index == 1;
    device_hung_up = device_ready && (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    watcher_woke = ready.index == 3;
  }
}

std::optional<WaitOutcome> PosixDevice::Look(bool read_device, bool hung_up,
                                             std::uint32_t& mask) {
  event_wake_.Drain();  // before looking: a later signal keeps it readable
  if (mask_ == 0) return WaitOutcome::Stopped;
  // Events the owner's reads noted are reported first; what came after them makes the
  // next poll() return at once.
  if (read_device && pending_ == 0) Fill();
  // With the buffer full the device cannot be read to learn of the hang-up: the line is
  // gone all the same (the kernel drops its input on a hang-up).
  if (hung_up && Room() == 0) Fail(EIO);
  PollLines(false);
  if (pending_ != 0) {
    mask = std::exchange(pending_, 0);
    return WaitOutcome::Events;
  }
  if (failure_ != 0) return WaitOutcome::Failed;
  return std::nullopt;
}

IoResult PosixDevice::ReadChunk(std::uint8_t* data, std::uint32_t n) {
  std::lock_guard lock(mutex_);
  const bool was_full = Room() == 0;
  std::uint32_t got = 0;
  while (got < n) {
    if (buffer_.size() < n - got) Fill();  // the counted bytes are mostly buffered already
    if (buffer_.empty()) break;
    const auto take = std::min<std::size_t>(n - got, buffer_.size());
    std::copy_n(buffer_.begin(), take, data + got);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(take));
    got += static_cast<std::uint32_t>(take);
  }
  if (was_full && Room() > 0) WakeEventThread();  // the event thread may read again
  if (got == 0 && n > 0 && failure_ != 0) return IoResult{0, {failure_}};
  return IoResult{.bytes = got};
}

// Non-blocking writes until every byte is placed or the wait is over. What the kernel
// accepted is sent, what it did not is not: nothing is left pending, nothing sent twice.
IoResult PosixDevice::WriteChunk(const std::uint8_t* data, std::uint32_t n, milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  std::uint32_t sent = 0;
  {
    std::lock_guard lock(mutex_);
    if (failure_ != 0) return IoResult{0, {failure_}};
  }
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
      return IoResult{sent, {failure_}};
    }
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    const Ready ready = WaitReady({{fd_.Get(), POLLOUT}}, left);
    if (ready.index < 0) break;
    if (HungUp(ready)) {
      std::lock_guard lock(mutex_);
      Fail(EIO);
      return IoResult{sent, {failure_}};
    }
  }
  return IoResult{.bytes = sent};
}

// The event thread may take the bytes off the device first: it signals the owner's wake-up
// for them, but only while the owner waits here.
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
    owner_waits_input_ = true;
  }
  WaitReady({{owner_wake_.Handle(), POLLIN}, {watch_fd, POLLIN}}, max);
  std::lock_guard lock(mutex_);
  owner_waits_input_ = false;
}

// A tty reports room while fewer than 256 bytes are queued, also when the output size the
// component keeps to is smaller: with the queue at that size a poll for room would return
// at once. The wait then lasts until the line has sent the queue down to half the output
// size, so that a sender refills in large chunks while the line stays busy. A queue that
// did not move since the last look is stalled (CTS low, XOFF): the look doubles each time,
// up to kOutputLookCap, instead of coming back every line time.
milliseconds PosixDevice::UntilOutputRoom() {
  std::uint32_t queued = 0;
  if (tty::OutputWaiting(fd_.Get(), queued) != 0 || queued < output_queue_) {
    looked_queued_ = 0;
    output_look_ = milliseconds(0);
    return milliseconds(-1);
  }
  const std::uint32_t low_water = output_queue_ / 2;
  const auto line = std::chrono::ceil<milliseconds>(character_time_ * (queued - low_water));
  if (queued == looked_queued_) {
    output_look_ = std::min(std::max(2 * output_look_, line), kOutputLookCap);
  } else {
    output_look_ = milliseconds(0);
  }
  looked_queued_ = queued;
  return std::max(line, output_look_);
}

// A failure, a purge or a hang-up of the line ends the wait early.
void PosixDevice::WaitForOutput(milliseconds max) {
  bool failed = false;
  milliseconds held{-1};
  {
    std::lock_guard lock(mutex_);
    owner_wake_.Drain();
    failed = failure_ != 0;
    if (!failed) held = UntilOutputRoom();
  }
  Ready ready;
  if (failed) {  // as in WaitForInput: no room will come at once
    WaitReady({{owner_wake_.Handle(), POLLIN}}, max);
    return;
  }
  if (held.count() >= 0) {
    ready = WaitReady({{owner_wake_.Handle(), POLLIN}, {fd_.Get(), 0}}, std::min(max, held));
    if (ready.index != 1) return;
  } else {
    ready = WaitReady({{fd_.Get(), POLLOUT}}, max);
  }
  if (HungUp(ready)) {
    std::lock_guard lock(mutex_);
    Fail(EIO);
  }
}

}  // namespace serial::platform::posix
