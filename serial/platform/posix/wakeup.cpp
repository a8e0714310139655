#include "serial/platform/posix/wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <system_error>
#include <vector>

namespace serial::platform {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!fd_.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void Wakeup::Signal() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(fd_.Get(), &one, sizeof one);
}

void Wakeup::Drain() noexcept {
  std::uint64_t value = 0;
  [[maybe_unused]] const auto got = ::read(fd_.Get(), &value, sizeof value);
}

bool Wakeup::IsSignalled() const noexcept {
  pollfd p{fd_.Get(), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
}

Ready PollUntil(std::vector<pollfd> polled, std::chrono::milliseconds max) {
  const bool forever = max.count() < 0;
  // Clamped so that the deadline cannot overflow; poll() takes an int anyway.
  const auto bounded = std::min(max, std::chrono::milliseconds(INT_MAX));
  const auto deadline = std::chrono::steady_clock::now() + (forever ? max.zero() : bounded);
  for (;;) {
    const int timeout = forever ? -1 : RemainingMs(deadline);
    const int n = ::poll(polled.data(), polled.size(), timeout);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Ready{};
    for (std::size_t i = 0; i < polled.size(); ++i) {
      if (polled[i].revents != 0) return Ready{static_cast<int>(i), polled[i].revents};
    }
  }
}

}  // namespace

Ready WaitReady(std::initializer_list<Watch> watches, std::chrono::milliseconds max) {
  std::vector<pollfd> polled;
  for (const Watch& w : watches) polled.push_back(pollfd{w.fd, w.events, 0});
  return PollUntil(std::move(polled), max);
}

int WaitReadable(std::initializer_list<int> fds, std::chrono::milliseconds max) {
  std::vector<pollfd> polled;
  for (int fd : fds) polled.push_back(pollfd{fd, POLLIN, 0});
  return PollUntil(std::move(polled), max).index;
}

}  // namespace serial::platform
