#pragma once
// The 16-bit Modbus RTU frame check (polynomial 0x8005 reflected, start 0xFFFF, no final xor).
#include <array>
#include <cstdint>

#include "modbus/byte_string.h"

namespace modbus {

// The register value after every byte of data has been folded in.
std::uint16_t Crc16Value(ByteView data) noexcept;

// The two check bytes as they travel on the wire: low byte first, then high byte.
ByteString Crc16(ByteView data);

// Appends the check of everything in frame so far.
void AppendCrc16(ByteString& frame);

}  // namespace modbus
