#pragma once
// A simulated module serving a line on a thread of its own, for in-process use by tests and
// for the qlm7305-sim program:
//
//   sim::SimulatorOptions options;
//   options.values = sim::ValueMode::kFixed;
//   sim::SimulatedModule module(options);   // the line is open and served from here on
//   OpenTheToolOn(module.SlavePath());
//   module.WaitForRequests(2, 2s);
//   module.Stop();                           // immediate; the destructor does it too
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "modbus/byte_string.h"
#include "serial/platform/posix/wakeup.h"
#include "tools/qlm7305_sim/line.h"
#include "tools/qlm7305_sim/module_session.h"
#include "tools/qlm7305_sim/simulator_options.h"
#include "tools/qlm7305_sim/stable_link.h"

namespace sim {

struct ModuleCounters : SessionCounters {
  std::uint64_t line_opens = 0;     // 1 once constructed; +1 each time the line comes back
  std::uint64_t hangups = 0;        // hang-ups made on purpose and lines lost
  std::uint64_t bytes_dropped = 0;  // output the line would not take (nobody reading)
  std::uint64_t client_closes = 0;  // times a client closed the pty (exclusive mode lifted)
};

class SimulatedModule {
 public:
  // Opens the line (and the link) and starts serving it. Throws std::system_error when the
  // device, the pseudo-terminal or the link cannot be set up.
  explicit SimulatedModule(SimulatorOptions options);
  ~SimulatedModule();
  SimulatedModule(const SimulatedModule&) = delete;
  SimulatedModule& operator=(const SimulatedModule&) = delete;

  // The path a client opens: the pty's slave, or the device. A pty comes back under a new
  // path after a hang-up; the link, when asked for, always points at the current one.
  std::string SlavePath() const;
  std::string LinkPath() const { return options_.link; }

  // Ends serving at once and closes the line; the link is removed. Idempotent.
  void Stop();

  ModuleCounters Counters() const;
  // Waits until the counters satisfy `done`, at most `timeout`; true if they did.
  bool WaitUntil(const std::function<bool(const ModuleCounters&)>& done,
                 std::chrono::milliseconds timeout) const;
  bool WaitForRequests(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // The most recent intact frames received (up to 64), oldest first.
  std::vector<modbus::ByteString> RecentRequests() const;
  Relays RelayValues() const;

 private:
  void Run();
  bool WaitForWork();
  void Step(Clock::time_point now, short line_events);
  void Receive(Clock::time_point now, short line_events);
  void WriteDue(Clock::time_point now);
  void HangUpWhenDelivered(Clock::time_point now);
  void HangUp(Clock::time_point now, const std::string& why);
  void Reopen(Clock::time_point now);
  std::optional<Clock::time_point> Deadline() const;
  void Publish();
  void Log(const std::string& text) const;

  SimulatorOptions options_;
  serial::platform::Wakeup stop_;
  // Owned by the serving thread once it runs.
  std::optional<Line> line_;
  ModuleSession session_;
  StableLink link_;
  std::optional<Clock::time_point> reopen_at_;
  std::optional<Clock::time_point> hangup_deadline_;  // hang up even if nobody reads
  std::uint64_t line_opens_ = 1;
  std::uint64_t hangups_ = 0;
  std::uint64_t bytes_dropped_ = 0;
  std::uint64_t client_closes_ = 0;
  short line_events_ = 0;  // what the last wait reported for the line

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string path_;
  ModuleCounters counters_;
  Relays relays_{};
  std::deque<modbus::ByteString> recent_;

  std::thread thread_;
};

}  // namespace sim
