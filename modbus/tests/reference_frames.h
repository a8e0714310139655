#pragma once
// Reference frames shared by tests of every layer.
#include "modbus/byte_string.h"

namespace modbus::testing_frames {

// The documented read-all answer of slave 1: AIN0..3 = 1.0, 10.0, 23.456, -0.5, the rest 0;
// registers 16 and 18 hold 1 (DI1, DI3), register 21 holds 1 (DO2); check 25 0B.
inline ByteString ExampleResponse() {
  return {0x01, 0x03, 0x30,                          // address, function, byte count
          0x00, 0x00, 0x3F, 0x80,                    // AIN0  1.0
          0x00, 0x00, 0x41, 0x20,                    // AIN1 10.0
          0xA5, 0xE3, 0x41, 0xBB,                    // AIN2 23.456
          0x00, 0x00, 0xBF, 0x00,                    // AIN3 -0.5
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // AIN4, AIN5
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // AIN6, AIN7
          0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,  // DI1..DI4
          0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  // DO1..DO4
          0x25, 0x0B};                               // check
}

}  // namespace modbus::testing_frames
