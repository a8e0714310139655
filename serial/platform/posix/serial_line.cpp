#include "serial/platform/posix/serial_line.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace serial::platform::posix {
namespace {

// Unix98 pty slaves (/dev/pts/N) have majors 136 to 143 and no sysfs entry.
constexpr unsigned kPtySlaveFirstMajor = 136;
constexpr unsigned kPtySlaveLastMajor = 143;

bool IsPtySlave(dev_t rdev) {
  const unsigned m = major(rdev);
  return m >= kPtySlaveFirstMajor && m <= kPtySlaveLastMajor;
}

bool HasDevice(dev_t rdev) {
  const std::string link = "/sys/dev/char/" + std::to_string(major(rdev)) + ":" +
                           std::to_string(minor(rdev)) + "/device";
  struct stat st {};
  return ::stat(link.c_str(), &st) == 0;
}

bool IsStandardStream(dev_t rdev) {
  for (int fd = 0; fd <= 2; ++fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) return true;
  }
  return false;
}

// Field 7 of /proc/PID/stat: the process's controlling terminal (0 for none). The
// command name (field 2) may hold blanks and parentheses, so fields count from its end.
dev_t ControllingTerminal(const std::string& stat_path) {
  std::ifstream in(stat_path);
  std::string line;
  if (!std::getline(in, line)) return 0;
  const auto end = line.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(line.substr(end + 1));
  std::string state;
  long long ppid = 0, pgrp = 0, session = 0, tty = 0;
  if (!(fields >> state >> ppid >> pgrp >> session >> tty)) return 0;
  return static_cast<dev_t>(tty);
}

// Some visible process has rdev as its controlling terminal: a login's or this
// program's own terminal.
bool IsSomeonesTerminal(dev_t rdev) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return false;
  while (const dirent* entry = ::readdir(proc.get())) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string stat_path = std::string("/proc/") + entry->d_name + "/stat";
    if (ControllingTerminal(stat_path) == rdev) return true;
  }
  return false;
}

}  // namespace

std::string TtyDriver(const std::string& sysfs_root, const std::string& name) {
  const std::string link = sysfs_root + "/class/tty/" + name + "/device/driver";
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  const std::string path(target, static_cast<std::size_t>(n));
  return path.substr(path.rfind('/') + 1);
}

std::variant<LineKind, int> ClassifyDevice(const DeviceFacts& facts) {
  if (facts.directory) return EISDIR;
  if (!facts.character || facts.session_terminal) return ENOTTY;
  if (IsPtySlave(facts.rdev)) return LineKind::PseudoTerminal;
  return facts.has_device ? std::variant<LineKind, int>(LineKind::Port) : ENOTTY;
}

std::variant<SerialLine, int> FindSerialLine(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return errno;
  struct stat st {};
  if (::stat(resolved, &st) != 0) return errno;
  DeviceFacts facts{.character = S_ISCHR(st.st_mode), .directory = S_ISDIR(st.st_mode),
                    .rdev = st.st_rdev};
  if (facts.character) {
    facts.has_device = HasDevice(st.st_rdev);
    facts.session_terminal = IsStandardStream(st.st_rdev) || IsSomeonesTerminal(st.st_rdev);
  }
  const auto kind = ClassifyDevice(facts);
  if (const int* refused = std::get_if<int>(&kind)) return *refused;
  SerialLine line{resolved, st.st_rdev, std::get<LineKind>(kind), {}};
  if (line.kind == LineKind::Port) {
    const std::string node = resolved;
    line.driver = TtyDriver("/sys", node.substr(node.rfind('/') + 1));
  }
  return line;
}

}  // namespace serial::platform::posix
