#pragma once
// The device control block and the stored settings, both ways: built from the stored
// values, and the groups it carries read back from a block the device reports. Pure
// functions, so every field's mapping can be checked without a device.
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

// A group's fields of the block, each direction beside the other.
void PutDataControl(platform::DCB& dcb, const DataControlValues& values);
DataControlValues DataControlFrom(const platform::DCB& dcb);
void PutEventChars(platform::DCB& dcb, const EventCharValues& values);
EventCharValues EventCharsFrom(const platform::DCB& dcb);

}  // namespace serial
