// Any block through the frame check, the response layout and the hex text: nothing is read
// outside the block, each value is present exactly when its bytes lie inside it, and the
// check agrees with a bit-by-bit computation of the same polynomial.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/response.h"

namespace {

using modbus::ByteString;
using modbus::ByteView;

// The check register computed one bit at a time (reflected 0x8005, start 0xFFFF).
std::uint16_t BitwiseCrc(ByteView data) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1U) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

bool ReferenceCheckPasses(ByteView block) {
  if (block.size() < 2) return false;
  const std::uint16_t crc = BitwiseCrc(block.first(block.size() - 2));
  return block[block.size() - 2] == (crc & 0xFF) && block[block.size() - 1] == (crc >> 8);
}

// Positions counted from 1; a value is present when its last byte lies inside the block.
void CheckLayout(ByteView block) {
  const modbus::ReadResponse r = modbus::DecodeReadLayout(block);
  for (int k = 0; k < modbus::kAnalogInputs; ++k) {
    const std::size_t p = 4 + 4 * static_cast<std::size_t>(k);
    FUZZ_REQUIRE(r.analog_inputs[k].has_value() == (p + 3 <= block.size()));
    if (!r.analog_inputs[k]) continue;
    const std::uint32_t bits = (std::uint32_t{block[p + 1]} << 24) |
                               (std::uint32_t{block[p + 2]} << 16) |
                               (std::uint32_t{block[p - 1]} << 8) | block[p];
    const float value = *r.analog_inputs[k];
    std::uint32_t got = 0;
    std::memcpy(&got, &value, sizeof got);
    FUZZ_REQUIRE(got == bits);
  }
  for (int j = 1; j <= 4; ++j) {
    const std::size_t di = 35 + 2 * static_cast<std::size_t>(j);
    const std::size_t dout = 43 + 2 * static_cast<std::size_t>(j);
    FUZZ_REQUIRE(r.digital_inputs[j - 1].has_value() == (di <= block.size()));
    FUZZ_REQUIRE(r.digital_outputs[j - 1].has_value() == (dout <= block.size()));
    if (r.digital_inputs[j - 1]) FUZZ_REQUIRE(*r.digital_inputs[j - 1] == block[di - 1]);
    if (r.digital_outputs[j - 1]) FUZZ_REQUIRE(*r.digital_outputs[j - 1] == block[dout - 1]);
  }
}

// A block with its check appended passes; any one bit changed fails; one more 00 passes
// again (the check of all but the last two bytes then equals the high check byte and 00).
void CheckFramed(ByteView block) {
  ByteString framed(block.begin(), block.end());
  modbus::AppendCrc16(framed);
  FUZZ_REQUIRE(modbus::FrameCheckPasses(framed));
  ByteString flipped = framed;
  const std::size_t bit = block.empty() ? 0 : block[0] % (flipped.size() * 8);
  flipped[bit / 8] ^= static_cast<std::uint8_t>(1U << (bit % 8));
  FUZZ_REQUIRE(!modbus::FrameCheckPasses(flipped));
  framed.push_back(0x00);
  FUZZ_REQUIRE(modbus::FrameCheckPasses(framed));
}

void CheckHex(ByteView block) {
  const std::string text = modbus::BytesToHex(block);
  FUZZ_REQUIRE(text.size() == 3 * block.size());
  static const char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < block.size(); ++i) {
    FUZZ_REQUIRE(text[3 * i] == kDigits[block[i] >> 4]);
    FUZZ_REQUIRE(text[3 * i + 1] == kDigits[block[i] & 0xF]);
    FUZZ_REQUIRE(text[3 * i + 2] == ' ');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView block(data, size);
  FUZZ_REQUIRE(modbus::FrameCheckPasses(block) == ReferenceCheckPasses(block));
  FUZZ_REQUIRE(modbus::Crc16Value(block) == BitwiseCrc(block));
  CheckLayout(block);
  CheckFramed(block);
  CheckHex(block);
  return 0;
}
