// The component's life cycle: opening, closing, queue counts, locks and notifications.
#include "serial/custom_comm.h"

#include <stdexcept>
#include <utility>

#include "serial/event_thread.h"

namespace serial {

TCustomComm::TCustomComm(Completion, std::shared_ptr<platform::Platform> platform)
    : platform_(std::move(platform)) {
  if (platform_ == nullptr) throw std::invalid_argument("TCustomComm needs a platform");
}

TCustomComm::~TCustomComm() { BeforeDestruction(); }

void TCustomComm::BeforeDestruction() noexcept {
  // From here on no line event is dispatched, also not one the event thread still delivers
  // while it is being stopped.
  destroying_ = true;
  if (IsOpen()) CloseDevice();
}

bool TCustomComm::Open() {
  if (IsOpen()) throw EDeviceError::Fixed(DEVICE_ALREADY_OPENED);
  locks_ = {};
  last_system_error_ = {};
  // A refused device is a false result; its reason is kept for diagnosis.
  platform::OpenResult opened = platform_->CreateFile("\\\\.\\" + line_.device_name);
  device_ = std::move(opened.device);
  if (device_ == nullptr) {
    Succeeded(opened.error);
    return false;
  }
  StartEventThread();
  // A failure leaves the device open; the caller decides whether to close it.
  UpdateDCB();
  UpdateBuffers();
  UpdateTimeouts();
  return true;
}

void TCustomComm::Close() {
  if (!IsOpen()) throw EDeviceError::Fixed(DEVICE_NOT_OPENED);
  CloseDevice();
}

void TCustomComm::CloseDevice() {
  // The event thread ends before the handle it waits on goes away. Nothing is purged and
  // no line is changed first.
  StopEventThread();
  device_.reset();
}

void TCustomComm::StartEventThread() {
  event_thread_ = std::make_unique<TCommEventThread>(*this);
}

void TCustomComm::StopEventThread() {
  if (event_thread_ == nullptr) return;
  // Refuses (and changes nothing) when called from inside one of the thread's own
  // notifications, which the thread would wait for in turn.
  event_thread_->Stop();
  event_thread_.reset();
}

std::optional<int> TCustomComm::EventWaitFailure() const {
  if (event_thread_ == nullptr) return std::nullopt;
  return event_thread_->FailedWith();
}

TCommLocks TCustomComm::LockState() const {
  if (!IsOpen()) return TCommLocks{lkSend, lkRead};
  return locks_;
}

bool TCustomComm::Succeeded(platform::SysError error) {
  if (error.Ok()) return true;
  last_system_error_ = TSystemError{error.code, TrimSystemText(platform_->ErrorText(error.code))};
  return false;
}

platform::SerialDevice& TCustomComm::OpenDevice() const {
  if (device_ == nullptr) throw EDeviceError::Fixed(DEVICE_NOT_OPENED);
  return *device_;
}

std::uint32_t TCustomComm::InQueueCount() {
  // The result and the error flags are discarded; the query clears the device's error
  // condition, which also releases a device stopped by coAbortOnError.
  std::uint32_t errors = 0;
  platform::COMSTAT status;
  OpenDevice().ClearCommErrorFor(platform::QueueCount::Input, errors, status);
  return status.cbInQue;
}

std::uint32_t TCustomComm::OutQueueCount() {
  std::uint32_t errors = 0;
  platform::COMSTAT status;
  OpenDevice().ClearCommErrorFor(platform::QueueCount::Output, errors, status);
  return status.cbOutQue;
}

// ---- notifications --------------------------------------------------------------------

void TCustomComm::DispatchEvents(TDeviceEvents events) {
  if (!IsOpen() || destroying_) return;
  DoCommEvent(events);
}

void TCustomComm::DoCommEvent(TDeviceEvents events) {
  if (events.Contains(deChar) || events.Contains(deFlag)) DoData(InQueueCount());
  const TDeviceEvents monitored = events * MonitorEvents();
  if (on_comm_event_ && !monitored.empty()) on_comm_event_(*this, monitored);
}

void TCustomComm::DoData(std::uint32_t received) {
  if (on_data_) on_data_(*this, received);
}

}  // namespace serial
