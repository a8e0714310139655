#pragma once
// Layout of the 53-byte answer to the read-all request, and the frame check of a block.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "modbus/byte_string.h"

namespace modbus {

inline constexpr std::size_t kReadResponseLength = 53;
inline constexpr int kAnalogInputs = 8;
inline constexpr int kDigitalInputs = 4;
inline constexpr int kDigitalOutputs = 4;

// The block passes when the check of all but its last two bytes equals those two bytes.
// Blocks shorter than two bytes never pass. Nothing else (address, function, count) is tested.
bool FrameCheckPasses(ByteView block) noexcept;

// Values found in a block; a value whose bytes lie beyond the end of the block is absent.
struct ReadResponse {
  std::array<std::optional<float>, kAnalogInputs> analog_inputs;            // AIN0..AIN7
  std::array<std::optional<std::uint8_t>, kDigitalInputs> digital_inputs;   // DI 1..4
  std::array<std::optional<std::uint8_t>, kDigitalOutputs> digital_outputs; // DO 1..4
};

// The four wire bytes b1 b2 b3 b4 of one input form the float whose bits are b3 b4 b1 b2
// (low register first, each register high byte first).
float AnalogFromWire(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) noexcept;

// The inverse: the four wire bytes of a value, as the module sends them.
std::array<std::uint8_t, 4> AnalogToWire(float value) noexcept;

// Reads the layout out of a block without testing its check; never reads past its end.
ReadResponse DecodeReadLayout(ByteView block);

}  // namespace modbus
