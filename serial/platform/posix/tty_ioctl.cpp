#include "serial/platform/posix/tty_ioctl.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <algorithm>
#include <iterator>

namespace serial::platform::posix::tty {
namespace {

static_assert(std::size(termios2{}.c_cc) == std::tuple_size_v<decltype(TermiosImage::c_cc)>);

int Result(int rc) { return rc == 0 ? 0 : errno; }

TermiosImage ToImage(const termios2& t) {
  TermiosImage image{t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag, t.c_line, {}, t.c_ispeed,
                     t.c_ospeed};
  std::copy(std::begin(t.c_cc), std::end(t.c_cc), image.c_cc.begin());
  return image;
}

termios2 FromImage(const TermiosImage& image) {
  termios2 t{};
  t.c_iflag = image.c_iflag;
  t.c_oflag = image.c_oflag;
  t.c_cflag = image.c_cflag;
  t.c_lflag = image.c_lflag;
  t.c_line = image.c_line;
  std::copy(image.c_cc.begin(), image.c_cc.end(), t.c_cc);
  t.c_ispeed = image.c_ispeed;
  t.c_ospeed = image.c_ospeed;
  return t;
}

}  // namespace

const int kDtr = TIOCM_DTR;
const int kRts = TIOCM_RTS;

int GetTermios(int fd, TermiosImage& image) {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  image = ToImage(t);
  return 0;
}

int SetTermios(int fd, const TermiosImage& image) {
  termios2 t = FromImage(image);
  return Result(::ioctl(fd, TCSETS2, &t));
}

int SetModemLine(int fd, int tiocm_bit, bool on) {
  return Result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &tiocm_bit));
}

int GetModemLines(int fd, int& tiocm_bits) { return Result(::ioctl(fd, TIOCMGET, &tiocm_bits)); }

int GetCounters(int fd, LineCounters& counters) {
  serial_icounter_struct c{};
  if (::ioctl(fd, TIOCGICOUNT, &c) != 0) return errno;
  counters = LineCounters{.cts = c.cts, .dsr = c.dsr, .rng = c.rng, .dcd = c.dcd,
                          .frame = c.frame, .overrun = c.overrun, .parity = c.parity,
                          .brk = c.brk, .buf_overrun = c.buf_overrun};
  return 0;
}

int WaitModemChange(int fd) {
  return Result(::ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG));
}

int SetRs485(int fd, bool on) {
  serial_rs485 rs485{};
  if (::ioctl(fd, TIOCGRS485, &rs485) != 0) return errno;
  if (on) {
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~SER_RS485_RTS_AFTER_SEND;
  } else {
    rs485.flags &= ~SER_RS485_ENABLED;
  }
  if (::ioctl(fd, TIOCSRS485, &rs485) != 0) return errno;
  // A port without the mode may take the call and clear the flag: it did not take it.
  if (on && (::ioctl(fd, TIOCGRS485, &rs485) != 0 || !(rs485.flags & SER_RS485_ENABLED))) {
    return EOPNOTSUPP;
  }
  return 0;
}

int InputWaiting(int fd, std::uint32_t& count) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) != 0) return errno;
  count = n > 0 ? static_cast<std::uint32_t>(n) : 0;
  return 0;
}

int OutputWaiting(int fd, std::uint32_t& count) {
  int n = 0;
  if (::ioctl(fd, TIOCOUTQ, &n) != 0) return errno;
  count = n > 0 ? static_cast<std::uint32_t>(n) : 0;
  return 0;
}

int Flush(int fd, bool input, bool output) {
  if (!input && !output) return 0;
  const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  return Result(::ioctl(fd, TCFLSH, which));
}

int SetExclusive(int fd, bool on) { return Result(::ioctl(fd, on ? TIOCEXCL : TIOCNXCL)); }

int SuspendOutput(int fd) { return Result(::ioctl(fd, TCXONC, TCOOFF)); }

int GetUartClock(int fd, UartClock& clock) {
  serial_struct info{};
  if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return errno;
  clock = UartClock{info.type, static_cast<std::uint32_t>(std::max(info.baud_base, 0)),
                    static_cast<std::uint32_t>(info.flags),
                    static_cast<std::uint32_t>(std::max(info.xmit_fifo_size, 0))};
  return 0;
}

int TransmitterEmpty(int fd, bool& empty) {
  unsigned int lsr = 0;
  if (::ioctl(fd, TIOCSERGETLSR, &lsr) != 0) return errno;
  empty = (lsr & TIOCSER_TEMT) != 0;
  return 0;
}

}  // namespace serial::platform::posix::tty
