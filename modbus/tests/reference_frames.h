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

// The relay write requests of slave 1 as the log shows them, by relay (1..4) and state:
// write multiple registers, one register at 20 + relay - 1, value 1 (on) or 0 (off).
struct RelayFrame {
  int relay;
  bool on;
  const char* hex;
};
inline constexpr RelayFrame kRelayFrames[] = {
    {1, true, "01 10 00 14 00 01 02 00 01 64 84 "}, {1, false, "01 10 00 14 00 01 02 00 00 A5 44 "},
    {2, true, "01 10 00 15 00 01 02 00 01 65 55 "}, {2, false, "01 10 00 15 00 01 02 00 00 A4 95 "},
    {3, true, "01 10 00 16 00 01 02 00 01 65 66 "}, {3, false, "01 10 00 16 00 01 02 00 00 A4 A6 "},
    {4, true, "01 10 00 17 00 01 02 00 01 64 B7 "}, {4, false, "01 10 00 17 00 01 02 00 00 A5 77 "},
};

// The mode frame sent before every read, as the log shows it and byte for byte.
inline constexpr const char* kModeFrameHex = "AA 55 00 05 E0 50 00 01 35 ";
inline ByteString ModeFrame() { return {0xAA, 0x55, 0x00, 0x05, 0xE0, 0x50, 0x00, 0x01, 0x35}; }

// The read-all requests (24 registers from 0) of slaves 1 and 2, byte for byte.
inline ByteString ReadSlave1() { return {0x01, 0x03, 0x00, 0x00, 0x00, 0x18, 0x45, 0xC0}; }
inline ByteString ReadSlave2() { return {0x02, 0x03, 0x00, 0x00, 0x00, 0x18, 0x45, 0xF3}; }

}  // namespace modbus::testing_frames
