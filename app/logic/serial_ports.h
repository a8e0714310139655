#pragma once
// Serial devices present on this machine: offered as completions of the port name, and
// named when an opening fails.
#include <filesystem>

#include <QString>
#include <QStringList>

namespace rtutest {

// Paths under dev_root: serial/by-id/* first (stable names of USB adapters), then
// ttyUSB*, ttyACM* and ttyS*, each group sorted. Missing folders give nothing.
QStringList SerialDeviceNames(const std::filesystem::path& dev_root = "/dev");

// The name of the group that owns the file at path; empty when it cannot be told.
QString OwnerGroup(const std::filesystem::path& path);

}  // namespace rtutest
