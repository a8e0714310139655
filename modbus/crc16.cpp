#include "modbus/crc16.h"

namespace modbus {
namespace {

// Entry i: i shifted right eight times, xor 0xA001 whenever a 1 bit falls out.
constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t value = static_cast<std::uint16_t>(i);
    for (int step = 0; step < 8; ++step) {
      value = (value & 1U) ? static_cast<std::uint16_t>((value >> 1) ^ 0xA001U)
                           : static_cast<std::uint16_t>(value >> 1);
    }
    table[i] = value;
  }
  return table;
}

constexpr auto kTable = MakeTable();
static_assert(kTable[0] == 0x0000 && kTable[1] == 0xC0C1 && kTable[2] == 0xC181 &&
              kTable[3] == 0x0140 && kTable[255] == 0x4040);

}  // namespace

std::uint16_t Crc16Value(ByteView data) noexcept {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : data) {
    crc = static_cast<std::uint16_t>(kTable[(b ^ crc) & 0xFFU] ^ (crc >> 8));
  }
  return crc;
}

ByteString Crc16(ByteView data) {
  const std::uint16_t crc = Crc16Value(data);
  return {static_cast<std::uint8_t>(crc & 0xFFU), static_cast<std::uint8_t>(crc >> 8)};
}

void AppendCrc16(ByteString& frame) {
  const std::uint16_t crc = Crc16Value(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFFU));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

}  // namespace modbus
