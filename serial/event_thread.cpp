#include "serial/event_thread.h"

#include <thread>

#include "serial/custom_comm.h"

namespace serial {
namespace {

platform::SerialDevice& DeviceOf(TCustomComm& comm) {
  // The device's event mask is set here, on the opening thread, before the thread exists.
  platform::SerialDevice& device = *comm.Device();
  device.SetCommMask(TCommEventThread::kEventMask);
  return device;
}

}  // namespace

TCommEventThread::TCommEventThread(TCustomComm& comm)
    : comm_(&comm),
      device_(DeviceOf(comm)),
      stop_event_(comm.PlatformServices().CreateStopEvent()),
      thread_(comm.HandOver(), [this] { Execute(); }) {}

TCommEventThread::~TCommEventThread() { Stop(); }

void TCommEventThread::Stop() {
  if (!thread_.Joinable()) return;
  if (thread_.JoinWouldDeadlock()) {
    throw EHandOverDeadlock(
        "Device cannot be closed from inside its own notification: the event thread waits "
        "for that notification to return.");
  }
  {
    std::lock_guard lock(pause_mutex_);
    stopping_ = true;
  }
  pause_cv_.notify_all();
  stop_event_->Set();
  std::this_thread::yield();
  thread_.Join();
}

void TCommEventThread::DoEvent() {
  if (event_mask_ != 0 && comm_ != nullptr) {
    comm_->DispatchEvents(TDeviceEvents::FromBits(static_cast<std::uint16_t>(event_mask_)));
  }
}

void TCommEventThread::Execute() {
  comm_->PlatformServices().PrepareEventThread();
  try {
    WaitLoop();
  } catch (...) {
    // An error escaping a notification handler ends the thread without being shown; the
    // component stays open and receives no further line events until it is reopened.
  }
  // Ends a wait still pending on the device.
  device_.SetCommMask(0);
}

std::optional<int> TCommEventThread::FailedWith() const {
  const int error = failed_with_.load();
  if (error < 0) return std::nullopt;
  return error;
}

void TCommEventThread::EndedBy(int error) { failed_with_.store(error < 0 ? 0 : error); }

void TCommEventThread::WaitLoop() {
  // A stop ends the loop silently, and so does a failed wait (a hang-up, a removed
  // adapter), which would only fail again at once; its reason is kept.
  int empty_in_a_row = 0;
  for (;;) {
    const platform::WaitResult waited = device_.WaitCommEvent(event_mask_, *stop_event_);
    if (waited.outcome == platform::WaitOutcome::Failed) {
      EndedBy(waited.error.code);
      return;
    }
    if (waited.outcome != platform::WaitOutcome::Events) return;
    if (event_mask_ == 0) {
      // Nothing to hand over: a hand-over per turn would be a blocking spin.
      if (!AfterEmptyWait(empty_in_a_row)) return;
      continue;
    }
    empty_in_a_row = 0;
    if (comm_->Synchronize()) {
      comm_->HandOver().HandOver([this] { DoEvent(); });
    } else {
      DoEvent();
    }
  }
}

bool TCommEventThread::AfterEmptyWait(int& empty_in_a_row) {
  if (++empty_in_a_row < 2) return true;
  std::uint32_t errors = 0;
  platform::COMSTAT status;
  if (const platform::SysError error = device_.ClearCommError(errors, status); !error.Ok()) {
    EndedBy(error.code);
    return false;
  }
  std::unique_lock lock(pause_mutex_);
  return !pause_cv_.wait_for(lock, kEmptyWaitPause, [this] { return stopping_; });
}

}  // namespace serial
