#pragma once
// The component's communication records and the system's own: same fields, same meaning,
// copied field by field (the system's records are never assumed to share a layout).
#include "serial/platform/win32/windows_api.h"

#include "serial/platform/comm_types.h"

namespace serial::platform::win32 {

::DCB ToSystem(const DCB& dcb);
DCB FromSystem(const ::DCB& dcb);
::COMMTIMEOUTS ToSystem(const COMMTIMEOUTS& timeouts);
COMMTIMEOUTS FromSystem(const ::COMMTIMEOUTS& timeouts);
COMMPROP FromSystem(const ::COMMPROP& properties);
COMSTAT FromSystem(const ::COMSTAT& status);

}  // namespace serial::platform::win32
