#pragma once
// Serial devices present on this machine, offered as completions of the port name.
#include <filesystem>

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

}  // namespace rtutest
