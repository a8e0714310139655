#pragma once
// One overlapped operation on a device (ReadFile, WriteFile, WaitCommEvent): its record,
// the bytes it transfers and the event the record names. The system may use the record and
// the bytes until the operation has completed, so nothing here lets them go earlier: an
// operation still pending when its owner is done with it is cancelled (CancelIoEx) and its
// completion awaited before the record is released; one that even then does not complete
// keeps its record and bytes allocated for good.
#include "serial/platform/win32/windows_api.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace serial::platform::win32 {

struct Completion {
  std::uint32_t bytes = 0;  // transferred (GetOverlappedResult)
  DWORD error = 0;          // 0, or the system's code for the failed call or completion
  bool cancelled = false;   // still pending when the wait ended, so cancelled here
};

// The system's CancelIoEx, or a stand-in for it (a test's driver that ignores cancellation).
using CancelIoFunction = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);

class OverlappedCall {
 public:
  // event: a manual-reset event the record names, owned by the caller and outliving this.
  OverlappedCall(HANDLE device, HANDLE event, CancelIoFunction cancel = &::CancelIoEx) noexcept;
  ~OverlappedCall();
  OverlappedCall(const OverlappedCall&) = delete;
  OverlappedCall& operator=(const OverlappedCall&) = delete;

  OVERLAPPED* Record() noexcept { return &record_->overlapped; }
  // The transfer's bytes, n of them, living as long as the record.
  std::uint8_t* Bytes(std::uint32_t n);
  // Takes the starting call's result: completed at once, pending, or failed.
  void Started(BOOL result) noexcept;
  // The starting call failed: there is no operation to wait for.
  bool StartFailed() const noexcept { return start_error_ != 0; }
  // True once the operation has completed (or never became pending).
  bool Completed() const noexcept;
  // Waits at most wait_ms for the operation, then cancels what is still pending and waits
  // at most cancel_wait_ms for that to complete. INFINITE waits without limit.
  Completion Finish(DWORD wait_ms, DWORD cancel_wait_ms = kCancelCompletionWait) noexcept;

  // How long a cancelled operation may take to complete before its record is abandoned
  // (left allocated, never reused) rather than freed under the system's feet.
  static constexpr DWORD kCancelCompletionWait = 5000;

 private:
  struct State {
    OVERLAPPED overlapped{};
    std::vector<std::uint8_t> bytes;
  };
  Completion Cancel(DWORD wait_ms) noexcept;

  HANDLE device_;
  CancelIoFunction cancel_;
  HANDLE event_;
  std::unique_ptr<State> record_;
  bool pending_ = false;
  DWORD start_error_ = 0;
};

}  // namespace serial::platform::win32
