#pragma once
// A pseudo-terminal made to answer as a UART's driver would, for one descriptor: the calls
// a pty cannot answer (the output queue the driver counts, the transmitter's state, the
// port's description), reads cut short, and a last close held like the driver's closing
// wait. Every other call goes to the kernel. It replaces the process's ioctl(), read() and
// close(), so only a test program of its own links it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace serial::platform::testing {

class InjectedDriver {
 public:
  using Clock = std::chrono::steady_clock;
  // A state as a function of the time since the first query of it.
  using Over = std::function<bool(Clock::duration since_first)>;

  explicit InjectedDriver(int fd);  // answers for fd until destroyed, or until fd is closed
  ~InjectedDriver();
  InjectedDriver(const InjectedDriver&) = delete;
  InjectedDriver& operator=(const InjectedDriver&) = delete;

  // TIOCGSERIAL: the port's type, clock divided by 16 and transmit FIFO size.
  void SetUart(int type, std::uint32_t baud_base, std::uint32_t fifo);
  // TIOCOUTQ: one byte queued while queued() holds, none after.
  void SetOutputQueued(Over queued);
  // TIOCSERGETLSR: the transmitter empty when empty() holds.
  void SetTransmitterEmpty(Over empty);
  // read(): at most this many bytes per call.
  void SetReadLimit(std::size_t bytes);
  // close(): waits until a signal interrupts it or ReleaseClose, then closes. False when
  // the wait could not be set up.
  bool HoldClose();
  void ReleaseClose();

  // What the driver saw: output discarded (TCFLSH of the output), the last settings
  // written (TCSETS2), the first answer that the transmitter is empty.
  int OutputFlushes() const;
  std::optional<Clock::time_point> LastSettingsWritten() const;
  std::optional<Clock::time_point> FirstEmptyAnswer() const;
};

}  // namespace serial::platform::testing
