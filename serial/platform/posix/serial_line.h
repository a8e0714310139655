#pragma once
// Which character devices are serial lines. Only those are opened: a terminal that is
// not a line (the controlling terminal, a console, a virtual terminal, the pty master)
// or one a session uses (its own or another login's pts) would be left raw and
// exclusive. Everything here is decided without opening the device read-write.
#include <string>
#include <sys/types.h>
#include <variant>

namespace serial::platform::posix {

enum class LineKind {
  Port,            // a tty whose sysfs entry has a device: UART, USB adapter, modem
  PseudoTerminal,  // a pty slave: no line, so no frame of its own
};

// What is known of a device node before it is opened.
struct DeviceFacts {
  bool character = false;
  bool directory = false;
  dev_t rdev = 0;
  bool has_device = false;        // /sys/dev/char/M:m/device exists
  bool session_terminal = false;  // the controlling terminal of a session, or a standard
                                  // stream of this process
};

// The kind of line, or the errno that refuses the device: EISDIR for a directory,
// ENOTTY for anything that is not a serial line.
std::variant<LineKind, int> ClassifyDevice(const DeviceFacts& facts);

struct SerialLine {
  std::string path;  // symlinks resolved: the node that is opened
  dev_t rdev = 0;    // checked again on the open descriptor
  LineKind kind = LineKind::Port;
  std::string driver;  // the port's driver (TtyDriver), empty for a pty
};

// The name of the driver bound to the device behind the tty `name` ("ttyS1"): the link
// <sysfs_root>/class/tty/<name>/device/driver ("serial8250", "ftdi_sio"); empty when there
// is none.
std::string TtyDriver(const std::string& sysfs_root, const std::string& name);

// Resolves path (symlinks such as /dev/serial/by-id/... included) and classifies what it
// names; the errno of the failure otherwise (ENOENT, EACCES, ENOTTY, EISDIR).
std::variant<SerialLine, int> FindSerialLine(const std::string& path);

}  // namespace serial::platform::posix
