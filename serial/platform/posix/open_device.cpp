#include "serial/platform/posix/open_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <variant>

#include "serial/platform/posix/device_name.h"
#include "serial/platform/posix/posix_device.h"
#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/tty_ioctl.h"

namespace serial::platform::posix {
namespace {

// Checked before open(): opening a FIFO could block and a file would be written to.
int CheckCharacterDevice(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  return S_ISCHR(st.st_mode) ? 0 : ENOTTY;
}

// Another process may have swapped the path meanwhile; the descriptor itself must be a
// terminal. TIOCEXCL keeps out other opens but root passes it, so an advisory lock
// refuses a second open of ours as well.
int MakeExclusive(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISCHR(st.st_mode) || !::isatty(fd)) return ENOTTY;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  return tty::SetExclusive(fd, true);
}

// Raw, receiver on, no hang-up on close; rate and frame stay until the block is set.
int MakeRawLine(int fd, DCB& initial) {
  TermiosImage image;
  if (int error = tty::GetTermios(fd, image)) return error;
  MakeRaw(image);
  if (int error = tty::SetTermios(fd, image)) return error;
  // Linux raises DTR and RTS when a port opens.
  initial = DCB{.DCBlength = kDcbLength, .fBinary = 1, .fDtrControl = DTR_CONTROL_ENABLE,
                .fRtsControl = RTS_CONTROL_ENABLE};
  LoadDcb(image, initial);
  return 0;
}

}  // namespace

std::unique_ptr<SerialDevice> OpenDevice(const std::string& name, int& error) {
  const auto path = DevicePath(name);
  if (const int* refused = std::get_if<int>(&path)) {
    error = *refused;
    return nullptr;
  }
  const std::string& file = std::get<std::string>(path);
  if ((error = CheckCharacterDevice(file)) != 0) return nullptr;
  UniqueFd fd(::open(file.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    error = errno;
    return nullptr;
  }
  DCB initial;
  if ((error = MakeExclusive(fd.Get())) != 0) return nullptr;
  if ((error = MakeRawLine(fd.Get(), initial)) != 0) {
    tty::SetExclusive(fd.Get(), false);
    return nullptr;
  }
  return std::make_unique<PosixDevice>(std::move(fd), initial);
}

}  // namespace serial::platform::posix
