// Settings and status of a terminal device; the transfer and event side is in
// posix_device_io.cpp.
#include <cerrno>
#include <utility>

#include "serial/platform/posix/posix_device.h"
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

PosixDevice::PosixDevice(UniqueFd fd, const DCB& initial) : fd_(std::move(fd)), dcb_(initial) {
  std::lock_guard lock(mutex_);
  StartLineWatch();
}

// The exclusive flag lives on the terminal, not on our descriptor: it is cleared so that
// the next open succeeds. Nothing else changes; with HUPCL off, DTR and RTS stay as set.
PosixDevice::~PosixDevice() { tty::SetExclusive(fd_.Get(), false); }

SysError PosixDevice::GetCommState(DCB& dcb) {
  std::lock_guard lock(mutex_);
  TermiosImage image;
  if (const int error = tty::GetTermios(fd_.Get(), image)) return {error};
  DCB now = dcb_;
  LoadDcb(image, now);
  dcb = now;
  return {};
}

// Checks the whole block first and writes termios once, so that a refused block leaves
// the device as it was.
SysError PosixDevice::SetCommState(const DCB& dcb) {
  if (const int error = CheckDcb(dcb)) return {error};
  std::lock_guard lock(mutex_);
  TermiosImage image;
  if (const int error = tty::GetTermios(fd_.Get(), image)) return {error};
  StoreDcb(dcb, image);
  if (const int error = tty::SetTermios(fd_.Get(), image)) return {error};
  if (const int error = ApplyLines(dcb)) return {error};
  dcb_ = dcb;
  return {};
}

int PosixDevice::ApplyLines(const DCB& dcb) {
  const int fd = fd_.Get();
  const bool toggle = dcb.fRtsControl == RTS_CONTROL_TOGGLE;
  if (toggle != rs485_) {
    const int error = tty::SetRs485(fd, toggle);
    if (error != 0 && !Lacking(error)) return error;
    rs485_ = toggle && error == 0;
  }
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
  event_wake_.Signal();  // the room for reading may have changed
  return {};
}

SysError PosixDevice::PurgeComm(std::uint32_t flags) {
  std::lock_guard lock(mutex_);
  const bool input = (flags & PURGE_RXCLEAR) != 0;
  if (input) buffer_.clear();
  event_wake_.Signal();
  return {tty::Flush(fd_.Get(), input, (flags & PURGE_TXCLEAR) != 0)};
}

SysError PosixDevice::ClearCommError(std::uint32_t& errors, COMSTAT& status) {
  std::lock_guard lock(mutex_);
  PollLines();
  errors = std::exchange(errors_, 0);
  status = COMSTAT{};
  std::uint32_t waiting = 0;
  std::uint32_t queued = 0;
  if (failure_ == 0 && tty::InputWaiting(fd_.Get(), waiting) != 0) waiting = 0;
  if (failure_ == 0 && tty::OutputWaiting(fd_.Get(), queued) != 0) queued = 0;
  status.cbInQue = static_cast<std::uint32_t>(buffer_.size()) + waiting;
  status.cbOutQue = queued;
  // After a hang-up the counts still tell what can be read from the buffer.
  return {failure_};
}

SysError PosixDevice::SetCommMask(std::uint32_t mask) {
  std::lock_guard lock(mutex_);
  mask_ = mask;
  pending_ &= mask;
  event_wake_.Signal();
  return {};
}

}  // namespace serial::platform::posix
