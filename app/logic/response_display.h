#pragma once
// The read-all answer turned into log lines and channel cells.
#include <QString>

#include "app/logic/display_steps.h"
#include "modbus/byte_string.h"

namespace rtutest {

// Tests the block's check: on failure the single check failure line; otherwise, for every
// value whose bytes lie inside the block, its log line followed by its cell, in the order
// AI0..AI7, DI1..DI4, DO1..DO4. Values beyond a short block are left out, so their cells
// keep their text.
DisplaySteps DecodeReadResponse(modbus::ByteView block, const QString& decimal_separator);

}  // namespace rtutest
