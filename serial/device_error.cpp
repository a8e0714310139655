#include "serial/device_error.h"

#include <string>

namespace serial {

EDeviceError::EDeviceError(const std::string& message, std::int32_t code)
    : std::runtime_error(message), code_(code) {}

std::string EDeviceError::MessageFor(std::int32_t code) {
  switch (code) {
    case DEVICE_NOT_OPENED: return "Device not opened.";
    case DEVICE_ALREADY_OPENED: return "Device is allready opened.";
    case DEVICE_UPDATE_DCB: return "Unable to update device control block.";
    case DEVICE_SEND_LOCKED: return "Device locked. Cannot perform send operations.";
    case DEVICE_READ_LOCKED: return "Device locked. Cannot perform read operations.";
    case DEVICE_UPDATE_BUFFERS: return "Unable to update IO buffers.";
    case DEVICE_UPDATE_TIMEOUTS: return "Unable to update Timeouts.";
    case DEVICE_READ_FAILED: return "Unable to read from port.";
    default: return "Device error " + std::to_string(code) + ".";
  }
}

EDeviceError EDeviceError::Fixed(std::int32_t code) { return EDeviceError(MessageFor(code), code); }

EDeviceError EDeviceError::WithSystemError(std::int32_t code, int system_error,
                                           const std::string& system_text) {
  // The "%s (Win32 error %d: %s)" form, whatever the operating system.
  std::string message = MessageFor(code) + " (Win32 error " + std::to_string(system_error) +
                        ": " + TrimSystemText(system_text) + ")";
  return EDeviceError(message, code);
}

std::string TrimSystemText(std::string text) {
  // System texts often end in ".\r\n"; the message adds its own closing parenthesis.
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    const bool blank_or_control = last <= ' ' || last == 0x7F;
    if (!blank_or_control && last != '.') break;
    text.pop_back();
  }
  return text;
}

}  // namespace serial
