#include "serial/platform/posix/posix_platform.h"

#include "serial/platform/posix/open_device.h"
#include "serial/platform/posix/posix_stop_event.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cstring>

namespace serial::platform {
namespace posix {

OpenResult PosixPlatform::CreateFile(const std::string& path) { return OpenDevice(path); }

std::unique_ptr<StopEvent> PosixPlatform::CreateStopEvent() {
  return std::make_unique<PosixStopEvent>();
}

std::string PosixPlatform::ErrorText(int error) const { return std::strerror(error); }

OsVersion PosixPlatform::GetVersion() const {
  return OsVersion{.dwPlatformId = VER_PLATFORM_WIN32_NT, .dwMajorVersion = 4};
}

std::uint32_t PosixPlatform::GetTickCount() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// A woken thread that preempts the running one costs that thread two context switches; on
// two cores that is the owner's thread after nearly every hand-over. Failing is harmless:
// the thread then keeps the ordinary policy.
void PosixPlatform::PrepareEventThread() {
  const sched_param param{};
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
}

}  // namespace posix

std::shared_ptr<Platform> DefaultPlatform() {
  return std::make_shared<posix::PosixPlatform>();
}

}  // namespace serial::platform
