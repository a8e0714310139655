#pragma once
// The module's end of a serial line: the master side of a new pseudo-terminal, or a real
// serial device opened by path. Either way raw 8N1 at the given baud rate, non-blocking.
#include <optional>
#include <string>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/unique_fd.h"

namespace sim {

// termios speed constant for a baud rate, if the system has one.
std::optional<unsigned> BaudConstant(int baud);

class Line {
 public:
  // Throws std::system_error when the system refuses.
  static Line OpenPseudoTerminal(int baud);
  static Line OpenDevice(const std::string& path, int baud);

  int Fd() const noexcept { return fd_.Get(); }
  // The path a client opens: the pty's slave (/dev/pts/N) or the device itself.
  const std::string& Path() const noexcept { return path_; }

  // Readable when a client has closed the pty's slave; -1 for a device.
  int CloseWatchFd() const noexcept { return close_watch_.Get(); }
  // Consumes close notifications and lifts an exclusive mode (TIOCEXCL) the client left:
  // on a real port exclusivity ends with the last close, but our own slave descriptor
  // keeps the terminal alive, so a non-root client could never open it again.
  void OnClientClosed();

  // Bytes written but not yet taken by the other side: still unread in the pty, or not yet
  // sent by the device.
  std::size_t UndeliveredBytes() const;

  // Reads what is waiting. Empty optional: the line is gone (hang-up, removed adapter).
  std::optional<modbus::ByteString> ReadAvailable();
  // Writes what the line takes now; a full buffer drops the rest, as a wire would.
  // Returns the bytes dropped.
  std::size_t Write(modbus::ByteView bytes);

 private:
  Line(UniqueFd fd, UniqueFd keep_slave, std::string path);
  void WatchCloses();

  UniqueFd fd_;
  // One descriptor of the pty's slave held open by the module itself. Without it, the
  // master reports a hang-up (POLLHUP, EIO) from the moment the last client closes until
  // one opens it again, so a poll on it would spin and a client's close would look like
  // the module going away. Holding it also keeps the raw settings between clients.
  UniqueFd keep_slave_;
  UniqueFd close_watch_;
  std::string path_;
};

}  // namespace sim
