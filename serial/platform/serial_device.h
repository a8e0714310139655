#pragma once
// The platform layer: one operation per communications call the port component makes.
// The POSIX backend implements it with termios; a fake records calls for tests; a Win32
// backend can implement it with the real calls. The component's loops, counts, time-outs
// and error codes stay in the component.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/platform/comm_types.h"
#include "serial/platform/stop_event.h"

namespace serial::platform {

// The system's error code of a platform call (errno, GetLastError), 0 when the call
// succeeded. Every call that can fail gives it back with its result, as a Win32 call's last
// error goes with its return value. A type of its own, so that no caller can read it as a
// bool the wrong way round.
struct SysError {
  int code = 0;
  constexpr bool Ok() const noexcept { return code == 0; }
  friend constexpr bool operator==(SysError, SysError) = default;
};

// A chunk transfer: bytes moved, and the error when it failed in a way that retrying will
// not cure.
struct IoResult {
  std::uint32_t bytes = 0;
  SysError error{};
};

// The queue count a caller of ClearCommErrorFor needs.
enum class QueueCount { Input, Output };

enum class WaitOutcome {
  Events,   // events in the mask occurred; mask holds them (it may be 0)
  Stopped,  // the stop event was signalled, or the mask was cleared meanwhile
  Failed,   // the device can no longer be waited on (hang-up, removed adapter)
};

// A wait: how it ended, and for Failed the system's code (0 when it gave none).
struct WaitResult {
  WaitOutcome outcome = WaitOutcome::Stopped;
  SysError error{};
};

// An open device (CreateFile succeeded). Destroying it closes the handle.
// Every operation may be called from the owner's thread while the event thread sits in
// WaitCommEvent or SetCommMask; implementations synchronise internally.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // The settings calls.
  virtual SysError GetCommState(DCB& dcb) = 0;
  virtual SysError SetCommState(const DCB& dcb) = 0;
  virtual SysError GetCommTimeouts(COMMTIMEOUTS& timeouts) = 0;
  virtual SysError SetCommTimeouts(const COMMTIMEOUTS& timeouts) = 0;
  virtual SysError GetCommProperties(COMMPROP& properties) = 0;
  virtual SysError SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) = 0;
  virtual SysError PurgeComm(std::uint32_t flags) = 0;
  // Reports and clears the error condition; fills the queue counts.
  virtual SysError ClearCommError(std::uint32_t& errors, COMSTAT& status) = 0;
  // ClearCommError for a caller that needs one of the two counts: the error condition is
  // reported and cleared all the same; the other count may be left 0. A device that learns
  // each count with a system call of its own asks only for the one wanted.
  virtual SysError ClearCommErrorFor(QueueCount /*wanted*/, std::uint32_t& errors,
                                     COMSTAT& status) {
    return ClearCommError(errors, status);
  }
  // Sets the event mask; a mask of 0 ends a wait still pending.
  virtual SysError SetCommMask(std::uint32_t mask) = 0;

  // WaitCommEvent + waiting on {stop, completion} + GetOverlappedResult, folded: blocks
  // until an event of the mask occurs, stop is signalled or the device fails. stop comes
  // from CreateStopEvent of the platform that opened this device.
  virtual WaitResult WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) = 0;

  // WriteFile of n bytes + wait at most `wait` + cancel what is still pending: returns the
  // bytes the system accepted (never sends a byte twice); the error of a hard failure.
  virtual IoResult WriteChunk(const std::uint8_t* data, std::uint32_t n,
                              std::chrono::milliseconds wait) = 0;
  // ReadFile of at most n bytes that are already waiting; never blocks.
  virtual IoResult ReadChunk(std::uint8_t* data, std::uint32_t n) = 0;

  // Readiness waits that replace spinning in the transfer loops: return as soon as input
  // may be waiting (or output may have room), at the latest after max. On a device that
  // has failed they last max, so a loop that asks again cannot spin. The output wait is
  // also called while the queue holds the output size set with SetupComm (a driver may
  // still report room then); it returns once the device expects room, which it may judge
  // by the queue and the line's rate (half the output size sent, for example) or by
  // looking again after a poll interval of its own, and also when the device fails or its
  // output is purged. max is the caller's time left, so the device, not the caller, sets
  // how often it looks.
  virtual void WaitForInput(std::chrono::milliseconds max) = 0;
  virtual void WaitForOutput(std::chrono::milliseconds max) = 0;
};

// CreateFile: the device, or null and the system's code (0 when it gave none).
struct OpenResult {
  std::unique_ptr<SerialDevice> device;
  SysError error{};
};

// Opening devices and the process-wide services the component uses.
class Platform {
 public:
  virtual ~Platform() = default;

  // CreateFile with read/write, exclusive, overlapped. `path` is the name as the component
  // forms it ("\\.\" + DeviceName).
  virtual OpenResult CreateFile(const std::string& path) = 0;
  // CreateEvent (manual reset, not signalled): the event that ends a WaitCommEvent.
  virtual std::unique_ptr<StopEvent> CreateStopEvent() = 0;
  // The system's text for an error code.
  virtual std::string ErrorText(int error) const = 0;
  virtual OsVersion GetVersion() const = 0;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual std::uint32_t GetTickCount() const = 0;
  // Called by a component's event thread once, before its first wait. Where the system's
  // scheduler allows it, the thread is set not to take the core of the thread that woke it
  // (the owner's, after a hand-over, or the sender's): it runs on an idle core at once, or
  // when that thread blocks or its time slice ends, as its events are only handed on.
  virtual void PrepareEventThread() {}
};

// The platform of this build (POSIX on Linux). Shared, stateless apart from the clock.
std::shared_ptr<Platform> DefaultPlatform();

}  // namespace serial::platform
