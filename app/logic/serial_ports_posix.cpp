#include "app/logic/serial_ports.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "serial/platform/posix/device_name.h"

namespace rtutest {
namespace fs = std::filesystem;
namespace {

// Names sort by their prefix, then by number (ttyS2 before ttyS10).
bool NumberOrder(const std::string& a, const std::string& b) {
  const auto digits = [](const std::string& s) { return s.find_first_of("0123456789"); };
  const std::string pa = a.substr(0, digits(a)), pb = b.substr(0, digits(b));
  if (pa != pb) return pa < pb;
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// File names in folder; errors give nothing.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

// The first line of a sysfs attribute; empty when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

// The group a port's name falls in: USB adapters, ACM, the serial core's ttyS, the rest.
int GroupOf(const std::string& name) {
  const char* const prefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
  for (int i = 0; i < 3; ++i) {
    const std::string p = prefixes[i];
    if (name.starts_with(p) && name.size() > p.size() &&
        std::isdigit(static_cast<unsigned char>(name[p.size()]))) {
      return i;
    }
  }
  return 3;
}

// A tty of the class folder with a device behind it; ports of the serial core (those with
// a "type") that found no UART (PORT_UNKNOWN, 0) have none that answers.
bool IsRealPort(const fs::path& class_entry) {
  std::error_code ec;
  if (!fs::exists(class_entry / "device", ec)) return false;
  return !fs::exists(class_entry / "type", ec) || Attribute(class_entry / "type") != "0";
}

// Manufacturer, product and serial number of the USB device the port belongs to: the
// nearest folder above the port's device that has a vendor id.
QString Description(const fs::path& class_entry) {
  std::error_code ec;
  fs::path at = fs::canonical(class_entry / "device", ec);
  if (ec) return {};
  for (; at.has_relative_path(); at = at.parent_path()) {
    if (!fs::exists(at / "idVendor", ec)) continue;
    QStringList parts;
    for (const char* field : {"manufacturer", "product", "serial"}) {
      const std::string value = Attribute(at / field);
      if (!value.empty()) parts << QString::fromStdString(value);
    }
    return parts.join(QLatin1Char(' '));
  }
  return {};
}

// Every node of the groups, with no way to tell real ports from ghosts.
QList<SerialPortInfo> NodesOnly(const fs::path& dev_root) {
  std::vector<std::string> names;
  for (const std::string& name : Names(dev_root)) {
    if (GroupOf(name) < 3) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return GroupOf(a) != GroupOf(b) ? GroupOf(a) < GroupOf(b) : NumberOrder(a, b);
  });
  QList<SerialPortInfo> ports;
  for (const std::string& name : names) ports.push_back({QString::fromStdString((dev_root / name).string()), {}});
  return ports;
}

}  // namespace

QList<SerialPortInfo> SerialPortsUnder(const fs::path& dev_root, const fs::path& sys_root) {
  const fs::path tty_class = sys_root / "class" / "tty";
  std::error_code ec;
  const bool sysfs = fs::is_directory(tty_class, ec);
  // Stable names first, described by the port they lead to.
  QList<SerialPortInfo> ports;
  std::vector<std::string> ids = Names(dev_root / "serial" / "by-id");
  std::sort(ids.begin(), ids.end());
  for (const std::string& id : ids) {
    const fs::path link = dev_root / "serial" / "by-id" / id;
    const fs::path target = fs::canonical(link, ec);
    if (ec) continue;  // a link left behind by a removed adapter
    const fs::path entry = tty_class / target.filename();
    if (sysfs && !IsRealPort(entry)) continue;
    ports.push_back({QString::fromStdString(link.string()), sysfs ? Description(entry) : QString()});
  }
  if (!sysfs) return ports + NodesOnly(dev_root);
  std::vector<std::string> names;
  for (const std::string& name : Names(tty_class)) {
    if (IsRealPort(tty_class / name) && fs::exists(dev_root / name, ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return GroupOf(a) != GroupOf(b) ? GroupOf(a) < GroupOf(b) : NumberOrder(a, b);
  });
  for (const std::string& name : names) {
    ports.push_back({QString::fromStdString((dev_root / name).string()), Description(tty_class / name)});
  }
  return ports;
}

QList<SerialPortInfo> SerialPorts(const fs::path& dev_root) { return SerialPortsUnder(dev_root, "/sys"); }

QStringList SerialDeviceNames(const fs::path& dev_root) {
  QStringList names;
  for (const SerialPortInfo& port : SerialPorts(dev_root)) names << port.name;
  return names;
}

bool IsPortWithoutUart(const fs::path& path, const fs::path& sys_root) {
  std::error_code ec;
  const fs::path device = fs::canonical(path, ec);
  if (ec) return false;
  const fs::path entry = sys_root / "class" / "tty" / device.filename();
  return fs::exists(entry / "device", ec) && fs::exists(entry / "type", ec) && !IsRealPort(entry);
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
