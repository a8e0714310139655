// Settings and status of a terminal device; the transfer and event side is in
// posix_device_io.cpp.
#include <cerrno>
#include <utility>

#include "serial/platform/posix/posix_device.h"
#include "serial/platform/posix/bounded_close.h"
#include "serial/platform/posix/line_drain.h"
#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {
namespace {

// Modem-control and RS-485 ioctls that a device does not have (ENOTTY on ptys, EINVAL or
// EOPNOTSUPP on drivers without the feature) are not failures: the field is then kept
// without effect, as a driver that ignores it would.
bool Lacking(int error) {
  return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP;
}

constexpr std::uint32_t kBaudUser = 0x10000000;  // any rate may be set

}  // namespace

PosixDevice::PosixDevice(UniqueFd fd, LineKind kind, const DCB& initial,
                         const TermiosImage& found, bool plain_divisor)
    : fd_(std::move(fd)), kind_(kind), plain_divisor_(plain_divisor), found_(found),
      dcb_(initial) {
  std::lock_guard lock(mutex_);
  TermiosImage now;
  if (tty::GetTermios(fd_.Get(), now) == 0) character_time_ = CharacterTime(now);
  StartLineWatch();
}

// Output the line cannot send would make close() wait up to the driver's closing wait;
// it gets the time it needs and is discarded after. Once the transmitter is empty the
// terminal gets back the settings it had (hang-up on close included) and loses the
// exclusive flag, which lives on the terminal, not on our descriptor. The close itself is
// bounded: a driver that can neither discard nor stop its output (USB serial) would hold
// it for its closing wait. A device already given back is left alone.
PosixDevice::~PosixDevice() {
  StopLineWatch();
  if (released_) return;
  const int fd = fd_.Get();
  TermiosImage now;
  if (tty::GetTermios(fd, now) == 0) {
    UartClock uart;
    const std::uint32_t fifo = tty::GetUartClock(fd, uart) == 0 ? uart.fifo : 0;
    if (!DrainOrDiscard(fd, now, fifo)) AwaitTransmitterEmpty(fd, now, fifo);
  }
  tty::SetTermios(fd, found_);
  tty::SetExclusive(fd, false);
  CloseWithin(fd_.Release(), kCloseBound);
}

SysError PosixDevice::GetCommState(DCB& dcb) {
  std::lock_guard lock(mutex_);
  TermiosImage image;
  if (const int error = ReadRunning(image)) return {error};
  DCB now = dcb_;
  LoadDcb(image, now);
  if (kind_ == LineKind::PseudoTerminal) {
    // A pty has no line: the kernel keeps 8 bits and no parity whatever is asked, so
    // the format reads back as set.
    now.ByteSize = dcb_.ByteSize;
    now.Parity = dcb_.Parity;
    now.StopBits = dcb_.StopBits;
  }
  dcb = now;
  return {};
}

// Checks the whole block first and writes termios once, so that a refused block leaves
// the device as it was: lines the driver refuses put the terminal's previous settings and
// lines back, and the cached block, input rules and character time keep their values.
SysError PosixDevice::SetCommState(const DCB& dcb) {
  if (const int error = CheckDcb(dcb)) return {error};
  std::lock_guard lock(mutex_);
  TermiosImage before;
  if (const int error = tty::GetTermios(fd_.Get(), before)) return {error};
  TermiosImage image = before;
  StoreDcb(dcb, image);
  const InputRules rules{
      .marked = MarksInput(image),
      .error_char = dcb.fErrorChar ? std::optional<std::uint8_t>(dcb.ErrorChar) : std::nullopt,
      .discard_null = dcb.fNull != 0};
  if (rules.marked != input_rules_.marked) ChangeMarking();
  const int applied = ApplyTermios(before, image);
  const int lines = applied == 0 ? ApplyLines(dcb) : 0;
  if (lines != 0) {
    tty::SetTermios(fd_.Get(), before);
    ApplyLines(dcb_);
  }
  SettingsApplied();
  if (applied != 0 || lines != 0) {
    earlier_bytes_ = 0;  // the marking stayed as it was
    return {applied != 0 ? applied : lines};
  }
  dcb_ = dcb;
  character_time_ = CharacterTime(image);
  input_rules_ = rules;
  return {};
}

// The tty layer marks (or not) each byte as it receives it: what it holds now was received
// under the present rules. The buffer takes what it can under those; the count of what the
// kernel still holds is decoded the same way once read.
void PosixDevice::ChangeMarking() {
  Fill();
  std::uint32_t held = 0;
  if (failure_ != 0 || tty::InputWaiting(fd_.Get(), held) != 0) held = 0;
  earlier_rules_ = input_rules_;
  earlier_bytes_ = held;
  if (held == 0) marks_.Reset();
}

// A driver may set another rate or frame than asked without failing (ftdi_sio keeps 8
// bits for 5 or 6, a UART's divisor may be far off): on a real line the settings are
// read back, and a difference puts the previous ones back and refuses the block (EINVAL).
int PosixDevice::ApplyTermios(const TermiosImage& before, const TermiosImage& image) {
  const int fd = fd_.Get();
  if (const int error = tty::SetTermios(fd, image)) return error;
  if (kind_ == LineKind::PseudoTerminal) return 0;
  TermiosImage taken;
  const int error = ReadRunning(taken);
  const int refused = error != 0 ? error : CheckTaken(image, taken);
  if (refused != 0) tty::SetTermios(fd, before);
  return refused;
}

// The settings the line runs: the terminal's, with the rate a 16550's divisor gives in
// place of the rate asked, which the 8250 driver reads back. Only where the port's driver
// is known to divide plainly; elsewhere the terminal's reading is trusted.
int PosixDevice::ReadRunning(TermiosImage& image) const {
  const int fd = fd_.Get();
  if (const int error = tty::GetTermios(fd, image)) return error;
  UartClock clock;
  if (plain_divisor_ && tty::GetUartClock(fd, clock) == 0) {
    if (const std::optional<std::uint32_t> rate = DividedRate(clock, RateOf(image))) {
      StoreRate(*rate, image);
    }
  }
  return 0;
}

int PosixDevice::ApplyLines(const DCB& dcb) {
  const int fd = fd_.Get();
  const bool toggle = dcb.fRtsControl == RTS_CONTROL_TOGGLE;
  if (toggle != rs485_) {
    const int error = tty::SetRs485(fd, toggle);
    if (error != 0 && !Lacking(error)) return error;
    rs485_ = toggle && error == 0;
  }
  // Without the driver's RS-485 mode nothing would raise RTS while sending: a line has not
  // taken the setting (a pty has no RTS to hold low).
  if (toggle && !rs485_ && kind_ == LineKind::Port) return EINVAL;
  const int dtr = tty::SetModemLine(fd, tty::kDtr, dcb.fDtrControl != DTR_CONTROL_DISABLE);
  if (dtr != 0 && !Lacking(dtr)) return dtr;
  // Under the handshake or RS-485 mode the driver moves RTS itself.
  const bool handshake = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fOutxCtsFlow;
  if (handshake || rs485_) return 0;
  const int rts = tty::SetModemLine(fd, tty::kRts, dcb.fRtsControl == RTS_CONTROL_ENABLE);
  return Lacking(rts) ? 0 : rts;
}

SysError PosixDevice::GetCommTimeouts(COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts = timeouts_;
  return {};
}

// Transfers here never block in the kernel, so the record is only kept for reading back;
// the component times its own loops.
SysError PosixDevice::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
  return {};
}

SysError PosixDevice::GetCommProperties(COMMPROP& properties) {
  std::lock_guard lock(mutex_);
  properties = COMMPROP{.dwMaxTxQueue = 0, .dwMaxRxQueue = 0, .dwMaxBaud = kBaudUser,
                        .dwCurrentTxQueue = output_queue_, .dwCurrentRxQueue = input_queue_};
  return {};
}

// The kernel's queues have a fixed size; the input size bounds the device's own buffer.
// Bytes already buffered beyond a smaller bound stay and are read first.
SysError PosixDevice::SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) {
  if (input_queue == 0 || output_queue == 0) return {EINVAL};
  std::lock_guard lock(mutex_);
  input_queue_ = input_queue;
  output_queue_ = output_queue;
  WakeEventThread();  // the room for reading may have changed
  return {};
}

SysError PosixDevice::PurgeComm(std::uint32_t flags) {
  std::lock_guard lock(mutex_);
  const bool input = (flags & PURGE_RXCLEAR) != 0;
  if (input) {
    // A mark split by the last read is gone with the bytes that would have ended it.
    buffer_.clear();
    marks_.Reset();
    earlier_bytes_ = 0;
  }
  WakeEventThread();
  if ((flags & PURGE_TXCLEAR) != 0) owner_wake_.Signal();  // a wait for room is over
  return {tty::Flush(fd_.Get(), input, (flags & PURGE_TXCLEAR) != 0)};
}

SysError PosixDevice::ClearCommError(std::uint32_t& errors, COMSTAT& status) {
  return Report(true, true, errors, status);
}

// Each count is a system call of its own (a read or FIONREAD, TIOCOUTQ): only the one
// wanted is asked for.
SysError PosixDevice::ClearCommErrorFor(QueueCount wanted, std::uint32_t& errors,
                                        COMSTAT& status) {
  return Report(wanted == QueueCount::Input, wanted == QueueCount::Output, errors, status);
}

SysError PosixDevice::Report(bool input, bool output, std::uint32_t& errors, COMSTAT& status) {
  std::lock_guard lock(mutex_);
  PollLines(true);
  errors = std::exchange(errors_, 0);
  status = COMSTAT{};
  // The kernel's bytes are taken into the buffer first: marked input counts as what it
  // decodes to, and the bytes counted are the ones the next read returns. What a full
  // buffer leaves behind is counted in the kernel, unless it is marked: its raw count
  // would promise bytes that the marks do not hold.
  if (input) {
    Fill();
    std::uint32_t waiting = 0;
    const bool count_kernel = failure_ == 0 && Room() == 0 && !input_rules_.marked;
    if (count_kernel && tty::InputWaiting(fd_.Get(), waiting) != 0) waiting = 0;
    status.cbInQue = static_cast<std::uint32_t>(buffer_.size()) + waiting;
  }
  std::uint32_t queued = 0;
  if (output && failure_ == 0 && tty::OutputWaiting(fd_.Get(), queued) != 0) queued = 0;
  status.cbOutQue = queued;
  // After a hang-up the counts still tell what can be read from the buffer.
  return {failure_};
}

SysError PosixDevice::SetCommMask(std::uint32_t mask) {
  std::lock_guard lock(mutex_);
  mask_ = mask;
  pending_ &= mask;
  WakeEventThread();
  return {};
}

}  // namespace serial::platform::posix
