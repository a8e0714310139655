#include "tools/tests/fd_io.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

UniqueFd OpenRawClient(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) return fd;
  termios t{};
  if (::tcgetattr(fd.Get(), &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(fd.Get(), TCSANOW, &t);
  }
  return fd;
}

bool WriteAll(int fd, modbus::ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 1000);
  }
  return true;
}

modbus::ByteString ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  modbus::ByteString out;
  std::array<std::uint8_t, 512> buffer{};
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(deadline)) <= 0) break;
    const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), count - out.size()));
    if (n > 0) {
      out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return out;
}

bool WaitForHangUp(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::array<std::uint8_t, 512> buffer{};
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(deadline)) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) return true;
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
  }
}

}  // namespace sim::testing
