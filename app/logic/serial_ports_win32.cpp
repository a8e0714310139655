#include "app/logic/serial_ports.h"

#include "app/logic/com_port_names.h"

namespace rtutest {

QList<SerialPortInfo> SerialPorts() {
  QList<SerialPortInfo> result;
  for (const std::string& name : ComPortNames()) result.append({QString::fromStdString(name), {}});
  return result;
}

QStringList SerialDeviceNames() {
  QStringList names;
  for (const SerialPortInfo& port : SerialPorts()) names << port.name;
  return names;
}

QString OwnerGroup(const std::filesystem::path&) { return {}; }

bool IsPortWithoutUart(const std::filesystem::path&, const std::filesystem::path&) { return false; }

std::string DeviceFileFor(const QString& typed) { return typed.toStdString(); }

}  // namespace rtutest
