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
// Paths under dev_root: serial/by-id/* first (stable names of USB adapters), then
// ttyUSB*, ttyACM* and ttyS*, each group sorted. Missing folders give nothing.
QList<SerialPortInfo> SerialPorts(const std::filesystem::path& dev_root = "/dev");
// The names of SerialPorts(dev_root).
QStringList SerialDeviceNames(const std::filesystem::path& dev_root = "/dev");
#endif

// The name of the group that owns the file at path; empty when it cannot be told (and on
// Windows, where a COM port has no owning group).
QString OwnerGroup(const std::filesystem::path& path);

// The file the component opens for a typed port name ("COM1" stands for /dev/ttyS0 on
// Linux); the name itself where no file is looked at (a refused name, or Windows).
std::string DeviceFileFor(const QString& typed);

}  // namespace rtutest
