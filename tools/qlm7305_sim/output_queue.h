#pragma once
// Bytes waiting to go out on the line. Each scheduled piece goes out in one write, so a
// reply arrives as one continuous frame whatever the host's scheduling (a write per byte
// left gaps of several characters on a busy machine, which a master that enforces the
// 1.5-character limit inside a frame takes for two frames); a real port's UART sends it
// back to back. The line stays busy for the piece's time at the line's rate, so what
// follows starts no earlier than it could on a wire.
#include <deque>
#include <optional>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

class OutputQueue {
 public:
  explicit OutputQueue(LineTiming timing);

  // Queues bytes to go out together at `at`, or once the line is free if it is still busy
  // then.
  void Schedule(Clock::time_point at, modbus::ByteView bytes);
  // Every byte whose time has come, in order.
  modbus::ByteString TakeDue(Clock::time_point now);
  std::optional<Clock::time_point> NextTime() const;
  // When the last queued byte has gone out (or went out).
  Clock::time_point BusyUntil() const noexcept { return busy_until_; }
  bool Empty() const noexcept { return steps_.empty(); }
  void Clear() noexcept;

 private:
  struct Step {
    Clock::time_point at;
    modbus::ByteString bytes;
  };

  LineTiming timing_;
  std::deque<Step> steps_;
  Clock::time_point busy_until_{};
};

}  // namespace sim
