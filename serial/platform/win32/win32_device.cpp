#include "serial/platform/win32/win32_device.h"

#include <algorithm>
#include <cstring>

#include "serial/platform/win32/comm_records.h"
#include "serial/platform/win32/win32_stop_event.h"

namespace serial::platform::win32 {
namespace {

SysError Code(DWORD error) { return SysError{static_cast<int>(error)}; }

SysError Result(BOOL ok) { return ok ? SysError{} : Code(::GetLastError()); }

WaitResult Failed(DWORD error) { return WaitResult{WaitOutcome::Failed, Code(error)}; }

DWORD Milliseconds(std::chrono::milliseconds wait) {
  return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INFINITE - 1));
}

// A write that ended short for one of these reasons may be tried again: its own time-out,
// a cancellation (ours, a purge, or an abort on a line error until the error is cleared).
bool RetryableWriteError(DWORD error) {
  switch (error) {
    case 0:
    case ERROR_OPERATION_ABORTED:
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case ERROR_COUNTER_TIMEOUT:
      return true;
    default:
      return false;
  }
}

constexpr DWORD kArrivalEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;

}  // namespace

Win32Device::Win32Device(UniqueHandle device, UniqueHandle wait_event, UniqueHandle input_event,
                         CancelIoFunction cancel)
    : device_(std::move(device)),
      wait_event_(std::move(wait_event)),
      input_event_(std::move(input_event)),
      cancel_(cancel) {}

SysError Win32Device::GetCommState(DCB& dcb) {
  ::DCB system{};
  system.DCBlength = sizeof system;
  const SysError result = Result(::GetCommState(Handle(), &system));
  if (result.Ok()) dcb = FromSystem(system);
  return result;
}

SysError Win32Device::SetCommState(const DCB& dcb) {
  ::DCB system = ToSystem(dcb);
  return Result(::SetCommState(Handle(), &system));
}

SysError Win32Device::GetCommTimeouts(COMMTIMEOUTS& timeouts) {
  ::COMMTIMEOUTS system{};
  const SysError result = Result(::GetCommTimeouts(Handle(), &system));
  if (result.Ok()) timeouts = FromSystem(system);
  return result;
}

SysError Win32Device::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
  ::COMMTIMEOUTS system = ToSystem(timeouts);
  return Result(::SetCommTimeouts(Handle(), &system));
}

SysError Win32Device::GetCommProperties(COMMPROP& properties) {
  ::COMMPROP system{};
  system.wPacketLength = sizeof system;
  const SysError result = Result(::GetCommProperties(Handle(), &system));
  if (result.Ok()) properties = FromSystem(system);
  return result;
}

SysError Win32Device::SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) {
  return Result(::SetupComm(Handle(), input_queue, output_queue));
}

SysError Win32Device::PurgeComm(std::uint32_t flags) {
  return Result(::PurgeComm(Handle(), flags));
}

SysError Win32Device::ClearCommError(std::uint32_t& errors, COMSTAT& status) {
  DWORD system_errors = 0;
  ::COMSTAT system{};
  const SysError result = Result(::ClearCommError(Handle(), &system_errors, &system));
  errors = result.Ok() ? system_errors : 0;
  status = result.Ok() ? FromSystem(system) : COMSTAT{};
  return result;
}

SysError Win32Device::SetCommMask(std::uint32_t mask) {
  return Result(::SetCommMask(Handle(), mask));
}

WaitResult Win32Device::WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) {
  const auto* own_stop = dynamic_cast<const Win32StopEvent*>(&stop);
  if (own_stop == nullptr) return Failed(ERROR_INVALID_PARAMETER);
  OverlappedCall call(Handle(), wait_event_.Get(), cancel_);
  // The system writes the mask when the wait completes: it lives with the record.
  auto* events = reinterpret_cast<DWORD*>(call.Bytes(sizeof(DWORD)));
  call.Started(::WaitCommEvent(Handle(), events, call.Record()));
  if (call.StartFailed()) {
    return own_stop->IsSet() ? WaitResult{.outcome = WaitOutcome::Stopped}
                             : Failed(call.Finish(0).error);
  }
  // The stop event comes first: when both are signalled, the wait ends as stopped.
  const HANDLE both[2] = {own_stop->Handle(), wait_event_.Get()};
  for (;;) {
    const DWORD woke = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
      EndStoppedWait(call);
      return {.outcome = WaitOutcome::Stopped};
    }
    if (woke != WAIT_OBJECT_0 + 1) return Failed(::GetLastError());
    if (call.Completed()) break;
    // Signalled but not complete: the event was left signalled from before. Clear it and
    // look again, so that a completion in between is not missed.
    ::ResetEvent(wait_event_.Get());
    if (call.Completed()) break;
  }
  if (const DWORD error = call.Finish(0).error; error != 0) return Failed(error);
  mask = *events;
  if ((mask & kArrivalEvents) != 0) ::SetEvent(input_event_.Get());
  return {.outcome = WaitOutcome::Events};
}

void Win32Device::EndStoppedWait(OverlappedCall& call) noexcept {
  // Clearing the mask is the documented end of a pending wait; a driver that ignores
  // cancellation still honours it. The cancellation stays as the fallback.
  ::SetCommMask(Handle(), 0);
  call.Finish(kStoppedWaitEnd, kStoppedWaitEnd);
}

IoResult Win32Device::WriteChunk(const std::uint8_t* data, std::uint32_t n,
                                 std::chrono::milliseconds wait) {
  // Each chunk has an event of its own, created signalled and closed with the chunk.
  UniqueHandle event = NewManualEvent(true);
  if (!event) return IoResult{.error = Code(::GetLastError())};
  OverlappedCall call(Handle(), event.Get());
  std::uint8_t* bytes = call.Bytes(n);
  if (n > 0) std::memcpy(bytes, data, n);
  call.Started(::WriteFile(Handle(), bytes, n, nullptr, call.Record()));
  // Still pending after the wait: cancelled and completed, counting what it did send.
  const Completion done = call.Finish(Milliseconds(wait));
  return IoResult{std::min(done.bytes, n), Code(RetryableWriteError(done.error) ? 0 : done.error)};
}

IoResult Win32Device::ReadChunk(std::uint8_t* data, std::uint32_t n) {
  UniqueHandle event = NewManualEvent(true);
  if (!event) return IoResult{.error = Code(::GetLastError())};
  OverlappedCall call(Handle(), event.Get());
  std::uint8_t* bytes = call.Bytes(n);
  call.Started(::ReadFile(Handle(), bytes, n, nullptr, call.Record()));
  const Completion done = call.Finish(Milliseconds(kReadChunkWait));
  const std::uint32_t read = std::min(done.bytes, n);
  if (read > 0) std::memcpy(data, bytes, read);
  // A failed completion is the read's failure; our own cancellation is not.
  return IoResult{read, Code(done.cancelled ? 0 : done.error)};
}

void Win32Device::WaitForInput(std::chrono::milliseconds max) {
  ::WaitForSingleObject(input_event_.Get(), Milliseconds(std::min(max, kReadinessPoll)));
  ::ResetEvent(input_event_.Get());
}

void Win32Device::WaitForOutput(std::chrono::milliseconds max) {
  ::Sleep(Milliseconds(std::min(max, kReadinessPoll)));
}

}  // namespace serial::platform::win32
