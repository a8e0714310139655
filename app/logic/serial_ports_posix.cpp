#include "app/logic/serial_ports.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "serial/platform/posix/device_name.h"

namespace rtutest {
namespace {

// Entries of folder whose file name starts with prefix; errors give nothing. Numbered
// names sort by number (ttyS2 before ttyS10), which shorter-first gives within a prefix.
std::vector<std::string> Entries(const std::filesystem::path& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(prefix)) names.push_back(it->path().string());
  }
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    if (!prefix.empty() && a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
  return names;
}

}  // namespace

QList<SerialPortInfo> SerialPorts(const std::filesystem::path& dev_root) {
  QList<SerialPortInfo> result;
  const std::pair<std::filesystem::path, std::string> groups[] = {
      {dev_root / "serial" / "by-id", ""},
      {dev_root, "ttyUSB"},
      {dev_root, "ttyACM"},
      {dev_root, "ttyS"},
  };
  for (const auto& [folder, prefix] : groups) {
    for (const std::string& name : Entries(folder, prefix)) result.append({QString::fromStdString(name), {}});
  }
  return result;
}

QStringList SerialDeviceNames(const std::filesystem::path& dev_root) {
  QStringList names;
  for (const SerialPortInfo& port : SerialPorts(dev_root)) names << port.name;
  return names;
}

std::string DeviceFileFor(const QString& typed) {
  const std::string name = typed.toStdString();
  const auto path = serial::platform::posix::DevicePath("\\\\.\\" + name);
  const auto* file = std::get_if<std::string>(&path);
  return file != nullptr ? *file : name;
}

QString OwnerGroup(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  const long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096U);
  group entry{};
  group* found = nullptr;
  while (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1U << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  return found != nullptr ? QString::fromLocal8Bit(found->gr_name) : QString();
}

}  // namespace rtutest
