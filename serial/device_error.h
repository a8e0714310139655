#pragma once
// The failure the port component raises: a message and the component's own error number
// (never the operating system's code).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace serial {

// The component's error numbers. 8 and 9 are not assigned.
enum DeviceErrorCode : std::int32_t {
  DEVICE_NOT_OPENED = 1,
  DEVICE_ALREADY_OPENED = 2,
  DEVICE_UPDATE_DCB = 3,
  DEVICE_SEND_LOCKED = 4,
  DEVICE_READ_LOCKED = 5,
  DEVICE_UPDATE_BUFFERS = 6,
  DEVICE_UPDATE_TIMEOUTS = 7,
  DEVICE_READ_FAILED = 10,
};

class EDeviceError : public std::runtime_error {
 public:
  EDeviceError(const std::string& message, std::int32_t code);
  std::int32_t ErrorCode() const noexcept { return code_; }

  // The fixed message of a code ("Device not opened." ...).
  static std::string MessageFor(std::int32_t code);
  // First form: the fixed message of code.
  static EDeviceError Fixed(std::int32_t code);
  // Second form: "%s (Win32 error %d: %s)" with the fixed message, the system's error code
  // and its text stripped of trailing blanks, control characters and full stops.
  static EDeviceError WithSystemError(std::int32_t code, int system_error,
                                      const std::string& system_text);

 private:
  std::int32_t code_;
};

// Strips trailing blanks, control characters and full stops from a system error text.
std::string TrimSystemText(std::string text);

}  // namespace serial
