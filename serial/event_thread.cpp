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
  try {
    WaitLoop();
  } catch (...) {
    // An error escaping a notification handler ends the thread without being shown; the
    // component stays open and receives no further line events until it is reopened.
  }
  // Ends a wait still pending on the device.
  device_.SetCommMask(0);
}

void TCommEventThread::WaitLoop() {
  // Stopped and Failed (a hang-up) both end the loop silently: a failed wait would only
  // fail again at once.
  while (device_.WaitCommEvent(event_mask_, *stop_event_) == platform::WaitOutcome::Events) {
    if (comm_->Synchronize()) {
      comm_->HandOver().HandOver([this] { DoEvent(); });
    } else {
      DoEvent();
    }
  }
}

}  // namespace serial
