// Sending and reading: chunk loops with busy flags, notifications and time-outs measured
// from the start of the call.
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>
#include <vector>

#include "serial/custom_comm.h"

namespace serial {
namespace {

using std::chrono::milliseconds;

// A chunk write waits this long for the system, whatever the send's own time-out.
constexpr milliseconds kChunkWriteWait{1000};

// Set while a handler runs, cleared again even when the handler raises.
class BusyFlag {
 public:
  BusyFlag(TCommLocks& locks, TCommLock flag) : locks_(locks), flag_(flag) {
    locks_.Include(flag_);
  }
  ~BusyFlag() { locks_.Exclude(flag_); }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

 private:
  TCommLocks& locks_;
  TCommLock flag_;
};

void RequireBuffer(const void* buffer, std::uint32_t count) {
  if (buffer == nullptr && count > 0)
    throw std::invalid_argument("a transfer of bytes needs a buffer");
}

}  // namespace

bool TCustomComm::TimeLeft(std::uint32_t start, std::uint32_t timeout,
                           milliseconds& wait) const {
  // Tick counts wrap at 2^32; the unsigned difference stays right across the wrap.
  const std::uint32_t elapsed = platform_->GetTickCount() - start;
  if (elapsed > timeout) return false;
  wait = milliseconds(std::uint64_t{timeout - elapsed} + 1);  // just past the time-out
  return true;
}

// ---- sending --------------------------------------------------------------------------

TCustomComm::SendTurn TCustomComm::WriteTurn(const std::uint8_t* buffer, std::uint32_t count) {
  SendTurn turn;
  // Unsigned arithmetic, as the driver's queue may hold more than the stored size.
  const std::uint32_t free_space = buffers_.Stored().output_size - OutQueueCount();
  if (free_space == 0) {
    turn.queue_full = true;
    return turn;
  }
  const std::uint32_t n = std::min(free_space, count);
  const platform::IoResult result = OpenDevice().WriteChunk(buffer, n, kChunkWriteWait);
  // The dispatch follows every chunk, also one that wrote nothing.
  DispatchEvents(TDeviceEvents{deOutEmpty});
  turn.written = std::min(result.bytes, n);
  turn.device_gone = !result.error.Ok();
  return turn;
}

std::uint32_t TCustomComm::SendBuffer(const std::uint8_t* buffer, std::uint32_t count,
                                      std::uint32_t timeout) {
  OpenDevice();
  if (LockState().Contains(lkSend)) throw EDeviceError::Fixed(DEVICE_SEND_LOCKED);
  RequireBuffer(buffer, count);
  if (count == 0) return 0;
  const std::uint32_t start = platform_->GetTickCount();
  std::uint32_t sent = 0;
  while (count > 0) {
    const SendTurn turn = WriteTurn(buffer, count);
    if (turn.written > 0) {
      sent += turn.written;
      count -= turn.written;
      buffer += turn.written;
      BusyFlag busy(locks_, lkSend);
      if (on_send_) on_send_(*this);
    }
    // A device that is gone stays gone: the send ends with what it took.
    if (turn.device_gone) break;
    if (turn.written > 0) continue;
    milliseconds wait;
    if (!TimeLeft(start, timeout, wait)) break;
    // A chunk that wrote nothing has already waited for the device; a full queue has not.
    // The device knows when room can come and ends the wait then, so it gets the time left.
    if (turn.queue_full) OpenDevice().WaitForOutput(wait);
  }
  return sent;
}

std::uint32_t TCustomComm::SendData(const std::uint8_t* buffer, std::uint32_t count) {
  return SendBuffer(buffer, count, buffers_.Stored().output_timeout);
}

bool TCustomComm::SendString(std::span<const std::uint8_t> s) {
  const auto count = static_cast<std::uint32_t>(s.size());
  if (count != s.size()) throw std::length_error("SendString: more than 4 GiB to send");
  return SendData(s.data(), count) == count;
}

// ---- reading --------------------------------------------------------------------------

std::uint32_t TCustomComm::ReadTurn(std::uint8_t* buffer, std::uint32_t count,
                                    ReadProgress& call) {
  std::uint32_t waiting = std::exchange(call.counted, 0);
  bool answered = true;
  if (waiting == 0) {
    std::uint32_t errors = 0;
    platform::COMSTAT status;
    answered =
        OpenDevice().ClearCommErrorFor(platform::QueueCount::Input, errors, status).Ok();
    waiting = status.cbInQue;
  }
  // A device that cannot even report its queues with nothing waiting is gone (hang-up,
  // adapter removed): the chunk read then fails with the system's reason instead of the
  // loop waiting for input that will never come.
  if (waiting == 0 && answered) return 0;
  const std::uint32_t n = waiting == 0 ? count : std::min(waiting, count);
  const platform::IoResult result = OpenDevice().ReadChunk(buffer, n);
  if (!result.error.Ok() && call.total > 0) {
    call.failed = true;
    return 0;
  }
  if (!result.error.Ok())
    throw EDeviceError::WithSystemError(DEVICE_READ_FAILED, result.error.code,
                                        platform_->ErrorText(result.error.code));
  const std::uint32_t read = std::min(result.bytes, n);
  BusyFlag busy(locks_, lkRead);
  if (read > 0 && on_read_) on_read_(*this);
  return read;
}

std::uint32_t TCustomComm::ReadBuffer(std::uint8_t* buffer, std::uint32_t count,
                                      std::uint32_t timeout) {
  return ReadLoop(buffer, count, timeout, ReadProgress{});
}

std::uint32_t TCustomComm::ReadLoop(std::uint8_t* buffer, std::uint32_t count,
                                    std::uint32_t timeout, ReadProgress call) {
  OpenDevice();
  if (LockState().Contains(lkRead)) throw EDeviceError::Fixed(DEVICE_READ_LOCKED);
  RequireBuffer(buffer, count);
  if (count == 0) return 0;
  const std::uint32_t start = platform_->GetTickCount();
  while (count > 0) {
    const std::uint32_t read = ReadTurn(buffer, count, call);
    if (call.failed) break;
    call.total += read;
    count -= read;
    buffer += read;
    if (read > 0) continue;
    milliseconds wait;
    if (!TimeLeft(start, timeout, wait)) break;
    OpenDevice().WaitForInput(wait);
  }
  return call.total;
}

std::uint32_t TCustomComm::ReadData(std::uint8_t* buffer, std::uint32_t count) {
  return ReadBuffer(buffer, count, buffers_.Stored().input_timeout);
}

bool TCustomComm::ReadString(std::vector<std::uint8_t>& s) {
  // Exactly what waits now: the count bounds the read, so it never waits for more.
  // The count is the first turn's: the device is not asked again for what it just told.
  const std::uint32_t waiting = InQueueCount();
  std::vector<std::uint8_t> received(waiting);
  received.resize(ReadLoop(received.data(), waiting, buffers_.Stored().input_timeout,
                           ReadProgress{.counted = waiting}));
  s = std::move(received);
  return !s.empty();
}

}  // namespace serial
