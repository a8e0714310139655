#include "serial/platform/posix/posix_stop_event.h"

#include <stdexcept>

namespace serial::platform::posix {

int PosixStopEvent::HandleOf(const StopEvent& event) {
  const auto* own = dynamic_cast<const PosixStopEvent*>(&event);
  if (own == nullptr) throw std::invalid_argument("stop event of another platform");
  return own->Handle();
}

}  // namespace serial::platform::posix
