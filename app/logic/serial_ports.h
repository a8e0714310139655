#pragma once
// Serial devices present on this machine: offered as completions of the port name, and
// named when an opening fails.
#include <filesystem>
#include <string>

#include <QList>
#include <QString>
#include <QStringList>

namespace rtutest {

struct SerialPortInfo {
  QString name;         // what the port field takes
  QString description;  // manufacturer, product, serial number where known; else empty
};

#ifdef _WIN32
// The COM ports the registry lists (HARDWARE\DEVICEMAP\SERIALCOMM), COM2 before COM10.
QList<SerialPortInfo> SerialPorts();
// The names of SerialPorts().
QStringList SerialDeviceNames();
#else
// The ports that exist, as paths under dev_root: serial/by-id/* first (stable names of USB
// adapters), then ttyUSB*, ttyACM*, ttyS* and the other ports with a device behind them
// (platform UARTs), each group in number order. Ports the serial core registered with no
// UART found (type PORT_UNKNOWN, as most of ttyS0 to ttyS31 on a PC) are left out. USB
// ports carry the device's manufacturer, product and serial number.
QList<SerialPortInfo> SerialPorts(const std::filesystem::path& dev_root = "/dev");

// The same with the kernel's device tree (sysfs) at sys_root. Where sys_root has no tty
// class (sysfs not mounted), every node of the groups above is listed, undescribed.
QList<SerialPortInfo> SerialPortsUnder(const std::filesystem::path& dev_root,
                                       const std::filesystem::path& sys_root);

// The names of SerialPorts(dev_root).
QStringList SerialDeviceNames(const std::filesystem::path& dev_root = "/dev");
#endif

// Whether the file at path is a serial port that the kernel registered with no UART
// behind it (an opening succeeds, every setting fails with EIO). False where unknown.
bool IsPortWithoutUart(const std::filesystem::path& path,
                       const std::filesystem::path& sys_root = "/sys");

// The name of the group that owns the file at path; empty when it cannot be told (and on
// Windows, where a COM port has no owning group).
QString OwnerGroup(const std::filesystem::path& path);

// The file the component opens for a typed port name ("COM1" stands for /dev/ttyS0 on
// Linux); the name itself where no file is looked at (a refused name, or Windows).
std::string DeviceFileFor(const QString& typed);

}  // namespace rtutest
