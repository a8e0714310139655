#pragma once
// An in-memory serial device for tests. FakePlatform and every device it opens share one
// FakeState, which a test keeps after handing the platform to the component: it records
// every call with its arguments, reports configurable device values, makes chosen calls
// fail, feeds received bytes and line events, and runs a manual clock so that time-outs
// are exact and instant. Thread-safe: the event thread may wait while the owner calls.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "serial/platform/serial_device.h"

namespace serial::platform::fake {

struct QueueSizes {  // SetupComm
  std::uint32_t input = 0;
  std::uint32_t output = 0;
  friend bool operator==(const QueueSizes&, const QueueSizes&) = default;
};

struct WriteRequest {  // WriteChunk
  std::uint32_t n = 0;
  std::chrono::milliseconds wait{0};
  friend bool operator==(const WriteRequest&, const WriteRequest&) = default;
};

// Arguments by call: CreateFile the path; SetCommState the DCB; SetCommTimeouts the record;
// SetupComm QueueSizes; PurgeComm the flags, SetCommMask the mask and ReadChunk the size
// asked for (uint32_t); WriteChunk a WriteRequest; WaitForInput/WaitForOutput the maximum.
// Every other call (Get*, ClearCommError, WaitCommEvent, GetVersion, CloseHandle) has none.
using CallArgs = std::variant<std::monostate, std::string, DCB, COMMTIMEOUTS, std::uint32_t,
                              QueueSizes, WriteRequest, std::chrono::milliseconds>;

struct Call {
  std::string name;
  CallArgs args;
  friend bool operator==(const Call&, const Call&) = default;
};

class FakeState {
 public:
  // --- What was called ----------------------------------------------------------------
  std::vector<Call> Calls() const;
  std::vector<std::string> CallNames() const;
  // The names, without the event thread's WaitCommEvent and the readiness waits, whose
  // number depends on timing: what a test of the owner's sequence compares.
  std::vector<std::string> OwnerCallNames() const;
  std::size_t CallCount(const std::string& name) const;
  // The arguments of every call of that name, in order; e.g. ArgsOf<DCB>("SetCommState").
  template <class T>
  std::vector<T> ArgsOf(const std::string& name) const;
  void ClearCalls();

  // --- Failures: the named call fails (returns the error, or Failed) until cleared.
  // Names as recorded, e.g. "CreateFile", "SetCommState", "GetCommProperties", "ReadChunk".
  void FailCall(const std::string& name, int error = EIO);
  void ClearFailure(const std::string& name);
  // A wait that fails does so with the error given to FailCall("WaitCommEvent"), EIO after
  // a hang-up.
  // The peer went away: writes fail with EIO, waits for events report Failed, reads
  // return what was received before and then EIO.
  void HangUp();

  // --- Device values --------------------------------------------------------------------
  // SetCommState stores the block; SetupComm sets the current queue sizes of the
  // properties. A test sets either afterwards to model a device that reports otherwise.
  void SetDcb(const DCB& dcb);
  DCB Dcb() const;
  void SetTimeouts(const COMMTIMEOUTS& timeouts);
  COMMTIMEOUTS Timeouts() const;
  void SetProperties(const COMMPROP& properties);
  void SetVersion(const OsVersion& version);
  // Error flags that the next ClearCommError reports (and clears).
  void SetCommErrors(std::uint32_t errors);
  std::uint32_t Mask() const;  // as last given to SetCommMask
  bool IsOpen() const;         // a device exists and has not been destroyed

  // --- Data -----------------------------------------------------------------------------
  // Received bytes, counted in cbInQue at once. No event is queued by feeding.
  void Feed(const std::vector<std::uint8_t>& bytes);
  // An event set that the next WaitCommEvent reports as it is, unfiltered by the mask.
  void QueueEvent(std::uint32_t events);
  // Once the queued sets are taken, every wait reports this set at once, as a driver that
  // keeps completing its waits does (with 0: an empty mask each time); nullopt: none.
  void RepeatEvent(std::optional<std::uint32_t> events);
  std::vector<std::uint8_t> Written() const;  // every byte WriteChunk accepted
  void SetOutQueue(std::uint32_t count);      // cbOutQue reported
  // At most this many bytes accepted per WriteChunk (0: output held full); nullopt: all.
  void SetWriteLimit(std::optional<std::uint32_t> limit);

  // --- Clock ----------------------------------------------------------------------------
  // GetTickCount; WaitForInput/WaitForOutput and a WriteChunk that could not place every
  // byte advance it by the time they would have waited, and return at once.
  std::uint32_t Now() const;
  void Advance(std::chrono::milliseconds ms);

  // --- Stop events ----------------------------------------------------------------------
  // How many stop events of this platform have been set; WaitForStops blocks until at
  // least n have been, false when max passed first.
  std::size_t StopsSignalled() const;
  bool WaitForStops(std::size_t n, std::chrono::milliseconds max);

  // Text ErrorText gives for a code (default: the system's text).
  void SetErrorText(int error, const std::string& text);

 private:
  friend class FakeDevice;
  friend class FakePlatform;
  friend class FakeStopEvent;

  void Record(const std::string& name, CallArgs args = {});
  std::optional<SysError> FailureOf(const std::string& name) const;  // caller holds mutex_

  mutable std::mutex mutex_;
  // Notified on every change a waiting WaitCommEvent must see, stop events included.
  std::condition_variable changed_;
  std::vector<Call> calls_;
  std::map<std::string, int> failures_;
  std::map<int, std::string> error_texts_;
  DCB dcb_{.DCBlength = kDcbLength, .BaudRate = 9600, .fBinary = 1, .ByteSize = 8};
  COMMTIMEOUTS timeouts_{};
  COMMPROP properties_{.dwMaxTxQueue = 0, .dwMaxRxQueue = 0, .dwMaxBaud = 0x10000000,
                       .dwCurrentTxQueue = 4096, .dwCurrentRxQueue = 4096};
  OsVersion version_{};
  std::uint32_t comm_errors_ = 0;
  std::uint32_t mask_ = 0;
  bool open_ = false;
  bool hung_up_ = false;
  std::deque<std::uint8_t> input_;
  std::deque<std::uint32_t> events_;
  std::optional<std::uint32_t> repeat_event_;
  std::vector<std::uint8_t> written_;
  std::uint32_t out_queue_ = 0;
  std::optional<std::uint32_t> write_limit_;
  std::uint32_t clock_ = 0;
  std::size_t stops_signalled_ = 0;
};

class FakePlatform : public Platform {
 public:
  FakePlatform() : state_(std::make_shared<FakeState>()) {}
  std::shared_ptr<FakeState> State() const { return state_; }

  // Opens a device on the shared state; refused with EBUSY while one is open, and with
  // the injected error after FailCall("CreateFile", error).
  OpenResult CreateFile(const std::string& path) override;
  // An event whose Set wakes the waits of this platform's devices.
  std::unique_ptr<StopEvent> CreateStopEvent() override;
  std::string ErrorText(int error) const override;
  OsVersion GetVersion() const override;
  std::uint32_t GetTickCount() const override;

 private:
  std::shared_ptr<FakeState> state_;
};

template <class T>
std::vector<T> FakeState::ArgsOf(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<T> result;
  for (const Call& call : calls_) {
    if (call.name != name) continue;
    if (const T* args = std::get_if<T>(&call.args)) result.push_back(*args);
  }
  return result;
}

}  // namespace serial::platform::fake
