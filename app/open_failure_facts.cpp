#include "app/open_failure_facts.h"

#include <string>
#include <variant>

#include "app/logic/serial_ports.h"
#include "serial/platform/posix/device_name.h"

namespace rtutest {
namespace {

// The file the component opens for a name ("COM1" stands for /dev/ttyS0); the name itself
// when the name is refused before any file is looked at.
std::string DeviceFile(const QString& name) {
  const std::string typed = name.toStdString();
  const auto path = serial::platform::posix::DevicePath("\\\\.\\" + typed);
  const auto* file = std::get_if<std::string>(&path);
  return file != nullptr ? *file : typed;
}

}  // namespace

OpenFailure GatherOpenFailure(OpenStep step, const serial::TSystemError& error, const QString& name,
                              const QString& baud, const QString& format) {
  const std::string file = DeviceFile(name);
  return OpenFailure{step,
                     error.code,
                     QString::fromLocal8Bit(error.text),
                     QString::fromStdString(file),
                     OwnerGroup(file),
                     SerialDeviceNames(),
                     baud,
                     format};
}

OpenStep StepOf(const serial::EDeviceError& failure) {
  switch (failure.ErrorCode()) {
    case serial::DEVICE_UPDATE_DCB: return OpenStep::ControlBlock;
    case serial::DEVICE_UPDATE_BUFFERS: return OpenStep::Queues;
    case serial::DEVICE_UPDATE_TIMEOUTS: return OpenStep::Timeouts;
    default: return OpenStep::Open;
  }
}

}  // namespace rtutest
