#include "tools/qlm7305_sim/module_session.h"

#include <algorithm>
#include <utility>

namespace sim {
namespace {

// Time for the last bytes of an answer to pass the kernel's buffers before a hang-up.
constexpr Duration kHangUpSettle = std::chrono::milliseconds(20);

// Flood bytes are queued this far ahead, so a reply waits at most this long behind them.
constexpr Duration kFloodBurst = std::chrono::milliseconds(10);

InputSource MakeInputs(const SimulatorOptions& options) {
  if (options.values == ValueMode::kFixed) {
    return [inputs = ExampleInputs()](Duration) { return inputs; };
  }
  return [live = LiveInputs(options.seed)](Duration elapsed) { return live.At(elapsed); };
}

Relays StartRelays(const SimulatorOptions& options) {
  return options.values == ValueMode::kFixed ? ExampleRelays() : Relays{};
}

std::optional<Clock::time_point> Earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

}  // namespace

ModuleSession::ModuleSession(const SimulatorOptions& options, Clock::time_point start)
    : options_(options),
      timing_{options.baud},
      start_(start),
      parser_(options.frame_silence.value_or(timing_.FrameSilence())),
      model_({options.address, options.answer_mode}, MakeInputs(options), StartRelays(options)),
      // The shaper's noise must not repeat the live values' pattern: another stream.
      shaper_(options.faults, timing_, options.seed ^ 0x9E3779B9U),
      output_(timing_) {}

void ModuleSession::OnInput(modbus::ByteView bytes, Clock::time_point now) {
  for (Frame& frame : parser_.Feed(bytes, now)) Handle(std::move(frame), now);
}

void ModuleSession::OnTime(Clock::time_point now) {
  for (Frame& frame : parser_.Expire(now)) Handle(std::move(frame), now);
  if (options_.faults.flood && output_.Empty()) {
    const auto count =
        std::max<std::size_t>(1, static_cast<std::size_t>(kFloodBurst / timing_.ByteTime()));
    output_.Schedule(now, shaper_.RandomBytes(count));
  }
}

modbus::ByteString ModuleSession::TakeDueOutput(Clock::time_point now) {
  return output_.TakeDue(now);
}

std::optional<Clock::time_point> ModuleSession::NextDeadline() const {
  std::optional<Clock::time_point> output = output_.NextTime();
  // A flood goes on as soon as the line is free again.
  if (!output && options_.faults.flood) output = output_.BusyUntil();
  return Earliest(Earliest(parser_.Deadline(), output), hangup_at_);
}

bool ModuleSession::HangUpDue(Clock::time_point now) const {
  return hangup_at_ && now >= *hangup_at_;
}

void ModuleSession::PostponeHangUp(Clock::time_point until) {
  if (hangup_at_) hangup_at_ = std::max(*hangup_at_, until);
}

void ModuleSession::OnHungUp() {
  parser_.Reset();
  output_.Clear();
  hangup_at_.reset();
  hung_up_ = true;
}

std::vector<Exchange> ModuleSession::TakeExchanges() { return std::exchange(exchanges_, {}); }

SessionCounters ModuleSession::Counters() const {
  SessionCounters c = counters_;
  c.discarded_bytes = parser_.DiscardedBytes();
  return c;
}

RegisterImage ModuleSession::Registers(Clock::time_point now) const {
  return model_.Registers(now - start_);
}

void ModuleSession::Handle(Frame frame, Clock::time_point now) {
  ++counters_.requests;
  if (frame.kind == FrameKind::kMode) ++counters_.mode_frames;
  auto reply = model_.Handle(frame, now - start_);
  ReplyPlan plan = shaper_.Shape(frame.bytes, reply);
  if (plan.dropped) ++counters_.dropped_replies;
  if (plan.corrupted) ++counters_.corrupted_replies;
  if (reply && !plan.dropped) ++counters_.replies;
  Send(plan.pieces, now);
  const auto hangup_after = static_cast<std::uint64_t>(std::max(options_.faults.hangup_after, 0));
  if (!hung_up_ && counters_.requests == hangup_after)
    hangup_at_ = std::max(now, output_.BusyUntil()) + kHangUpSettle;
  if (reply && plan.corrupted) reply->back() ^= 0xFFU;  // log what went out
  exchanges_.push_back({std::move(frame), plan.dropped ? std::nullopt : reply, plan.dropped});
}

void ModuleSession::Send(const std::vector<Piece>& pieces, Clock::time_point request_end) {
  Clock::time_point previous_end = request_end;
  for (const Piece& piece : pieces) {
    output_.Schedule(previous_end + piece.gap_before, piece.bytes);
    previous_end = output_.BusyUntil();
  }
}

}  // namespace sim
