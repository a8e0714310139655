#include "tools/qlm7305_sim/line.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

namespace sim {
namespace {

struct BaudEntry {
  int baud;
  speed_t constant;
};

constexpr std::array<BaudEntry, 19> kBauds = {{
    {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
    {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
}};

[[noreturn]] void ThrowSystem(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Raw 8N1: no echo, no line editing, no translation of any byte. VMIN 1 so that a read
// that returns 0 means end of file (a hang-up), never merely "no data yet".
void MakeRaw(int fd, speed_t speed, const std::string& path) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) ThrowSystem("cannot read the settings of " + path);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) ThrowSystem("cannot set up " + path);
}

speed_t SpeedOrDefault(int baud) {
  // A pty carries any rate (the module paces itself); it only records the nearest lower one.
  speed_t speed = B9600;
  for (const auto& e : kBauds) {
    if (e.baud <= baud) speed = e.constant;
  }
  return speed;
}

}  // namespace

std::optional<unsigned> BaudConstant(int baud) {
  for (const auto& e : kBauds) {
    if (e.baud == baud) return e.constant;
  }
  return std::nullopt;
}

Line::Line(UniqueFd fd, UniqueFd keep_slave, std::string path)
    : fd_(std::move(fd)), keep_slave_(std::move(keep_slave)), path_(std::move(path)) {}

Line Line::OpenPseudoTerminal(int baud) {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master.Valid()) ThrowSystem("cannot create a pseudo-terminal");
  if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
    ThrowSystem("cannot unlock the pseudo-terminal");
  }
  std::array<char, 128> name{};
  if (::ptsname_r(master.Get(), name.data(), name.size()) != 0) {
    ThrowSystem("cannot name the pseudo-terminal");
  }
  const std::string path(name.data());
  UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave.Valid()) ThrowSystem("cannot open " + path);
  MakeRaw(slave.Get(), SpeedOrDefault(baud), path);
  if (::fcntl(master.Get(), F_SETFL, O_NONBLOCK) != 0) ThrowSystem("cannot set up " + path);
  Line line(std::move(master), std::move(slave), path);
  line.WatchCloses();
  return line;
}

Line Line::OpenDevice(const std::string& path, int baud) {
  const auto speed = BaudConstant(baud);
  if (!speed) {
    errno = EINVAL;
    ThrowSystem(path + " cannot run at " + std::to_string(baud) + " baud");
  }
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) ThrowSystem("cannot open " + path);
  MakeRaw(fd.Get(), *speed, path);
  ::tcflush(fd.Get(), TCIOFLUSH);
  return Line(std::move(fd), UniqueFd(), path);
}

void Line::WatchCloses() {
  close_watch_ = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!close_watch_.Valid()) ThrowSystem("cannot watch " + path_);
  const std::uint32_t closes = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
  if (::inotify_add_watch(close_watch_.Get(), path_.c_str(), closes) < 0) {
    ThrowSystem("cannot watch " + path_);
  }
}

void Line::OnClientClosed() {
  alignas(inotify_event) std::array<char, 4096> events{};
  while (::read(close_watch_.Get(), events.data(), events.size()) > 0) {
  }
  ::ioctl(keep_slave_.Get(), TIOCNXCL);
}

std::size_t Line::UndeliveredBytes() const {
  int count = 0;
  if (keep_slave_.Valid()) {
    ::ioctl(keep_slave_.Get(), FIONREAD, &count);
  } else {
    ::ioctl(fd_.Get(), TIOCOUTQ, &count);
  }
  return static_cast<std::size_t>(std::max(count, 0));
}

std::optional<modbus::ByteString> Line::ReadAvailable() {
  std::array<std::uint8_t, 4096> buffer{};
  const ssize_t n = ::read(fd_.Get(), buffer.data(), buffer.size());
  if (n > 0) return modbus::ByteString(buffer.begin(), buffer.begin() + n);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return modbus::ByteString{};
  return std::nullopt;  // end of file or EIO: the other side is gone
}

std::size_t Line::Write(modbus::ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return bytes.size() - done;
}

}  // namespace sim
