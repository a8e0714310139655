#include "app/open_failure_facts.h"

#include <string>

#include "app/logic/serial_ports.h"

namespace rtutest {
namespace {

// The codes a refusal carries on this system: GetLastError's or errno.
#ifdef _WIN32
constexpr ErrorCodes kSystemCodes = ErrorCodes::Windows;
#else
constexpr ErrorCodes kSystemCodes = ErrorCodes::Errno;
#endif

}  // namespace

OpenFailure GatherOpenFailure(OpenStep step, const serial::TSystemError& error, const QString& name,
                              const QString& baud, const QString& format) {
  const std::string file = DeviceFileFor(name);
  return OpenFailure{step,
                     error.code,
                     QString::fromStdString(error.text),  // UTF-8 on every platform
                     QString::fromStdString(file),
                     OwnerGroup(file),
                     SerialDeviceNames(),
                     baud,
                     format,
                     kSystemCodes,
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
