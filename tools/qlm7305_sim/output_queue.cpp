#include "tools/qlm7305_sim/output_queue.h"

#include <algorithm>

namespace sim {
namespace {

// Writing more often than this gains no realism and costs wake-ups.
constexpr Duration kShortestStep = std::chrono::milliseconds(1);

}  // namespace

OutputQueue::OutputQueue(LineTiming timing) : timing_(timing) {
  const Duration byte = timing_.ByteTime();
  bytes_per_step_ = static_cast<std::size_t>(
      std::max<Duration::rep>(1, (kShortestStep.count() + byte.count() - 1) / byte.count()));
}

void OutputQueue::Schedule(Clock::time_point at, modbus::ByteView bytes) {
  Clock::time_point start = std::max(at, busy_until_);
  for (std::size_t i = 0; i < bytes.size(); i += bytes_per_step_) {
    const std::size_t n = std::min(bytes_per_step_, bytes.size() - i);
    steps_.push_back(
        {start, modbus::ByteString(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(i + n))});
    start += timing_.TimeFor(n);
  }
  busy_until_ = std::max(busy_until_, start);
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
