#include "serial/platform/fake/fake_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace serial::platform::fake {

// ---- FakeState: the test's side ------------------------------------------------------

std::vector<Call> FakeState::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeState::CallNames() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const Call& call : calls_) names.push_back(call.name);
  return names;
}

std::vector<std::string> FakeState::OwnerCallNames() const {
  std::vector<std::string> names = CallNames();
  std::erase_if(names, [](const std::string& name) {
    return name == "WaitCommEvent" || name == "WaitForInput" || name == "WaitForOutput";
  });
  return names;
}

std::size_t FakeState::CallCount(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return std::count_if(calls_.begin(), calls_.end(),
                       [&](const Call& call) { return call.name == name; });
}

void FakeState::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void FakeState::FailCall(const std::string& name, int error) {
  std::lock_guard lock(mutex_);
  failures_[name] = error;
  changed_.notify_all();
}

void FakeState::ClearFailure(const std::string& name) {
  std::lock_guard lock(mutex_);
  failures_.erase(name);
}

void FakeState::HangUp() {
  std::lock_guard lock(mutex_);
  hung_up_ = true;
  changed_.notify_all();
}

void FakeState::SetDcb(const DCB& dcb) {
  std::lock_guard lock(mutex_);
  dcb_ = dcb;
}

DCB FakeState::Dcb() const {
  std::lock_guard lock(mutex_);
  return dcb_;
}

void FakeState::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
}

COMMTIMEOUTS FakeState::Timeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

void FakeState::SetProperties(const COMMPROP& properties) {
  std::lock_guard lock(mutex_);
  properties_ = properties;
}

void FakeState::SetVersion(const OsVersion& version) {
  std::lock_guard lock(mutex_);
  version_ = version;
}

void FakeState::SetCommErrors(std::uint32_t errors) {
  std::lock_guard lock(mutex_);
  comm_errors_ = errors;
}

std::uint32_t FakeState::Mask() const {
  std::lock_guard lock(mutex_);
  return mask_;
}

bool FakeState::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

void FakeState::Feed(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  changed_.notify_all();
}

void FakeState::QueueEvent(std::uint32_t events) {
  std::lock_guard lock(mutex_);
  events_.push_back(events);
  changed_.notify_all();
}

void FakeState::RepeatEvent(std::optional<std::uint32_t> events) {
  std::lock_guard lock(mutex_);
  repeat_event_ = events;
  changed_.notify_all();
}

std::vector<std::uint8_t> FakeState::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void FakeState::SetOutQueue(std::uint32_t count) {
  std::lock_guard lock(mutex_);
  out_queue_ = count;
}

void FakeState::SetWriteLimit(std::optional<std::uint32_t> limit) {
  std::lock_guard lock(mutex_);
  write_limit_ = limit;
}

std::uint32_t FakeState::Now() const {
  std::lock_guard lock(mutex_);
  return clock_;
}

void FakeState::Advance(std::chrono::milliseconds ms) {
  std::lock_guard lock(mutex_);
  clock_ += static_cast<std::uint32_t>(ms.count());
}

std::size_t FakeState::StopsSignalled() const {
  std::lock_guard lock(mutex_);
  return stops_signalled_;
}

bool FakeState::WaitForStops(std::size_t n, std::chrono::milliseconds max) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, max, [&] { return stops_signalled_ >= n; });
}

void FakeState::SetErrorText(int error, const std::string& text) {
  std::lock_guard lock(mutex_);
  error_texts_[error] = text;
}

void FakeState::Record(const std::string& name, CallArgs args) {
  std::lock_guard lock(mutex_);
  calls_.push_back(Call{name, std::move(args)});
}

std::optional<SysError> FakeState::FailureOf(const std::string& name) const {
  const auto it = failures_.find(name);
  if (it == failures_.end()) return std::nullopt;
  return SysError{it->second};
}

// ---- FakeStopEvent --------------------------------------------------------------------

class FakeStopEvent final : public StopEvent {
 public:
  explicit FakeStopEvent(std::shared_ptr<FakeState> state) : s_(std::move(state)) {}

  void Set() noexcept override {
    std::lock_guard lock(s_->mutex_);
    if (!set_.exchange(true)) ++s_->stops_signalled_;
    s_->changed_.notify_all();
  }
  bool IsSet() const noexcept override { return set_; }

  // The event, when it is one of state's platform: only those wake its devices' waits.
  static const FakeStopEvent& Of(const StopEvent& event, const FakeState& state) {
    const auto* own = dynamic_cast<const FakeStopEvent*>(&event);
    if (own == nullptr || own->s_.get() != &state)
      throw std::invalid_argument("stop event of another platform");
    return *own;
  }

 private:
  std::shared_ptr<FakeState> s_;
  std::atomic<bool> set_ = false;  // written under the state's mutex, so no wake-up is lost
};

// ---- FakeDevice: the component's side ------------------------------------------------

class FakeDevice : public SerialDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeState> state) : s_(std::move(state)) {}
  ~FakeDevice() override {
    s_->Record("CloseHandle");
    std::lock_guard lock(s_->mutex_);
    s_->open_ = false;
    s_->mask_ = 0;
    s_->changed_.notify_all();
  }

  SysError GetCommState(DCB& dcb) override {
    return Get("GetCommState", [&] { dcb = s_->dcb_; });
  }
  SysError SetCommState(const DCB& dcb) override {
    return Set("SetCommState", dcb, [&] { s_->dcb_ = dcb; });
  }
  SysError GetCommTimeouts(COMMTIMEOUTS& timeouts) override {
    return Get("GetCommTimeouts", [&] { timeouts = s_->timeouts_; });
  }
  SysError SetCommTimeouts(const COMMTIMEOUTS& timeouts) override {
    return Set("SetCommTimeouts", timeouts, [&] { s_->timeouts_ = timeouts; });
  }
  SysError GetCommProperties(COMMPROP& properties) override {
    return Get("GetCommProperties", [&] { properties = s_->properties_; });
  }
  SysError SetupComm(std::uint32_t input_queue, std::uint32_t output_queue) override {
    return Set("SetupComm", QueueSizes{input_queue, output_queue}, [&] {
      s_->properties_.dwCurrentRxQueue = input_queue;
      s_->properties_.dwCurrentTxQueue = output_queue;
    });
  }
  SysError PurgeComm(std::uint32_t flags) override {
    return Set("PurgeComm", flags, [&] {
      if (flags & PURGE_RXCLEAR) s_->input_.clear();
    });
  }
  SysError ClearCommError(std::uint32_t& errors, COMSTAT& status) override {
    return Get("ClearCommError", [&] {
      errors = std::exchange(s_->comm_errors_, 0);
      status = COMSTAT{};
      status.cbInQue = static_cast<std::uint32_t>(s_->input_.size());
      status.cbOutQue = s_->out_queue_;
    });
  }
  SysError SetCommMask(std::uint32_t mask) override {
    return Set("SetCommMask", mask, [&] {
      s_->mask_ = mask;
      s_->changed_.notify_all();
    });
  }

  WaitResult WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) override;
  IoResult WriteChunk(const std::uint8_t* data, std::uint32_t n,
                      std::chrono::milliseconds wait) override;
  IoResult ReadChunk(std::uint8_t* data, std::uint32_t n) override;
  void WaitForInput(std::chrono::milliseconds max) override;
  void WaitForOutput(std::chrono::milliseconds max) override;

 private:
  // Records the call, then runs apply under the lock unless the call was made to fail.
  template <class Apply>
  SysError Get(const char* name, Apply apply) {
    return Set(name, std::monostate{}, apply);
  }
  template <class Apply>
  SysError Set(const char* name, CallArgs args, Apply apply) {
    s_->Record(name, std::move(args));
    std::lock_guard lock(s_->mutex_);
    if (auto error = s_->FailureOf(name)) return *error;
    apply();
    return {};
  }
  std::optional<WaitResult> PollEvent(std::uint32_t& mask);  // caller holds the mutex

  std::shared_ptr<FakeState> s_;
};

std::optional<WaitResult> FakeDevice::PollEvent(std::uint32_t& mask) {
  if (auto error = s_->FailureOf("WaitCommEvent")) return WaitResult{WaitOutcome::Failed, *error};
  if (s_->hung_up_) return WaitResult{WaitOutcome::Failed, {EIO}};
  if (s_->mask_ == 0) return WaitResult{.outcome = WaitOutcome::Stopped};
  if (s_->events_.empty()) {
    if (!s_->repeat_event_) return std::nullopt;
    mask = *s_->repeat_event_;
    return WaitResult{.outcome = WaitOutcome::Events};
  }
  mask = s_->events_.front();
  s_->events_.pop_front();
  return WaitResult{.outcome = WaitOutcome::Events};
}

// Blocks on the state's condition, which the stop event notifies too: no polling loop.
WaitResult FakeDevice::WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) {
  const FakeStopEvent& own = FakeStopEvent::Of(stop, *s_);
  s_->Record("WaitCommEvent");
  std::unique_lock lock(s_->mutex_);
  std::optional<WaitResult> result;
  s_->changed_.wait(lock, [&] {
    if (own.IsSet()) result = WaitResult{.outcome = WaitOutcome::Stopped};
    else result = PollEvent(mask);
    return result.has_value();
  });
  return *result;
}

IoResult FakeDevice::WriteChunk(const std::uint8_t* data, std::uint32_t n,
                                std::chrono::milliseconds wait) {
  s_->Record("WriteChunk", WriteRequest{n, wait});
  std::lock_guard lock(s_->mutex_);
  if (auto error = s_->FailureOf("WriteChunk")) return IoResult{0, *error};
  if (s_->hung_up_) return IoResult{0, {EIO}};
  const std::uint32_t accepted = std::min(n, s_->write_limit_.value_or(n));
  s_->written_.insert(s_->written_.end(), data, data + accepted);
  if (accepted < n) s_->clock_ += static_cast<std::uint32_t>(wait.count());
  return IoResult{.bytes = accepted};
}

IoResult FakeDevice::ReadChunk(std::uint8_t* data, std::uint32_t n) {
  s_->Record("ReadChunk", n);
  std::lock_guard lock(s_->mutex_);
  if (auto error = s_->FailureOf("ReadChunk")) return IoResult{0, *error};
  const auto count = std::min<std::size_t>(n, s_->input_.size());
  if (count == 0 && n > 0 && s_->hung_up_) return IoResult{0, {EIO}};
  std::copy_n(s_->input_.begin(), count, data);
  s_->input_.erase(s_->input_.begin(), s_->input_.begin() + count);
  return IoResult{.bytes = static_cast<std::uint32_t>(count)};
}

// Nothing arrives or drains in the fake by itself, so a wait that would block lasts its
// whole maximum: the clock moves on by that much and the call returns at once.
void FakeDevice::WaitForInput(std::chrono::milliseconds max) {
  s_->Record("WaitForInput", max);
  std::lock_guard lock(s_->mutex_);
  if (s_->input_.empty()) s_->clock_ += static_cast<std::uint32_t>(max.count());
}

void FakeDevice::WaitForOutput(std::chrono::milliseconds max) {
  s_->Record("WaitForOutput", max);
  std::lock_guard lock(s_->mutex_);
  s_->clock_ += static_cast<std::uint32_t>(max.count());
}

// ---- FakePlatform --------------------------------------------------------------------

OpenResult FakePlatform::CreateFile(const std::string& path) {
  state_->Record("CreateFile", path);
  std::lock_guard lock(state_->mutex_);
  if (auto failure = state_->FailureOf("CreateFile")) return {nullptr, *failure};
  if (state_->open_) return {nullptr, {EBUSY}};
  state_->open_ = true;
  state_->hung_up_ = false;
  state_->mask_ = 0;
  return {.device = std::make_unique<FakeDevice>(state_)};
}

std::unique_ptr<StopEvent> FakePlatform::CreateStopEvent() {
  return std::make_unique<FakeStopEvent>(state_);
}

std::string FakePlatform::ErrorText(int error) const {
  std::lock_guard lock(state_->mutex_);
  const auto it = state_->error_texts_.find(error);
  if (it != state_->error_texts_.end()) return it->second;
  return std::generic_category().message(error);
}

OsVersion FakePlatform::GetVersion() const {
  state_->Record("GetVersion");
  std::lock_guard lock(state_->mutex_);
  return state_->version_;
}

std::uint32_t FakePlatform::GetTickCount() const { return state_->Now(); }

}  // namespace serial::platform::fake
