#pragma once
// The Windows platform: devices through the communications functions, the system's error
// texts, its version and its millisecond tick count.
#include "serial/platform/serial_device.h"

namespace serial::platform::win32 {

class Win32Platform : public Platform {
 public:
  // CreateFileW(path as UTF-16, read | write, share mode 0, OPEN_EXISTING, overlapped).
  OpenResult CreateFile(const std::string& path) override;
  std::unique_ptr<StopEvent> CreateStopEvent() override;
  // FormatMessageW's text on one line, as the system words it, in UTF-8.
  std::string ErrorText(int error) const override;
  // GetVersionExA.
  OsVersion GetVersion() const override;
  std::uint32_t GetTickCount() const override;
};

}  // namespace serial::platform::win32
