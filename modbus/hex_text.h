#pragma once
// Bytes as the traffic log shows them: two upper-case digits and one blank per byte.
#include <string>

#include "modbus/byte_string.h"

namespace modbus {

// Two characters, high digit first; only the low 8 bits of value count.
std::string ByteToHex(int value);

// Three characters per byte, the trailing blank included ("00 0A FF ").
std::string BytesToHex(ByteView bytes);

}  // namespace modbus
