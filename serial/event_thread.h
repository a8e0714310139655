#pragma once
// The thread that watches an open device for line events and passes each completed wait to
// its component, on this thread or, with Synchronize, handed over to the owner's thread.
#include <cstdint>
#include <memory>

#include "serial/handover_queue.h"
#include "serial/platform/serial_device.h"
#include "serial/platform/stop_event.h"

namespace serial {

class TCustomComm;

class TCommEventThread {
 public:
  // Every line event except EV_TXEMPTY: the send loop dispatches deOutEmpty itself.
  static constexpr std::uint32_t kEventMask = 0x1FFB;

  // Sets the device's event mask on the calling (opening) thread, then starts waiting.
  // The component's device must be open and outlive this object.
  explicit TCommEventThread(TCustomComm& comm);
  // Stop(); a destructor cannot refuse, so a stop that would deadlock ends the program.
  ~TCommEventThread();
  TCommEventThread(const TCommEventThread&) = delete;
  TCommEventThread& operator=(const TCommEventThread&) = delete;

  // Signals the stop event, yields once and waits for the thread's end; on the owner's
  // thread it runs the notifications handed over meanwhile, and nothing else. Raises
  // EHandOverDeadlock, changing nothing, when called from inside a notification of this
  // thread (handed over or run on it), which the thread would wait for in turn.
  void Stop();

  // Passes the events of the last completed wait (low 16 bits) to the component; nothing
  // for an empty set.
  void DoEvent();

 private:
  void Execute();
  void WaitLoop();

  TCustomComm* comm_;
  platform::SerialDevice& device_;
  const std::unique_ptr<platform::StopEvent> stop_event_;  // made by the device's platform
  // Written by the completed wait; read by DoEvent before the next wait starts.
  std::uint32_t event_mask_ = 0;
  HandOverThread thread_;  // last: starts once everything above exists
};

}  // namespace serial
