#pragma once
// Frames to send, check bytes and received blocks: length-counted bytes that may hold zeros.
#include <cstdint>
#include <span>
#include <vector>

namespace modbus {

using ByteString = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

}  // namespace modbus
