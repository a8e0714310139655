#include "serial/platform/win32/overlapped_call.h"

namespace serial::platform::win32 {

OverlappedCall::OverlappedCall(HANDLE device, HANDLE event, CancelIoFunction cancel) noexcept
    : device_(device), cancel_(cancel), event_(event), record_(std::make_unique<State>()) {
  record_->overlapped.hEvent = event;
}

OverlappedCall::~OverlappedCall() {
  if (pending_) Cancel(kCancelCompletionWait);
}

std::uint8_t* OverlappedCall::Bytes(std::uint32_t n) {
  record_->bytes.resize(n);
  return record_->bytes.data();
}

void OverlappedCall::Started(BOOL result) noexcept {
  if (result) return;  // completed at once; GetOverlappedResult still gives the count
  const DWORD error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    pending_ = true;
  } else {
    start_error_ = error;
  }
}

bool OverlappedCall::Completed() const noexcept {
  return !pending_ || HasOverlappedIoCompleted(&record_->overlapped);
}

Completion OverlappedCall::Finish(DWORD wait_ms, DWORD cancel_wait_ms) noexcept {
  if (start_error_ != 0) return Completion{.error = start_error_};
  // GetOverlappedResultEx waits on the record's event and checks the record itself, so an
  // event signalled before the operation began cannot end the wait early.
  DWORD bytes = 0;
  if (::GetOverlappedResultEx(device_, Record(), &bytes, pending_ ? wait_ms : 0, FALSE)) {
    pending_ = false;
    return Completion{.bytes = bytes};
  }
  const DWORD error = ::GetLastError();
  if (error == WAIT_TIMEOUT || error == ERROR_IO_INCOMPLETE) return Cancel(cancel_wait_ms);
  pending_ = false;
  return Completion{.bytes = bytes, .error = error};
}

Completion OverlappedCall::Cancel(DWORD wait_ms) noexcept {
  cancel_(device_, Record());
  Completion result{.cancelled = true};
  DWORD bytes = 0;
  if (::GetOverlappedResultEx(device_, Record(), &bytes, wait_ms, FALSE)) {
    result.bytes = bytes;
  } else if (const DWORD error = ::GetLastError();
             error == WAIT_TIMEOUT || error == ERROR_IO_INCOMPLETE) {
    // The system has not given the record back: keep it alive for good instead of letting
    // a late completion write into freed memory.
    [[maybe_unused]] State* abandoned = record_.release();
    record_ = std::make_unique<State>();
    result.error = ERROR_OPERATION_ABORTED;
  } else {
    result.bytes = bytes;
    result.error = error;
  }
  pending_ = false;
  return result;
}

}  // namespace serial::platform::win32
