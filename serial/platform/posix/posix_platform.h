#pragma once
// The Linux platform: devices through termios, errno texts, a steady millisecond clock.
#include "serial/platform/serial_device.h"

namespace serial::platform::posix {

class PosixPlatform : public Platform {
 public:
  OpenResult CreateFile(const std::string& path) override;
  std::unique_ptr<StopEvent> CreateStopEvent() override;
  std::string ErrorText(int error) const override;
  // Linux has no NT family; it reports NT 4.0 so that the 4096-byte queue bound applies,
  // matching the kernel's own 4096-byte tty buffer.
  OsVersion GetVersion() const override;
  std::uint32_t GetTickCount() const override;
  // The batch policy: the same share of the processor, no preemption on wake-up.
  void PrepareEventThread() override;
};

}  // namespace serial::platform::posix
