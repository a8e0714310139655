#pragma once
// The serial port component: settings model, device, transfers and notifications.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serial/comm_settings.h"
#include "serial/comm_types.h"
#include "serial/dcb_builder.h"
#include "serial/device_error.h"
#include "serial/handover_queue.h"
#include "serial/line_control.h"
#include "serial/platform/serial_device.h"

namespace serial {

class TCustomComm;
class TCommEventThread;

using TCommEvent = std::function<void(TCustomComm& sender, TDeviceEvents events)>;
using TDataEvent = std::function<void(TCustomComm& sender, std::uint32_t received)>;
using TNotifyEvent = std::function<void(TCustomComm& sender)>;

// The system's reason for a refusal: its error code and text.
struct TSystemError {
  int code = 0;
  std::string text;
  friend bool operator==(const TSystemError&, const TSystemError&) = default;
};

template <class Component>
class TCompleteComm;

// The component's base. A component is only ever made complete, as TXComm or as
// TCompleteComm<Derived> for a class derived from this one: only those can pass the
// Completion its constructor takes. See TCompleteComm for why.
class TCustomComm {
 protected:
  class Completion {
    Completion() = default;
    template <class Component>
    friend class TCompleteComm;
  };

 public:
  explicit TCustomComm(Completion,
                       std::shared_ptr<platform::Platform> platform = platform::DefaultPlatform());
  virtual ~TCustomComm();
  TCustomComm(const TCustomComm&) = delete;
  TCustomComm& operator=(const TCustomComm&) = delete;

  // ---- settings ------------------------------------------------------------------------
  TBaudRate BaudRate();
  void SetBaudRate(TBaudRate value);
  std::uint32_t BaudValue();
  void SetBaudValue(std::uint32_t value);
  const std::string& DeviceName() const { return line_.device_name; }
  void SetDeviceName(const std::string& value);
  TFlowControl FlowControl() const { return line_.flow_control; }
  void SetFlowControl(TFlowControl value);
  TRTSSettings RTSSettings();
  void SetRTSSettings(TRTSSettings value);
  TDTRSettings DTRSettings();
  void SetDTRSettings(TDTRSettings value);
  TXOnXOffSettings XOnXOffSettings();
  void SetXOnXOffSettings(TXOnXOffSettings value);
  TCommOptions Options();
  void SetOptions(TCommOptions value);
  TDeviceEvents MonitorEvents() const;
  void SetMonitorEvents(TDeviceEvents value);
  bool Synchronize() const;
  void SetSynchronize(bool value);

  TCommDataControl& DataControl() { return data_control_; }
  void SetDataControl(const TCommDataControl& value);  // assigns into the own object
  TCommBuffers& Buffers() { return buffers_; }
  void SetBuffers(const TCommBuffers& value);
  TCommEventChars& EventChars() { return event_chars_; }
  void SetEventChars(const TCommEventChars& value);
  TCommTimeoutsEx& Timeouts() { return timeouts_; }
  void SetTimeouts(const TCommTimeoutsEx& value);

  // Apply the stored settings to the open device; raise EDeviceError 3, 6, 7 on failure.
  bool UpdateDCB();
  bool UpdateBuffers();
  bool UpdateTimeouts();

  // ---- device ---------------------------------------------------------------------------
  virtual TCommLocks LockState() const;
  virtual bool Open();
  virtual void Close();
  bool IsOpen() const { return device_ != nullptr; }

  // The system's reason for the last refused Open or failed UpdateDCB, UpdateBuffers or
  // UpdateTimeouts call since the last Open began; code 0 and no text when there is none.
  const TSystemError& LastSystemError() const { return last_system_error_; }
  // Why line events stopped while the device is open: the system's code of the failed wait
  // or device query that ended the event thread (0 when the system gave none); nullopt
  // while the thread runs, and while closed.
  std::optional<int> EventWaitFailure() const;

  std::uint32_t InQueueCount();
  std::uint32_t OutQueueCount();
  std::uint32_t SendBuffer(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout);
  std::uint32_t SendData(const std::uint8_t* buffer, std::uint32_t count);
  bool SendString(std::span<const std::uint8_t> s);
  std::uint32_t ReadBuffer(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout);
  std::uint32_t ReadData(std::uint8_t* buffer, std::uint32_t count);
  bool ReadString(std::vector<std::uint8_t>& s);

  // ---- notifications --------------------------------------------------------------------
  void SetOnCommEvent(TCommEvent handler) { on_comm_event_ = std::move(handler); }
  const TDataEvent& OnData() const { return on_data_; }
  void SetOnData(TDataEvent handler) { on_data_ = std::move(handler); }
  void SetOnRead(TNotifyEvent handler) { on_read_ = std::move(handler); }
  void SetOnSend(TNotifyEvent handler) { on_send_ = std::move(handler); }

  // Turns a line event set into notifications; nothing while closed or being destroyed.
  void DispatchEvents(TDeviceEvents events);

  // The open device, for the settings objects and the event thread; null while closed.
  platform::SerialDevice* Device() const { return device_.get(); }
  platform::Platform& PlatformServices() const { return *platform_; }

  // Where the event thread hands notifications over when Synchronize is true. Its owner is
  // the thread that created the component; that thread's event loop must run it (the window
  // connects it to Qt's event loop with QtHandOver). Close and the destructor run it too.
  HandOverQueue& HandOver() { return hand_over_; }

  // Reads the live device control block; false when closed or the read failed.
  bool GetDCB(platform::DCB& dcb) const;

 protected:
  virtual void DoCommEvent(TDeviceEvents events);
  virtual void DoData(std::uint32_t received);

  // Marks the component as being destroyed and closes an open device, ending the event
  // thread. TCompleteComm's destructor calls it before any other part goes. Idempotent.
  void BeforeDestruction() noexcept;

 private:
  template <class Component>
  friend class TCompleteComm;
  // Apply the line settings to the device when it is open; nothing more while closed.
  void ApplyDCB();
  StoredLineSettings StoredLine() const;
  // Stores the line-control sets and options the live device control block reports.
  void RefreshLineControl();
  void StoreLineControl(const LineControl& line);
  // Keeps the system's reason of a failed call; false when error says it failed.
  bool Succeeded(platform::SysError error);

  // The open device; raises code 1 ("Device not opened.") while closed.
  platform::SerialDevice& OpenDevice() const;
  void CloseDevice();
  // Where the event thread is started once the device is open, and stopped before the
  // device is closed.
  void StartEventThread();
  void StopEventThread();

  // One turn of the send loop: a chunk of at most the free queue space, then the
  // [deOutEmpty] dispatch. Reports what the turn achieved.
  struct SendTurn {
    std::uint32_t written = 0;
    bool queue_full = false;
    bool device_gone = false;
  };
  SendTurn WriteTurn(const std::uint8_t* buffer, std::uint32_t count);
  // One read call's progress across its turns.
  struct ReadProgress {
    std::uint32_t total = 0;    // bytes the call has read
    std::uint32_t counted = 0;  // bytes known to wait (ReadString's count): not asked again
    bool failed = false;        // a chunk failed after earlier turns had read
  };
  // One turn of the read loop: a chunk of at most the waiting bytes; 0 when none waited.
  // A failed chunk raises code 10 only while the call has read nothing; after earlier
  // turns it sets failed instead, so that the call returns the bytes it read and the next
  // call raises.
  std::uint32_t ReadTurn(std::uint8_t* buffer, std::uint32_t count, ReadProgress& call);
  std::uint32_t ReadLoop(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout,
                         ReadProgress call);
  // After a turn without progress: false once more than timeout ms have passed since start,
  // else how long to wait for the device at most (until just past the time-out).
  bool TimeLeft(std::uint32_t start, std::uint32_t timeout,
                std::chrono::milliseconds& wait) const;

  std::shared_ptr<platform::Platform> platform_;
  std::unique_ptr<platform::SerialDevice> device_;
  std::atomic<bool> destroying_ = false;
  TCommLocks locks_;
  TSystemError last_system_error_;

  LineValues line_;
  // Read by the event thread while the owner may write them.
  std::atomic<std::uint16_t> monitor_events_ = NotifyValues{}.monitor_events.bits();
  std::atomic<bool> synchronize_ = NotifyValues{}.synchronize;

  TCommDataControl data_control_{*this};
  TCommBuffers buffers_{*this};
  TCommEventChars event_chars_{*this};
  TCommTimeoutsEx timeouts_{*this};

  TCommEvent on_comm_event_;
  TDataEvent on_data_;
  TNotifyEvent on_read_;
  TNotifyEvent on_send_;

  // Event thread and hand-over: the queue outlives the thread, which exists while open.
  HandOverQueue hand_over_;
  std::unique_ptr<TCommEventThread> event_thread_;
};

// A component ready for use: Component (TCustomComm or a class derived from it) made
// complete. With Synchronize false the event thread calls the overridable operations on
// its own thread, so it must have ended before the first destructor of a derived part
// changes the object's dynamic type or frees what a handler uses. This destructor is the
// one place that ends it, and it runs before every other: final, and the only class that
// can make the Completion a component's constructor takes, so that no derived component
// can be made without it.
template <class Component>
class TCompleteComm final : public Component {
 public:
  template <class... Args>
  explicit TCompleteComm(Args&&... args)
      : Component(typename Component::Completion{}, std::forward<Args>(args)...) {}
  ~TCompleteComm() override { this->BeforeDestruction(); }
};

// The published component; adds no behaviour.
using TXComm = TCompleteComm<TCustomComm>;

}  // namespace serial
