#include "serial/platform/testing/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace serial::platform::testing {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) Fail("tcgetattr");
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

// Waits for one poll event on fd; false when the deadline passed or the fd failed.
bool Await(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    return n == 1 && (p.revents & events) != 0;
  }
}

}  // namespace

PtyPair::PtyPair(bool nonblocking_master) {
  const int flags = O_RDWR | O_NOCTTY | O_CLOEXEC | (nonblocking_master ? O_NONBLOCK : 0);
  master_ = ::posix_openpt(flags);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    const int error = errno;
    ::close(master_);
    throw std::system_error(error, std::generic_category(), "pty set-up");
  }
  slave_path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) {
    const int error = errno;
    ::close(master_);
    throw std::system_error(error, std::generic_category(), "open pty slave");
  }
  MakeRaw(master_);
  MakeRaw(slave_);
}

PtyPair::~PtyPair() {
  CloseMaster();
  ::close(slave_);
}

bool PtyPair::Write(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds timeout) {
  return master_ >= 0 && WriteAll(master_, bytes, timeout);
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t n, std::chrono::milliseconds timeout) {
  return master_ >= 0 ? ReadUpTo(master_, n, timeout) : std::vector<std::uint8_t>{};
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else if (!Await(fd, POLLOUT, deadline)) {
      return false;
    }
  }
  return done == bytes.size();
}

std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t n, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::uint8_t> got;
  while (got.size() < n) {
    if (!Await(fd, POLLIN, deadline)) break;
    std::uint8_t buffer[4096];
    const ssize_t r = ::read(fd, buffer, std::min(sizeof buffer, n - got.size()));
    if (r > 0) {
      got.insert(got.end(), buffer, buffer + r);
    } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return got;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace serial::platform::testing
