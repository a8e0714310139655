#pragma once
// Building the device control block from the stored settings: a pure function, so every
// field's mapping can be checked without a device.
#include <cstdint>

#include "serial/comm_types.h"
#include "serial/platform/comm_types.h"

namespace serial {

// The stored values the device control block is built from (never values read back from
// the device). Defaults are the component's defaults.
struct StoredLineSettings {
  std::uint32_t baud_value = 9600;
  TRTSSettings rts;
  TDTRSettings dtr;
  TXOnXOffSettings xonxoff;
  TCommOptions options;
  std::uint16_t input_size = 2048;
  TDataBits data_bits = db8;
  TParity parity = paNone;
  TStopBits stop_bits = sb1;
  std::uint8_t xon_char = 17;
  std::uint8_t xoff_char = 19;
  std::uint8_t eof_char = 0;
  std::uint8_t error_char = 0;
  std::uint8_t event_char = 10;
};

// A complete block: every field not set from the settings stays 0.
platform::DCB BuildDCB(const StoredLineSettings& s);

}  // namespace serial
