#include "serial/platform/tests/injected_driver.h"

// No <sys/ioctl.h>: its declaration of ioctl() differs in form from the one defined here.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <mutex>

namespace serial::platform::testing {
namespace {

using Clock = InjectedDriver::Clock;

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using IoctlCall = int (*)(int, unsigned long, ...);
using ReadCall = ssize_t (*)(int, void*, size_t);
using CloseCall = int (*)(int);

IoctlCall RealIoctl() {
  static const IoctlCall call = Next<IoctlCall>("ioctl");
  return call;
}
ReadCall RealRead() {
  static const ReadCall call = Next<ReadCall>("read");
  return call;
}
CloseCall RealClose() {
  static const CloseCall call = Next<CloseCall>("close");
  return call;
}

// A state asked over time, with the moment it was first asked.
struct Timed {
  InjectedDriver::Over holds;
  std::optional<Clock::time_point> first;
  bool Now() {
    const auto now = Clock::now();
    if (!first) first = now;
    return holds(now - *first);
  }
};

struct State {
  std::mutex mutex;
  std::optional<serial_struct> uart;
  std::optional<Timed> queued;
  std::optional<Timed> empty;
  std::size_t read_limit = 0;  // 0: as asked
  int flushes = 0;
  std::optional<Clock::time_point> settings_written;
  std::optional<Clock::time_point> first_empty;
  int hold[2] = {-1, -1};  // the pipe a held close waits on

  void Clear() {
    uart.reset();
    queued.reset();
    empty.reset();
    read_limit = 0;
    flushes = 0;
    settings_written.reset();
    first_empty.reset();
  }
};

std::atomic<int> g_fd{-1};
std::atomic<int> g_held_fd{-1};
// Never destroyed: a closing thread may still be in close() when the test ends.
State* const g_state = new State;

// Answers the calls the injected driver takes; false for those that go to the kernel.
bool Answer(unsigned long request, void* arg, int& result) {
  std::lock_guard lock(g_state->mutex);
  State& s = *g_state;
  result = 0;
  switch (request) {
    case TIOCGSERIAL:
      if (!s.uart) return false;
      *static_cast<serial_struct*>(arg) = *s.uart;
      return true;
    case TIOCOUTQ:
      if (!s.queued) return false;
      *static_cast<int*>(arg) = s.queued->Now() ? 1 : 0;
      return true;
    case TIOCSERGETLSR: {
      if (!s.empty) return false;
      const bool empty = s.empty->Now();
      if (empty && !s.first_empty) s.first_empty = Clock::now();
      *static_cast<unsigned int*>(arg) = empty ? TIOCSER_TEMT : 0;
      return true;
    }
    case TCFLSH: {
      const auto which = static_cast<int>(reinterpret_cast<long>(arg));
      if (which == TCOFLUSH || which == TCIOFLUSH) ++s.flushes;
      return false;
    }
    case TCSETS2:
      s.settings_written = Clock::now();
      return false;
    default:
      return false;
  }
}

}  // namespace

InjectedDriver::InjectedDriver(int fd) {
  {
    std::lock_guard lock(g_state->mutex);
    g_state->Clear();
  }
  g_fd = fd;
}

InjectedDriver::~InjectedDriver() {
  g_fd = -1;
  ReleaseClose();
  g_held_fd = -1;
  std::lock_guard lock(g_state->mutex);
  for (int& end : g_state->hold) {
    if (end >= 0) RealClose()(end);
    end = -1;
  }
}

void InjectedDriver::SetUart(int type, std::uint32_t baud_base, std::uint32_t fifo) {
  std::lock_guard lock(g_state->mutex);
  serial_struct info{};
  info.type = type;
  info.baud_base = static_cast<int>(baud_base);
  info.xmit_fifo_size = static_cast<int>(fifo);
  g_state->uart = info;
}

void InjectedDriver::SetOutputQueued(Over queued) {
  std::lock_guard lock(g_state->mutex);
  g_state->queued = Timed{std::move(queued), std::nullopt};
}

void InjectedDriver::SetTransmitterEmpty(Over empty) {
  std::lock_guard lock(g_state->mutex);
  g_state->empty = Timed{std::move(empty), std::nullopt};
}

void InjectedDriver::SetReadLimit(std::size_t bytes) {
  std::lock_guard lock(g_state->mutex);
  g_state->read_limit = bytes;
}

bool InjectedDriver::HoldClose() {
  std::lock_guard lock(g_state->mutex);
  if (g_state->hold[0] < 0 && ::pipe2(g_state->hold, O_CLOEXEC) != 0) return false;
  g_held_fd = g_fd.load();
  return true;
}

void InjectedDriver::ReleaseClose() {
  std::lock_guard lock(g_state->mutex);
  if (g_state->hold[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_state->hold[1], &byte, 1);
  }
}

int InjectedDriver::OutputFlushes() const {
  std::lock_guard lock(g_state->mutex);
  return g_state->flushes;
}

std::optional<Clock::time_point> InjectedDriver::LastSettingsWritten() const {
  std::lock_guard lock(g_state->mutex);
  return g_state->settings_written;
}

std::optional<Clock::time_point> InjectedDriver::FirstEmptyAnswer() const {
  std::lock_guard lock(g_state->mutex);
  return g_state->first_empty;
}

}  // namespace serial::platform::testing

using serial::platform::testing::g_fd;
using serial::platform::testing::g_held_fd;
using serial::platform::testing::g_state;

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result = 0;
  if (fd >= 0 && fd == g_fd.load() && serial::platform::testing::Answer(request, arg, result)) {
    return result;
  }
  return serial::platform::testing::RealIoctl()(fd, request, arg);
}

extern "C" ssize_t read(int fd, void* buffer, size_t n) {
  if (fd >= 0 && fd == g_fd.load()) {
    std::lock_guard lock(g_state->mutex);
    if (g_state->read_limit != 0 && n > g_state->read_limit) n = g_state->read_limit;
  }
  return serial::platform::testing::RealRead()(fd, buffer, n);
}

// The held close waits as the driver's closing wait does: until a signal or the release.
extern "C" int close(int fd) {
  if (fd >= 0 && fd == g_held_fd.load()) {
    int wait_end = -1;
    {
      std::lock_guard lock(g_state->mutex);
      wait_end = g_state->hold[0];
    }
    char byte = 0;
    serial::platform::testing::RealRead()(wait_end, &byte, 1);
    g_held_fd = -1;
  }
  if (fd >= 0 && fd == g_fd.load()) g_fd = -1;  // the number may be given out again
  return serial::platform::testing::RealClose()(fd);
}
