#include "serial/platform/stop_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace serial::platform {

StopEvent::StopEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

StopEvent::~StopEvent() { ::close(fd_); }

// The counter is never read back, so once written the descriptor stays readable: that is
// what makes the event manual-reset.
void StopEvent::Set() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

bool StopEvent::IsSet() const noexcept {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

int StopEvent::WaitHandle() const noexcept { return fd_; }

}  // namespace serial::platform
