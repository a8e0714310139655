#pragma once
// A serial device opened with CreateFileW (overlapped). Every call goes straight to the
// system's communications functions; transfers are overlapped operations waited for here.
#include <chrono>
#include <cstdint>

#include "serial/platform/serial_device.h"
#include "serial/platform/win32/overlapped_call.h"
#include "serial/platform/win32/unique_handle.h"

namespace serial::platform::win32 {

class Win32Device : public SerialDevice {
 public:
  // device: the open handle; wait_event: the event of the event thread's wait record;
  // input_event: set when a completed wait reports received bytes; cancel: CancelIoEx, or
  // a test's stand-in.
  Win32Device(UniqueHandle device, UniqueHandle wait_event, UniqueHandle input_event,
              CancelIoFunction cancel = &::CancelIoEx);

  SysError GetCommState(DCB& dcb) override;
  SysError SetCommState(const DCB& dcb) override;
  SysError GetCommTimeouts(COMMTIMEOUTS& timeouts) override;
  SysError SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
  SysError GetCommProperties(COMMPROP& properties) override;
  SysError SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) override;
  SysError PurgeComm(std::uint32_t flags) override;
  SysError ClearCommError(std::uint32_t& errors, COMSTAT& status) override;
  SysError SetCommMask(std::uint32_t mask) override;
  WaitResult WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) override;
  IoResult WriteChunk(const std::uint8_t* data, std::uint32_t n,
                      std::chrono::milliseconds wait) override;
  IoResult ReadChunk(std::uint8_t* data, std::uint32_t n) override;
  void WaitForInput(std::chrono::milliseconds max) override;
  void WaitForOutput(std::chrono::milliseconds max) override;

  // A chunk read asks for no more than the driver holds, so it completes at once; should
  // it not, it is cancelled after this long and gives what it read.
  static constexpr std::chrono::milliseconds kReadChunkWait{1000};
  // The readiness waits look at the queues again at least this often: the event thread's
  // wait is the only notice of arrivals, and nothing announces room in the output queue.
  static constexpr std::chrono::milliseconds kReadinessPoll{10};
  // A stopped wait: how long its completion after the mask is cleared may take, and again
  // after the cancellation that follows when it has not come. A driver that completes it
  // neither way costs Close at most twice this, and the record is then kept for good.
  static constexpr DWORD kStoppedWaitEnd = 500;

 private:
  HANDLE Handle() const noexcept { return device_.Get(); }
  // Ends the pending wait of a stop: SetCommMask(0) first, CancelIoEx only if that fails.
  void EndStoppedWait(OverlappedCall& call) noexcept;

  UniqueHandle device_;
  UniqueHandle wait_event_;
  UniqueHandle input_event_;
  CancelIoFunction cancel_;
};

}  // namespace serial::platform::win32
