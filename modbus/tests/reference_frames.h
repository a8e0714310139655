#pragma once
// Reference frames shared by tests of every layer.
#include "modbus/byte_string.h"

namespace modbus::testing_frames {

// The documented read-all answer of slave 1: AIN0..3 = 1.0, 10.0, 23.456, -0.5, the rest 0;
// registers 16 and 18 hold 1 (DI1, DI3), register 21 holds 1 (DO2); check 25 0B.
inline ByteString ExampleResponse() {
  ByteString r = {0x01, 0x03, 0x30, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x41, 0x20,
                  0xA5, 0xE3, 0x41, 0xBB, 0x00, 0x00, 0xBF, 0x00};
  r.insert(r.end(), 17, 0x00);
  const ByteString tail = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
  r.insert(r.end(), tail.begin(), tail.end());
  r.insert(r.end(), 4, 0x00);
  r.push_back(0x25);
  r.push_back(0x0B);
  return r;
}

}  // namespace modbus::testing_frames
