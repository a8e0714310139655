#include "bench/support/pty_sides.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void SystemFailure(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// After a read that found nothing: give up past the deadline, else pause (or not).
void NothingYet(Clock::time_point deadline, std::chrono::microseconds pause, const char* who) {
  if (Clock::now() > deadline)
    throw std::runtime_error(std::string(who) + ": the block did not arrive in time");
  if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

}  // namespace

Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes block(n);
  for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<std::uint8_t>(seed + i * 7U);
  return block;
}

void CheckSame(const Bytes& got, const Bytes& expected, const char* who) {
  if (got != expected)
    throw std::runtime_error(std::string(who) + ": received bytes differ from those sent");
}

RawSide::RawSide(const std::string& path, std::chrono::milliseconds deadline)
    : deadline_(deadline) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) SystemFailure("open the pty slave");
  termios t{};
  if (::tcgetattr(fd_, &t) != 0 || (::cfmakeraw(&t), ::tcsetattr(fd_, TCSANOW, &t)) != 0) {
    const int error = errno;
    ::close(fd_);
    throw std::system_error(error, std::generic_category(), "make the pty slave raw");
  }
}

RawSide::~RawSide() { ::close(fd_); }

void RawSide::Send(const Bytes& block) {
  const auto deadline = Clock::now() + deadline_;
  std::size_t done = 0;
  while (done < block.size()) {
    const ssize_t n = ::write(fd_, block.data() + done, block.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) SystemFailure("write to the pty slave");
    if (Clock::now() > deadline) throw std::runtime_error("plain write: no room in time");
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, 10);
  }
}

const Bytes& RawSide::ReceiveCount(std::size_t n) {
  const auto deadline = Clock::now() + deadline_;
  received_.resize(n);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd_, received_.data() + got, n - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
      SystemFailure("read from the pty slave");
    } else {
      NothingYet(deadline, pause_, "plain read");
    }
  }
  return received_;
}

void RawSide::Receive(const Bytes& expected) {
  CheckSame(ReceiveCount(expected.size()), expected, "plain read");
}

CommSide::CommSide(const std::string& path, std::chrono::milliseconds deadline)
    : deadline_(deadline) {
  comm_.SetDeviceName(path);
  if (!comm_.Open()) throw std::runtime_error("the component could not open " + path);
}

void CommSide::Send(const Bytes& block) {
  if (!comm_.SendString(block)) throw std::runtime_error("SendString sent less than asked");
  hand_overs_ += comm_.HandOver().RunPending();
}

// More than n bytes may arrive; only n are taken here, the rest stays for the next call.
const Bytes& CommSide::ReceiveCount(std::size_t n) {
  const auto deadline = Clock::now() + deadline_;
  while (pending_.size() < n) {
    const bool got = comm_.ReadString(chunk_);
    hand_overs_ += comm_.HandOver().RunPending();
    if (got) {
      pending_.insert(pending_.end(), chunk_.begin(), chunk_.end());
    } else {
      NothingYet(deadline, pause_, "ReadString");
    }
  }
  received_.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  return received_;
}

void CommSide::Receive(const Bytes& expected) {
  CheckSame(ReceiveCount(expected.size()), expected, "ReadString");
}

}  // namespace bench
