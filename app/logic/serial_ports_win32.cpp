#include "app/logic/serial_ports.h"

#include "app/logic/com_port_names.h"

namespace rtutest {

QStringList SerialDeviceNames() {
  QStringList result;
  for (const std::string& name : ComPortNames()) result << QString::fromStdString(name);
  return result;
}

QString OwnerGroup(const std::filesystem::path&) { return {}; }

bool IsPortWithoutUart(const std::filesystem::path&, const std::filesystem::path&) { return false; }

std::string DeviceFileFor(const QString& typed) { return typed.toStdString(); }

}  // namespace rtutest
