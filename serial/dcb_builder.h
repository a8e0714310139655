#pragma once
// Building the device control block from the stored settings: a pure function, so every
// field's mapping can be checked without a device.
#include <cstdint>

#include "serial/comm_types.h"
#include "serial/platform/comm_types.h"
#include "serial/settings_values.h"

namespace serial {

// The stored values the device control block is built from (never values read back from
// the device).
struct StoredLineSettings {
  LineValues line;
  BufferValues buffers;  // the input size sets the XON/XOFF limits
  DataControlValues data_control;
  EventCharValues event_chars;
};

// A complete block: every field not set from the settings stays 0.
platform::DCB BuildDCB(const StoredLineSettings& s);

}  // namespace serial
