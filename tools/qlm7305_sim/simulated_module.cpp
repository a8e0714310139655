#include "tools/qlm7305_sim/simulated_module.h"

#include <poll.h>

#include <cerrno>

#include "modbus/hex_text.h"

namespace sim {
namespace {

constexpr std::size_t kRecentRequests = 64;
// How soon a lost device (or a failed reopening) is tried again.
constexpr Duration kRetryAfter = std::chrono::seconds(1);
// A client gets this long to read the last answer before a hang-up takes it away (a hang-up
// flushes what the client has not read); it is asked again at this interval, since reading
// raises no event on our side.
constexpr Duration kHangUpGrace = std::chrono::seconds(1);
constexpr Duration kHangUpRecheck = std::chrono::milliseconds(5);

Line OpenLine(const SimulatorOptions& options) {
  if (options.device.empty()) return Line::OpenPseudoTerminal(options.baud);
  return Line::OpenDevice(options.device, options.baud);
}

timespec ToTimespec(Duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

std::string Describe(const Exchange& e) {
  std::string text = "request " + modbus::BytesToHex(e.request.bytes);
  if (e.dropped) return text + "-> reply dropped";
  if (!e.reply) return text + "-> silence";
  return text + "-> reply " + modbus::BytesToHex(*e.reply);
}

}  // namespace

SimulatedModule::SimulatedModule(SimulatorOptions options)
    : options_(std::move(options)),
      line_(OpenLine(options_)),
      session_(options_, Clock::now()),
      path_(line_->Path()) {
  if (!options_.link.empty()) link_ = StableLink(options_.link, path_);
  Publish();
  thread_ = std::thread([this] { Run(); });
}

SimulatedModule::~SimulatedModule() { Stop(); }

void SimulatedModule::Stop() {
  if (!thread_.joinable()) return;
  stop_.Signal();
  thread_.join();
  line_.reset();
  link_ = StableLink();
}

std::string SimulatedModule::SlavePath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

ModuleCounters SimulatedModule::Counters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

bool SimulatedModule::WaitUntil(const std::function<bool(const ModuleCounters&)>& done,
                                std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(counters_); });
}

bool SimulatedModule::WaitForRequests(std::uint64_t count,
                                      std::chrono::milliseconds timeout) const {
  return WaitUntil([count](const ModuleCounters& c) { return c.requests >= count; }, timeout);
}

std::vector<modbus::ByteString> SimulatedModule::RecentRequests() const {
  std::lock_guard lock(mutex_);
  return {recent_.begin(), recent_.end()};
}

Relays SimulatedModule::RelayValues() const {
  std::lock_guard lock(mutex_);
  return relays_;
}

void SimulatedModule::Run() {
  try {
    while (WaitForWork()) Step(Clock::now(), line_events_);
  } catch (const std::exception& e) {
    // Nothing is expected to throw here but allocation; end serving rather than the process.
    Log(std::string("stopped: ") + e.what());
  }
}

// Sleeps until the line has input, a client closed the pty, a deadline of the session
// (silence, paced output, hang-up) or the reopening is due, or Stop() is called.
bool SimulatedModule::WaitForWork() {
  std::array<pollfd, 3> fds{};
  nfds_t count = 0;
  fds[count++] = {stop_.Handle(), POLLIN, 0};
  if (line_) {
    fds[count++] = {line_->Fd(), POLLIN, 0};
    if (line_->CloseWatchFd() >= 0) fds[count++] = {line_->CloseWatchFd(), POLLIN, 0};
  }
  const auto deadline = Deadline();
  timespec wait{};
  if (deadline) wait = ToTimespec(std::max(Duration{}, *deadline - Clock::now()));
  const int ready = ::ppoll(fds.data(), count, deadline ? &wait : nullptr, nullptr);
  if (ready < 0 && errno != EINTR) return false;
  if (fds[0].revents != 0) return false;
  line_events_ = count > 1 ? fds[1].revents : 0;
  if (count == 3 && fds[2].revents != 0) {
    line_->OnClientClosed();
    ++client_closes_;
  }
  return true;
}

void SimulatedModule::Step(Clock::time_point now, short line_events) {
  if (line_ && line_events != 0) Receive(now, line_events);
  session_.OnTime(now);
  if (line_) WriteDue(now);
  if (line_ && session_.HangUpDue(now)) HangUpWhenDelivered(now);
  if (!line_ && reopen_at_ && now >= *reopen_at_) Reopen(now);
  Publish();
}

void SimulatedModule::Receive(Clock::time_point now, short line_events) {
  const auto bytes = line_->ReadAvailable();
  if (!bytes || (bytes->empty() && (line_events & (POLLHUP | POLLERR)) != 0)) {
    HangUp(now, "the line is gone");
    reopen_at_ = now + kRetryAfter;
    return;
  }
  session_.OnInput(*bytes, now);
}

void SimulatedModule::WriteDue(Clock::time_point now) {
  const modbus::ByteString due = session_.TakeDueOutput(now);
  if (!due.empty()) bytes_dropped_ += line_->Write(due);
}

void SimulatedModule::HangUpWhenDelivered(Clock::time_point now) {
  if (!hangup_deadline_) hangup_deadline_ = now + kHangUpGrace;
  if (line_->UndeliveredBytes() > 0 && now < *hangup_deadline_) {
    session_.PostponeHangUp(now + kHangUpRecheck);
    return;
  }
  hangup_deadline_.reset();
  HangUp(now, "hanging up as asked");
}

void SimulatedModule::HangUp(Clock::time_point now, const std::string& why) {
  line_.reset();
  link_.Withdraw();
  session_.OnHungUp();
  ++hangups_;
  reopen_at_ = now + options_.faults.hangup_for;
  Log(why + "; the line is closed");
}

void SimulatedModule::Reopen(Clock::time_point now) {
  try {
    Line line = OpenLine(options_);
    link_.Retarget(line.Path());
    line_ = std::move(line);
    reopen_at_.reset();
    ++line_opens_;
    {
      std::lock_guard lock(mutex_);
      path_ = line_->Path();
    }
    Log("the line is back on " + line_->Path());
  } catch (const std::exception& e) {
    reopen_at_ = now + kRetryAfter;
    Log(std::string(e.what()) + "; trying again");
  }
}

std::optional<Clock::time_point> SimulatedModule::Deadline() const {
  if (!line_) return reopen_at_;
  return session_.NextDeadline();
}

void SimulatedModule::Publish() {
  std::vector<Exchange> exchanges = session_.TakeExchanges();
  {
    std::lock_guard lock(mutex_);
    static_cast<SessionCounters&>(counters_) = session_.Counters();
    counters_.line_opens = line_opens_;
    counters_.hangups = hangups_;
    counters_.bytes_dropped = bytes_dropped_;
    counters_.client_closes = client_closes_;
    relays_ = session_.RelayValues();
    for (const Exchange& e : exchanges) {
      recent_.push_back(e.request.bytes);
      if (recent_.size() > kRecentRequests) recent_.pop_front();
    }
  }
  changed_.notify_all();
  if (options_.verbose) {
    for (const Exchange& e : exchanges) Log(Describe(e));
  }
}

void SimulatedModule::Log(const std::string& text) const {
  if (options_.log) options_.log(text);
}

}  // namespace sim
