#pragma once
// Opening a terminal device the way the component expects CreateFile to: by name,
// read/write, exclusive, without blocking and without becoming the controlling terminal.
#include <memory>
#include <string>

#include "serial/platform/serial_device.h"

namespace serial::platform::posix {

// name as the component forms it ("\\.\" + DeviceName). Nothing is left open when refused.
OpenResult OpenDevice(const std::string& name);

}  // namespace serial::platform::posix
