#include "app/open_failure_facts.h"

#include <string>

#include "app/logic/serial_ports.h"

namespace rtutest {

OpenFailure GatherOpenFailure(OpenStep step, const serial::TSystemError& error, const QString& name,
                              const QString& baud, const QString& format) {
  const std::string file = DeviceFileFor(name);
  return OpenFailure{step,
                     error.code,
                     QString::fromLocal8Bit(error.text),
                     QString::fromStdString(file),
                     OwnerGroup(file),
                     SerialDeviceNames(),
                     baud,
                     format,
                     IsPortWithoutUart(file)};
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
