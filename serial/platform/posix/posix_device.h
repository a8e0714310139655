#pragma once
// A serial device on a Linux terminal. Settings go to termios (what it cannot hold is
// kept as last set) and must be taken by the driver as asked; received bytes pass through
// a bounded buffer of the device's own, filled by whichever thread reads first, so that
// arrivals and the event character are seen exactly once. Modem lines are read when the
// driver's wait for a line change returns (sampled every 100 ms where it has none, and once
// a second while it waits, for drivers whose wait never returns), line counters at most
// every 100 ms while input comes in or the owner asks for the queues. A hang-up gives the
// device back to the kernel at once; closing waits only as long as the queued output takes,
// never for the driver's closing wait, and leaves the terminal's settings as they were found.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "serial/platform/posix/device_mutex.h"
#include "serial/platform/posix/input_marks.h"
#include "serial/platform/posix/latched_wakeup.h"
#include "serial/platform/posix/line_events.h"
#include "serial/platform/posix/line_watcher.h"
#include "serial/platform/posix/serial_line.h"
#include "serial/platform/posix/termios_image.h"
#include "serial/platform/posix/unique_fd.h"
#include "serial/platform/serial_device.h"

namespace serial::platform::posix {

class PosixDevice : public SerialDevice {
 public:
  // fd: an open terminal, exclusive and raw; initial: the block its settings give;
  // found: its settings before it was made raw, restored when it is closed; plain_divisor:
  // the port's driver programs a 16550's whole divisor (DividesPlainly).
  PosixDevice(UniqueFd fd, LineKind kind, const DCB& initial, const TermiosImage& found,
              bool plain_divisor = false);
  ~PosixDevice() override;

  SysError GetCommState(DCB& dcb) override;
  SysError SetCommState(const DCB& dcb) override;
  SysError GetCommTimeouts(COMMTIMEOUTS& timeouts) override;
  SysError SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
  SysError GetCommProperties(COMMPROP& properties) override;
  SysError SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) override;
  SysError PurgeComm(std::uint32_t flags) override;
  SysError ClearCommError(std::uint32_t& errors, COMSTAT& status) override;
  SysError ClearCommErrorFor(QueueCount wanted, std::uint32_t& errors,
                             COMSTAT& status) override;
  SysError SetCommMask(std::uint32_t mask) override;
  WaitResult WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) override;
  IoResult WriteChunk(const std::uint8_t* data, std::uint32_t n,
                      std::chrono::milliseconds wait) override;
  IoResult ReadChunk(std::uint8_t* data, std::uint32_t n) override;
  void WaitForInput(std::chrono::milliseconds max) override;
  void WaitForOutput(std::chrono::milliseconds max) override;

  static constexpr std::uint32_t kDefaultQueue = 4096;
  static constexpr std::chrono::milliseconds kLinePollInterval{100};
  // The safety sample of the lines and counters while the driver's wait is pending.
  static constexpr std::chrono::milliseconds kLineSafetyInterval{1000};
  // The longest look between two readings of a stalled output queue.
  static constexpr std::chrono::milliseconds kOutputLookCap{100};
  // How long the closing caller waits for the last close before interrupting it.
  static constexpr std::chrono::milliseconds kCloseBound{200};

 private:
  enum class LineSource { Counters, ModemLines, None };
  using Clock = std::chrono::steady_clock;

  // All of these run with mutex_ held.
  int ReadRunning(TermiosImage& image) const;
  int ApplyLines(const DCB& dcb);
  int ApplyTermios(const TermiosImage& before, const TermiosImage& image);
  void Release();
  // The event thread's look before it waits (reading the device when poll() reported it):
  // the outcome that ends the wait, or none to wait on.
  // hung_up: poll() reported a hang-up or error on the device, also while the buffer is full.
  std::optional<WaitOutcome> Look(bool read_device, bool hung_up, std::uint32_t& mask);
  SysError Report(bool input, bool output, std::uint32_t& errors, COMSTAT& status);
  void WakeEventThread();
  void Fill();
  void TakeArrivals(const std::uint8_t* bytes, std::size_t n);
  void Note(std::uint32_t events);
  void Fail(int error);
  void StartLineWatch();
  void StopLineWatch();
  void SettingsApplied();
  void InputSeen(bool marked_error);
  // owner: the owner's query of the queues, which reads the lines on every polling tick.
  void PollLines(bool owner);
  void ReadLines();
  bool Watching() const;
  Clock::time_point NextLineRead(bool owner) const;
  std::chrono::milliseconds UntilLinePoll() const;
  std::uint32_t Room() const;
  std::chrono::milliseconds UntilOutputRoom();
  void ChangeMarking();

  // After a hang-up the number holds a placeholder (see Release) until destruction.
  UniqueFd fd_;  // given up to the closing thread only in the destructor
  const LineKind kind_;
  const bool plain_divisor_;
  const TermiosImage found_;
  DeviceMutex mutex_;
  DCB dcb_;  // as last set: the fields termios cannot hold are read back from here
  COMMTIMEOUTS timeouts_{};
  std::uint32_t input_queue_ = kDefaultQueue;
  std::uint32_t output_queue_ = kDefaultQueue;
  bool rs485_ = false;

  std::deque<std::uint8_t> buffer_;  // received, not yet read; at most input_queue_
  InputMarks marks_;
  InputRules input_rules_;
  // Bytes the kernel held when the marking changed were received under the rules before:
  // that many raw bytes are still decoded with those.
  InputRules earlier_rules_;
  std::uint32_t earlier_bytes_ = 0;
  std::uint32_t mask_ = 0;
  std::uint32_t pending_ = 0;  // events of the mask that occurred since the last report
  std::uint32_t errors_ = 0;   // CE_* since the last ClearCommError
  int failure_ = 0;            // errno of the hang-up or read failure; 0 while healthy
  bool released_ = false;      // the terminal was given back after the failure
  std::chrono::microseconds character_time_{};  // at the rate and frame now set
  std::uint32_t looked_queued_ = 0;        // the output queue at the last look for room
  std::chrono::milliseconds output_look_{};  // grows while that queue does not move

  LineSource line_source_ = LineSource::None;
  LineReading lines_{};           // as last read
  std::uint32_t uncounted_ = 0;   // see CompareReadings
  bool sample_modem_lines_ = false;
  Clock::time_point last_line_poll_{};
  std::unique_ptr<LineWatcher> watcher_;  // null where the lines are sampled
  std::uint64_t watcher_returns_ = 0;     // as last seen
  bool lines_due_ = false;                // input came since the counters were last read
  bool lines_moved_ = false;              // the settings changed: read the lines once

  // Set under the lock by the event thread's look that leads to its poll(), cleared as soon
  // as that poll() returns: while it is clear, the event thread is bound to look again
  // before it waits, and a change needs no wake-up.
  std::atomic<bool> event_thread_polls_ = false;
  bool owner_waits_input_ = false;  // the owner is in WaitForInput's poll
  LatchedWakeup event_wake_;  // ends the event thread's poll: mask, room, events, failure
  LatchedWakeup owner_wake_;  // ends the owner's readiness wait: bytes buffered, failure
  Wakeup watcher_wake_;       // signalled by the line watcher's thread
};

}  // namespace serial::platform::posix
