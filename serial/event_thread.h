#pragma once
// The thread that watches an open device for line events and passes each completed wait to
// its component, on this thread or, with Synchronize, handed over to the owner's thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

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

  // The system's code of the failed wait (or failed device query) that ended the thread;
  // nullopt while it runs and after an ordinary stop. Set once, before the thread ends.
  std::optional<int> FailedWith() const;

  // A wait that completes with an empty mask is reissued at once the first time (the mask
  // was set meanwhile). One that follows it is a driver that keeps completing so, as some
  // do after removal or resume: the device is asked whether it still works
  // (ClearCommError), and the next wait waits this long first, or until the stop.
  static constexpr std::chrono::milliseconds kEmptyWaitPause{50};

 private:
  void Execute();
  void WaitLoop();
  // After an empty completion: false (and the reason kept) when the device fails.
  bool AfterEmptyWait(int& empty_in_a_row);
  void EndedBy(int error);

  TCustomComm* comm_;
  platform::SerialDevice& device_;
  const std::unique_ptr<platform::StopEvent> stop_event_;  // made by the device's platform
  // Written by the completed wait; read by DoEvent before the next wait starts.
  std::uint32_t event_mask_ = 0;
  // -1 while running or stopped; the system's code once a failed wait ended the thread.
  std::atomic<int> failed_with_ = -1;
  // Lets Stop end the pause after empty completions at once.
  std::mutex pause_mutex_;
  std::condition_variable pause_cv_;
  bool stopping_ = false;
  HandOverThread thread_;  // last: starts once everything above exists
};

}  // namespace serial
