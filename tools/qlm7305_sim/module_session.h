#pragma once
// The module's behaviour on the line without the line itself: bytes and times in, bytes
// with their times out. The thread that owns the device only moves bytes and sleeps until
// NextDeadline, so everything here runs under a fake clock in tests.
#include <optional>
#include <vector>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/faults.h"
#include "tools/qlm7305_sim/module_model.h"
#include "tools/qlm7305_sim/output_queue.h"
#include "tools/qlm7305_sim/request_parser.h"
#include "tools/qlm7305_sim/simulator_options.h"

namespace sim {

struct SessionCounters {
  std::uint64_t requests = 0;  // intact frames seen, any address, mode frames included
  std::uint64_t mode_frames = 0;
  std::uint64_t replies = 0;  // replies put on the line (dropped ones not counted)
  std::uint64_t dropped_replies = 0;
  std::uint64_t corrupted_replies = 0;
  std::uint64_t discarded_bytes = 0;  // received bytes that formed no intact frame
};

// One request and what became of it.
struct Exchange {
  Frame request;
  std::optional<modbus::ByteString> reply;  // as sent, corruption included
  bool dropped = false;
};

class ModuleSession {
 public:
  ModuleSession(const SimulatorOptions& options, Clock::time_point start);

  void OnInput(modbus::ByteView bytes, Clock::time_point now);
  // Lets time pass: ends a frame at the silence, keeps a flood going.
  void OnTime(Clock::time_point now);
  modbus::ByteString TakeDueOutput(Clock::time_point now);
  std::optional<Clock::time_point> NextDeadline() const;

  // The request count for the hang-up is reached and its answer is out.
  bool HangUpDue(Clock::time_point now) const;
  // Asks again at `until`: the answer has not reached the client yet.
  void PostponeHangUp(Clock::time_point until);
  // The line went away: whatever was half received or still to send is lost.
  void OnHungUp();

  std::vector<Exchange> TakeExchanges();
  SessionCounters Counters() const;
  const Relays& RelayValues() const noexcept { return model_.RelayValues(); }
  RegisterImage Registers(Clock::time_point now) const;

 private:
  void Handle(Frame frame, Clock::time_point now);
  void Send(const std::vector<Piece>& pieces, Clock::time_point request_end);

  SimulatorOptions options_;
  LineTiming timing_;
  Clock::time_point start_;
  RequestParser parser_;
  ModuleModel model_;
  ReplyShaper shaper_;
  OutputQueue output_;
  SessionCounters counters_;
  std::vector<Exchange> exchanges_;
  std::optional<Clock::time_point> hangup_at_;
  bool hung_up_ = false;
};

}  // namespace sim
