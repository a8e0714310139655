#pragma once
// Every frame the tool puts on the line.
#include <array>
#include <cstdint>

#include "modbus/byte_string.h"

namespace modbus {

// Gateway mode frame that switches the module's link to RTU mode; sent as stored,
// with no slave address and no check.
inline constexpr std::array<std::uint8_t, 9> RtuModeFrame = {0xAA, 0x55, 0x00, 0x05, 0xE0,
                                                             0x50, 0x00, 0x01, 0x35};

// Register map of the module.
inline constexpr std::uint16_t kFirstRegister = 0;
inline constexpr std::uint16_t kRegisterCount = 24;
inline constexpr std::uint16_t kFirstRelayRegister = 20;
inline constexpr int kRelayCount = 4;

// The slave address byte is the low 8 bits of the (unrestricted) slave address.
std::uint8_t AddressByte(std::int32_t slave_address) noexcept;

// Function 3, registers 0..23: 8 bytes with the check.
ByteString ReadAllRequest(std::int32_t slave_address);

// Function 16 writing 1 (on) or 0 (off) into register 19 + relay; relay is 1..4.
// Throws std::out_of_range for another relay number.
ByteString RelayRequest(std::int32_t slave_address, int relay, bool on);

ByteString RtuModeFrameBytes();

}  // namespace modbus
