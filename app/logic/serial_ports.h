#pragma once
// Serial devices present on this machine, offered as completions of the port name.
#include <filesystem>

#include <QStringList>

namespace rtutest {

// Paths under dev_root: serial/by-id/* first (stable names of USB adapters), then
// ttyUSB*, ttyACM* and ttyS*, each group sorted. Missing folders give nothing.
QStringList SerialDeviceNames(const std::filesystem::path& dev_root = "/dev");

}  // namespace rtutest
