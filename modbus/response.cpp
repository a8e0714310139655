#include "modbus/response.h"

#include <bit>

#include "modbus/crc16.h"

namespace modbus {
namespace {

// Positions are counted from 1 as in the layout table.
constexpr std::size_t AnalogPosition(int k) { return 4 + 4 * static_cast<std::size_t>(k); }
constexpr std::size_t DigitalInputPosition(int j) { return 35 + 2 * static_cast<std::size_t>(j); }
constexpr std::size_t DigitalOutputPosition(int j) { return 43 + 2 * static_cast<std::size_t>(j); }

std::optional<std::uint8_t> ByteAt(ByteView block, std::size_t position) {
  if (position == 0 || position > block.size()) return std::nullopt;
  return block[position - 1];
}

}  // namespace

bool FrameCheckPasses(ByteView block) noexcept {
  if (block.size() < 2) return false;
  const std::uint16_t crc = Crc16Value(block.first(block.size() - 2));
  return block[block.size() - 2] == (crc & 0xFFU) && block[block.size() - 1] == (crc >> 8);
}

float AnalogFromWire(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) noexcept {
  const std::uint32_t bits = (std::uint32_t{b3} << 24) | (std::uint32_t{b4} << 16) |
                             (std::uint32_t{b1} << 8) | std::uint32_t{b2};
  return std::bit_cast<float>(bits);
}

std::array<std::uint8_t, 4> AnalogToWire(float value) noexcept {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits),
          static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16)};
}

ReadResponse DecodeReadLayout(ByteView block) {
  ReadResponse out;
  for (int k = 0; k < kAnalogInputs; ++k) {
    const std::size_t p = AnalogPosition(k);
    if (p + 3 <= block.size()) {
      out.analog_inputs[k] = AnalogFromWire(block[p - 1], block[p], block[p + 1], block[p + 2]);
    }
  }
  for (int j = 1; j <= kDigitalInputs; ++j) {
    out.digital_inputs[j - 1] = ByteAt(block, DigitalInputPosition(j));
  }
  for (int j = 1; j <= kDigitalOutputs; ++j) {
    out.digital_outputs[j - 1] = ByteAt(block, DigitalOutputPosition(j));
  }
  return out;
}

}  // namespace modbus
