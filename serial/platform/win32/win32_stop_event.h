#pragma once
// The stop event of this platform: a Win32 event (manual reset, not signalled), which the
// device's WaitCommEvent waits on together with its own record's event.
#include "serial/platform/stop_event.h"
#include "serial/platform/win32/unique_handle.h"

namespace serial::platform::win32 {

class Win32StopEvent : public StopEvent {
 public:
  // Throws std::system_error when the system gives no event.
  Win32StopEvent();

  void Set() noexcept override;
  bool IsSet() const noexcept override;
  HANDLE Handle() const noexcept { return event_.Get(); }

 private:
  UniqueHandle event_;
};

}  // namespace serial::platform::win32
