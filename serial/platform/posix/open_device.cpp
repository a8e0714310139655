#include "serial/platform/posix/open_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <variant>

#include "serial/platform/posix/device_name.h"
#include "serial/platform/posix/posix_device.h"
#include "serial/platform/posix/serial_line.h"
#include "serial/platform/posix/uart_divisor.h"
#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {
namespace {

// Another process may have swapped the node meanwhile; the descriptor itself must be the
// terminal that was classified. TIOCEXCL keeps out other opens but root passes it, so an
// advisory lock refuses a second open of ours as well.
int MakeExclusive(int fd, const SerialLine& line) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISCHR(st.st_mode) || st.st_rdev != line.rdev || !::isatty(fd)) return ENOTTY;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  return tty::SetExclusive(fd, true);
}

// Raw from the first moment, whatever the device had: rate and frame stay until the
// block is set. found gets the settings to restore on closing.
int MakeRawLine(int fd, TermiosImage& found, DCB& initial) {
  if (int error = tty::GetTermios(fd, found)) return error;
  TermiosImage image = found;
  MakeRaw(image);
  if (int error = tty::SetTermios(fd, image)) return error;
  // Linux raises DTR and RTS when a port opens.
  initial = DCB{.DCBlength = kDcbLength, .fBinary = 1, .fDtrControl = DTR_CONTROL_ENABLE,
                .fRtsControl = RTS_CONTROL_ENABLE};
  LoadDcb(image, initial);
  return 0;
}

}  // namespace

OpenResult OpenDevice(const std::string& name) {
  const auto path = DevicePath(name);
  if (const int* refused = std::get_if<int>(&path)) return {nullptr, {*refused}};
  // Classified before any read-write open: opening a FIFO could block, a file would be
  // written to, and a terminal that is not a line would be left raw and exclusive.
  const auto found_line = FindSerialLine(std::get<std::string>(path));
  if (const int* refused = std::get_if<int>(&found_line)) return {nullptr, {*refused}};
  const SerialLine& line = std::get<SerialLine>(found_line);
  UniqueFd fd(::open(line.path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) return {nullptr, {errno}};
  TermiosImage found;
  DCB initial;
  if (const int error = MakeExclusive(fd.Get(), line)) return {nullptr, {error}};
  if (const int error = MakeRawLine(fd.Get(), found, initial)) {
    tty::SetExclusive(fd.Get(), false);
    return {nullptr, {error}};
  }
  return {.device = std::make_unique<PosixDevice>(std::move(fd), line.kind, initial, found,
                                                  DividesPlainly(line.driver))};
}

}  // namespace serial::platform::posix
