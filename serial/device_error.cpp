#include "serial/device_error.h"

#include <string>
#include <string_view>

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
  // System texts often end in ".\r\n", a Chinese one in "。\r\n"; the message adds its own
  // closing parenthesis. The text is UTF-8: the ideographic and the full-width full stop
  // are three bytes each.
  static constexpr std::string_view kWideStops[] = {"\xE3\x80\x82", "\xEF\xBC\x8E"};
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    if (last <= ' ' || last == 0x7F || last == '.') {
      text.pop_back();
      continue;
    }
    bool trimmed = false;
    for (std::string_view stop : kWideStops) {
      if (text.ends_with(stop)) {
        text.resize(text.size() - stop.size());
        trimmed = true;
      }
    }
    if (!trimmed) break;
  }
  return text;
}

}  // namespace serial
