#pragma once
// Serial devices present on this machine: offered as completions of the port name, and
// named when an opening fails.
#include <filesystem>
#include <string>

#include <QString>
#include <QStringList>

namespace rtutest {

#ifdef _WIN32
// The COM ports the registry lists (HARDWARE\DEVICEMAP\SERIALCOMM), COM2 before COM10.
QStringList SerialDeviceNames();
#else
// Paths under dev_root: serial/by-id/* first (stable names of USB adapters), then
// ttyUSB*, ttyACM* and ttyS*, each group sorted. Missing folders give nothing.
QStringList SerialDeviceNames(const std::filesystem::path& dev_root = "/dev");
#endif

// The name of the group that owns the file at path; empty when it cannot be told (and on
// Windows, where a COM port has no owning group).
QString OwnerGroup(const std::filesystem::path& path);

// The file the component opens for a typed port name ("COM1" stands for /dev/ttyS0 on
// Linux); the name itself where no file is looked at (a refused name, or Windows).
std::string DeviceFileFor(const QString& typed);

}  // namespace rtutest
