#pragma once
// Device names as the component forms them ("\\.\" + DeviceName) mapped onto Linux paths.
#include <string>
#include <variant>

namespace serial::platform::posix {

// The path to open, or the errno that refuses the name: an empty name (ENOENT) or one
// with a ".." component (EACCES), which could leave /dev.
//   "\\.\COM3" -> /dev/ttyS2   "\\.\ttyUSB0" -> /dev/ttyUSB0
//   "\\.\serial/by-id/x" -> /dev/serial/by-id/x   "\\.\/tmp/ttyV0" -> /tmp/ttyV0
std::variant<std::string, int> DevicePath(const std::string& name);

}  // namespace serial::platform::posix
