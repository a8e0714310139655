#include "tests/drivers/gadget_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "serial/platform/testing/pty_pair.h"
#include "tests/drivers/bench_line.h"

namespace drivers {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);
constexpr int kRetryMs = 50;  // after a hang-up or a refused opening
constexpr const char* kStalledMark = "/tmp/bench-gadget-stalled";

// /sys/class/tty/ttyACM0/device is the USB interface; its device's "port" link names the
// hub port it hangs on.
std::string PortSwitchOf(const std::string& device) {
  namespace fs = std::filesystem;
  const fs::path tty = fs::path("/sys/class/tty") / fs::path(device).filename();
  std::error_code ec;
  const fs::path interface = fs::canonical(tty / "device", ec);
  const fs::path port = ec ? fs::path() : fs::canonical(interface.parent_path() / "port", ec);
  if (ec || !fs::exists(port / "disable")) {
    throw std::runtime_error("no hub port switch for " + device + " in sysfs");
  }
  return (port / "disable").string();
}

}  // namespace

GadgetPeer::GadgetPeer(std::string gadget, const std::string& device)
    : gadget_(std::move(gadget)), device_(device), port_switch_(PortSwitchOf(device)) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe for the gadget peer");
  thread_ = std::thread([this] { Run(); });
  Play(Mode::kEcho);
}

GadgetPeer::~GadgetPeer() {
  if (unplugged_) {
    Plug();
    WaitForNode(device_, true, kPatience);
  }
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  const char c = 0;
  (void)!::write(wake_[1], &c, 1);
  thread_.join();
  if (fd_ >= 0) ::close(fd_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void GadgetPeer::Play(Mode mode) {
  if (mode == Mode::kStall) {
    // Closed while it holds unread bytes, the gadget's end stops receiving for good; the
    // guest cycles the link after this test (guest_init.sh), also when it ends abruptly.
    std::ofstream(kStalledMark) << gadget_ << "\n";
  }
  std::unique_lock lock(mutex_);
  wanted_ = mode;
  const char c = 0;
  (void)!::write(wake_[1], &c, 1);
  if (!applied_cv_.wait_for(lock, kPatience, [&] { return playing_ == mode; })) {
    throw std::runtime_error("the gadget peer did not take its new mode; cannot open " + gadget_);
  }
}

// The test's thread reads and writes the gadget's end while the peer's thread leaves it
// alone (held, it polls for a hang-up only).
bool GadgetPeer::Send(const std::vector<std::uint8_t>& bytes) {
  return serial::platform::testing::WriteAll(fd_, bytes, kPatience);
}

std::vector<std::uint8_t> GadgetPeer::Take(std::size_t n, std::chrono::milliseconds patience) {
  return serial::platform::testing::ReadUpTo(fd_, n, patience);
}

void GadgetPeer::PowerPort(bool on) {
  std::ofstream power(port_switch_);
  power << (on ? "0" : "1");
  power.flush();
  if (!power) throw std::runtime_error("cannot switch " + port_switch_);
  unplugged_ = !on;
}

void GadgetPeer::Unplug() { PowerPort(false); }
void GadgetPeer::Plug() { PowerPort(true); }

// Opens the gadget's end raw: its tty starts canonical, with echo, and keeps the settings
// of its last opening.
bool GadgetPeer::Reopen() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(gadget_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  if (::tcgetattr(fd_, &t) == 0) {
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ::tcflush(fd_, TCIOFLUSH);
  return true;
}

void GadgetPeer::Run() {
  const auto rest = [this](int ms) {
    pollfd p{wake_[0], POLLIN, 0};
    ::poll(&p, 1, ms);
    char drain[64];
    while (::read(wake_[0], drain, sizeof drain) > 0) {
    }
  };
  for (;;) {
    Mode mode;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      mode = wanted_;
    }
    if (mode == Mode::kClosed && fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    } else if (mode != Mode::kClosed && fd_ < 0 && !Reopen()) {
      rest(kRetryMs);
      continue;
    }
    if (mode == Mode::kHeld && playing_ != Mode::kHeld) ::tcflush(fd_, TCIFLUSH);
    {
      std::lock_guard lock(mutex_);
      playing_ = mode;
    }
    applied_cv_.notify_all();
    if (mode == Mode::kClosed) {
      rest(-1);
      continue;
    }
    pollfd fds[2] = {{fd_, static_cast<short>(mode == Mode::kEcho ? POLLIN : 0), 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) {
      rest(0);
      continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // The link went down (an unplug hangs the gadget's tty up): open it anew.
      ::close(fd_);
      fd_ = -1;
      rest(kRetryMs);
      continue;
    }
    if (fds[0].revents & POLLIN) Echo();
  }
}

// Sends back what was read; a mode change (the wake pipe) drops the rest.
void GadgetPeer::Echo() {
  std::uint8_t buffer[4096];
  const ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n <= 0) {
    if (n < 0 && errno == EAGAIN) return;
    ::close(fd_);
    fd_ = -1;
    return;
  }
  ssize_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd_, buffer + done, static_cast<std::size_t>(n - done));
    if (w > 0) {
      done += w;
      continue;
    }
    if (w < 0 && errno != EAGAIN) return;
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, 20000) <= 0 || fds[1].revents) return;
  }
}

}  // namespace drivers
