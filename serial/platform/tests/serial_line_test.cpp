// Only serial lines are opened: the names a user might type that are terminals but not
// lines, or lines someone's session uses, are refused before any read-write open and left
// as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "serial/platform/posix/serial_line.h"
#include "serial/platform/posix/uart_divisor.h"
#include "serial/platform/serial_device.h"
#include "serial/platform/testing/pty_pair.h"

namespace serial::platform::posix {
namespace {

using testing::PtyPair;

int OpenError(const std::string& path) {
  const OpenResult opened = DefaultPlatform()->CreateFile("\\\\.\\" + path);
  return opened.device ? 0 : opened.error.code;
}

// The terminal's settings before and after a refused open: a refusal must not touch it.
tcflag_t LocalFlags(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  const bool ok = fd >= 0 && ::tcgetattr(fd, &t) == 0;
  if (fd >= 0) ::close(fd);
  return ok ? t.c_lflag : ~tcflag_t{0};
}

void MakeCooked(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  termios t{};
  ASSERT_EQ(::tcgetattr(fd, &t), 0);
  t.c_lflag |= ICANON | ECHO | ISIG;
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
  ::close(fd);
}

// Runs check while the pty slave is this process's standard input.
void AsStandardInput(const PtyPair& pty, const std::function<void()>& check) {
  const int saved = ::dup(0);
  ASSERT_GE(saved, 0);
  const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(slave, 0);
  ASSERT_EQ(::dup2(slave, 0), 0);
  ::close(slave);
  check();
  ::dup2(saved, 0);
  ::close(saved);
}

// A child in a session of its own whose controlling terminal is the pty slave, as a login
// shell's pts is; it lives until the returned pipe end is closed.
pid_t SessionOn(const PtyPair& pty, int& hold) {
  int ready[2], end[2];
  if (::pipe(ready) != 0 || ::pipe(end) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(end[1]);
    ::close(ready[0]);
    ::setsid();
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR);  // becomes the session's tty
    char c = fd >= 0 ? 'y' : 'n';
    [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
    [[maybe_unused]] auto r = ::read(end[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(end[0]);
  char c = 0;
  const bool ok = ::read(ready[0], &c, 1) == 1 && c == 'y';
  ::close(ready[0]);
  hold = end[1];
  return ok ? child : -1;
}

TEST(SerialLine, TerminalsThatAreNotLinesAreRefusedAndLeftAlone) {
  for (const char* path : {"/dev/tty", "/dev/ptmx"}) {
    EXPECT_EQ(OpenError(path), ENOTTY) << path;
  }
  PtyPair pty;
  MakeCooked(pty.SlavePath());
  const tcflag_t cooked = LocalFlags(pty.SlavePath());
  AsStandardInput(pty, [&] {
    for (const char* path : {"/dev/stdin", "/dev/fd/0", "/proc/self/fd/0"}) {
      EXPECT_EQ(OpenError(path), ENOTTY) << path;
    }
  });
  int hold = -1;
  const pid_t session = SessionOn(pty, hold);
  ASSERT_GT(session, 0) << "no session could take the pty: " << std::strerror(errno);
  EXPECT_EQ(OpenError(pty.SlavePath()), ENOTTY) << "a session's terminal";
  ::close(hold);
  ASSERT_EQ(::waitpid(session, nullptr, 0), session);
  EXPECT_EQ(LocalFlags(pty.SlavePath()), cooked) << "a refused terminal was changed";
}

TEST(SerialLine, PtySlavesOpenByPathAndThroughLinks) {
  PtyPair pty;
  const auto link = std::filesystem::temp_directory_path() /
                    ("serial_line_" + std::to_string(::getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty.SlavePath(), link);
  for (const std::string& path : {pty.SlavePath(), link.string()}) {
    EXPECT_EQ(OpenError(path), 0) << path;
    const auto line = FindSerialLine(path);
    ASSERT_TRUE(std::holds_alternative<SerialLine>(line)) << path;
    EXPECT_EQ(std::get<SerialLine>(line).path, pty.SlavePath());
    EXPECT_EQ(std::get<SerialLine>(line).kind, LineKind::PseudoTerminal);
  }
  std::filesystem::remove(link);
}

TEST(SerialLine, ClassifiedByWhatTheKernelTellsOfTheNode) {
  struct Case {
    const char* what;
    DeviceFacts facts;
    std::variant<LineKind, int> expected;
  };
  const Case cases[] = {
      {"UART", {.character = true, .rdev = makedev(4, 65), .has_device = true}, LineKind::Port},
      {"USB adapter", {.character = true, .rdev = makedev(188, 0), .has_device = true},
       LineKind::Port},
      {"pts", {.character = true, .rdev = makedev(136, 3)}, LineKind::PseudoTerminal},
      {"virtual terminal", {.character = true, .rdev = makedev(4, 1)}, ENOTTY},
      {"console", {.character = true, .rdev = makedev(5, 1)}, ENOTTY},
      {"serial console in use",
       {.character = true, .rdev = makedev(4, 64), .has_device = true, .session_terminal = true},
       ENOTTY},
      {"login pts", {.character = true, .rdev = makedev(136, 0), .session_terminal = true},
       ENOTTY},
      {"directory", {.directory = true}, EISDIR},
      {"file", {}, ENOTTY},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyDevice(c.facts), c.expected) << c.what;
}

// The 16550 divisor model holds only where the port's driver (the link in sysfs) is known
// to program a whole divisor: 8250_omap reports PORT_8250 and 8250_dw PORT_16550A, but they
// divide otherwise, and the rate they read back is the one they run.
TEST(SerialLine, TheDivisorModelOnlyForDriversThatDividePlainly) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("sysfs-" + std::to_string(::getpid()));
  const struct {
    const char* tty;
    const char* driver;  // as the bus names it; null for none
    bool plain;
  } ports[] = {{"ttyS0", "serial8250", true},   {"ttyS1", "serial", true},
               {"ttyS2", "omap8250", false},    {"ttyS3", "dw-apb-uart", false},
               {"ttyUSB0", "ftdi_sio", false},  {"ttyS4", nullptr, false}};
  for (const auto& port : ports) {
    const fs::path device = root / "devices" / port.tty;
    fs::create_directories(device);
    fs::create_directories(root / "class/tty" / port.tty);
    fs::create_directory_symlink(device, root / "class/tty" / port.tty / "device");
    if (port.driver == nullptr) continue;
    const fs::path driver = root / "bus/platform/drivers" / port.driver;
    fs::create_directories(driver);
    fs::create_directory_symlink(driver, device / "driver");
  }
  for (const auto& port : ports) {
    const std::string driver = TtyDriver(root.string(), port.tty);
    EXPECT_EQ(driver, port.driver ? port.driver : "") << port.tty;
    EXPECT_EQ(DividesPlainly(driver), port.plain) << port.tty;
  }
  EXPECT_EQ(TtyDriver(root.string(), "ttyS9"), "");
  fs::remove_all(root);
}

}  // namespace
}  // namespace serial::platform::posix
