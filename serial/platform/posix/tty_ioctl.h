#pragma once
// The terminal ioctls the backend uses, each returning 0 or the errno. Kept apart because
// the kernel's termios2 header cannot share a translation unit with <termios.h>.
#include <cstdint>

#include "serial/platform/posix/line_events.h"
#include "serial/platform/posix/termios_image.h"
#include "serial/platform/posix/uart_divisor.h"

namespace serial::platform::posix::tty {

int GetTermios(int fd, TermiosImage& image);  // TCGETS2: the real rate, also arbitrary ones
int SetTermios(int fd, const TermiosImage& image);
int SetModemLine(int fd, int tiocm_bit, bool on);  // TIOCMBIS / TIOCMBIC
int GetModemLines(int fd, int& tiocm_bits);
int GetCounters(int fd, LineCounters& counters);
// TIOCMIWAIT on CTS, DSR, CD and RI: blocks until one of them changes or a signal comes.
int WaitModemChange(int fd);
// The driver's RS-485 mode, in which it raises RTS while sending and drops it after.
int SetRs485(int fd, bool on);
int InputWaiting(int fd, std::uint32_t& count);   // FIONREAD
int OutputWaiting(int fd, std::uint32_t& count);  // TIOCOUTQ
int Flush(int fd, bool input, bool output);
int SetExclusive(int fd, bool on);  // TIOCEXCL / TIOCNXCL
int SuspendOutput(int fd);          // TCXONC TCOOFF
int GetUartClock(int fd, UartClock& clock);  // TIOCGSERIAL
int TransmitterEmpty(int fd, bool& empty);    // TIOCSERGETLSR: the UART's shift register

// The bits SetModemLine takes.
extern const int kDtr;
extern const int kRts;

}  // namespace serial::platform::posix::tty
