#include "tools/qlm7305_sim/output_queue.h"

#include <algorithm>

namespace sim {

OutputQueue::OutputQueue(LineTiming timing) : timing_(timing) {}

void OutputQueue::Schedule(Clock::time_point at, modbus::ByteView bytes) {
  if (bytes.empty()) return;
  const Clock::time_point start = std::max(at, busy_until_);
  steps_.push_back({start, modbus::ByteString(bytes.begin(), bytes.end())});
  busy_until_ = start + timing_.TimeFor(bytes.size());
}

modbus::ByteString OutputQueue::TakeDue(Clock::time_point now) {
  modbus::ByteString out;
  while (!steps_.empty() && steps_.front().at <= now) {
    const auto& bytes = steps_.front().bytes;
    out.insert(out.end(), bytes.begin(), bytes.end());
    steps_.pop_front();
  }
  return out;
}

std::optional<Clock::time_point> OutputQueue::NextTime() const {
  if (steps_.empty()) return std::nullopt;
  return steps_.front().at;
}

void OutputQueue::Clear() noexcept { steps_.clear(); }

}  // namespace sim
