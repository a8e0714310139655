#pragma once
// Bytes waiting to go out on the line, paced at the line's byte time so a reply takes as
// long to arrive as it would on a real wire.
#include <deque>
#include <optional>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

class OutputQueue {
 public:
  explicit OutputQueue(LineTiming timing);

  // Queues bytes to start at `at`, or once the line is free if it is still busy then.
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
  std::size_t bytes_per_step_ = 1;
  std::deque<Step> steps_;
  Clock::time_point busy_until_{};
};

}  // namespace sim
