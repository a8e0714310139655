#include "tools/qlm7305_sim/faults.h"

#include <algorithm>

namespace sim {
namespace {

bool IsNth(std::uint64_t number, int every) {
  return every > 0 && number % static_cast<std::uint64_t>(every) == 0;
}

}  // namespace

std::vector<modbus::ByteString> SplitEvenly(modbus::ByteView bytes, int count) {
  const std::size_t pieces = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(count, 1)),
                                                     1, std::max<std::size_t>(bytes.size(), 1));
  std::vector<modbus::ByteString> out;
  std::size_t at = 0;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t size = bytes.size() / pieces + (i < bytes.size() % pieces ? 1 : 0);
    out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  return out;
}

ReplyShaper::ReplyShaper(const FaultOptions& faults, LineTiming timing, std::uint32_t seed)
    : faults_(faults), timing_(timing), random_(seed) {}

ReplyPlan ReplyShaper::Shape(modbus::ByteView request, std::optional<modbus::ByteString> reply) {
  ReplyPlan plan;
  if (faults_.echo) {
    plan.pieces.push_back({Duration{}, modbus::ByteString(request.begin(), request.end())});
  }
  if (!reply) return plan;
  ++replies_;
  if (IsNth(replies_, faults_.drop_every)) {
    plan.dropped = true;
    return plan;
  }
  if (IsNth(replies_, faults_.corrupt_every) && !reply->empty()) {
    reply->back() ^= 0xFFU;
    plan.corrupted = true;
  }
  AddReply(std::move(*reply), plan);
  return plan;
}

// A slave answers once it has seen the silence that ends the request.
void ReplyShaper::AddReply(modbus::ByteString reply, ReplyPlan& plan) {
  Duration gap = timing_.FrameSilence() + faults_.late;
  if (faults_.noise_bytes > 0) {
    plan.pieces.push_back({gap, RandomBytes(static_cast<std::size_t>(faults_.noise_bytes))});
    gap = Duration{};
  }
  for (auto& piece : SplitEvenly(reply, faults_.split_pieces)) {
    plan.pieces.push_back({gap, std::move(piece)});
    gap = faults_.split_gap;
  }
}

modbus::ByteString ReplyShaper::RandomBytes(std::size_t count) {
  std::uniform_int_distribution<int> byte(0, 255);
  modbus::ByteString out(count);
  for (auto& b : out) b = static_cast<std::uint8_t>(byte(random_));
  return out;
}

}  // namespace sim
