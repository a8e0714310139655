#pragma once
// Windows: the COM ports the system knows, from the registry (no Qt).
#include <string>
#include <vector>

namespace rtutest {

// The values of HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (one per port driver
// instance, e.g. "\Device\Serial0" = "COM1"), in number order: COM2 before COM10, names
// that are not COMn after them in text order. Nothing when the key is absent.
std::vector<std::string> ComPortNames();

// The order of ComPortNames.
void SortComPortNames(std::vector<std::string>& names);

}  // namespace rtutest
