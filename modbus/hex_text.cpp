#include "modbus/hex_text.h"

namespace modbus {
namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}

std::string ByteToHex(int value) {
  const unsigned v = static_cast<unsigned>(value) & 0xFFU;
  return {kDigits[v / 16], kDigits[v % 16]};
}

std::string BytesToHex(ByteView bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    text.push_back(kDigits[b / 16]);
    text.push_back(kDigits[b % 16]);
    text.push_back(' ');
  }
  return text;
}

}  // namespace modbus
