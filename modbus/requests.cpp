#include "modbus/requests.h"

#include <stdexcept>

#include "modbus/crc16.h"

namespace modbus {

std::uint8_t AddressByte(std::int32_t slave_address) noexcept {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(slave_address) & 0xFFU);
}

ByteString ReadAllRequest(std::int32_t slave_address) {
  ByteString frame = {AddressByte(slave_address), 0x03, 0x00, kFirstRegister,
                      0x00, static_cast<std::uint8_t>(kRegisterCount)};
  AppendCrc16(frame);
  return frame;
}

ByteString RelayRequest(std::int32_t slave_address, int relay, bool on) {
  if (relay < 1 || relay > kRelayCount) {
    throw std::out_of_range("relay number must be 1 to 4");
  }
  const auto reg = static_cast<std::uint8_t>(kFirstRelayRegister + relay - 1);
  ByteString frame = {AddressByte(slave_address), 0x10, 0x00, reg, 0x00, 0x01, 0x02, 0x00,
                      static_cast<std::uint8_t>(on ? 1 : 0)};
  AppendCrc16(frame);
  return frame;
}

ByteString RtuModeFrameBytes() { return ByteString(RtuModeFrame.begin(), RtuModeFrame.end()); }

}  // namespace modbus
