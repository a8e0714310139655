#pragma once
// The simulator owns its descriptors with the serial component's POSIX UniqueFd.
#include "serial/platform/posix/unique_fd.h"

namespace sim {

using serial::platform::posix::UniqueFd;

}  // namespace sim
