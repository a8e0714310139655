#pragma once
// The stored values of the port settings, one plain struct per group, each default written
// here and nowhere else: the settings objects hold one each, the device control block is
// built from them, and a stored component's properties start from them.
#include <cstdint>
#include <string>

#include "serial/comm_types.h"

namespace serial {

struct DataControlValues {
  TDataBits data_bits = db8;
  TParity parity = paNone;
  TStopBits stop_bits = sb1;
  friend bool operator==(const DataControlValues&, const DataControlValues&) = default;
};

struct BufferValues {
  std::uint16_t input_size = 2048;
  std::uint16_t output_size = 2048;
  std::uint16_t input_timeout = 500;
  std::uint16_t output_timeout = 500;
  friend bool operator==(const BufferValues&, const BufferValues&) = default;
};

struct EventCharValues {
  std::uint8_t xon_char = 17;
  std::uint8_t xoff_char = 19;
  std::uint8_t eof_char = 0;
  std::uint8_t error_char = 0;
  std::uint8_t event_char = 10;
  friend bool operator==(const EventCharValues&, const EventCharValues&) = default;
};

struct TimeoutValues {
  std::uint32_t read_interval = 1;
  std::uint32_t read_multiplier = 0;
  std::uint32_t read_constant = 1;
  std::uint32_t write_multiplier = 0;
  std::uint32_t write_constant = 1;
  friend bool operator==(const TimeoutValues&, const TimeoutValues&) = default;
};

// The component's own line settings.
struct LineValues {
  TBaudRate baud_rate = br9600;
  std::uint32_t baud_value = 9600;
  std::string device_name = "COM2";
  TFlowControl flow_control = fcNone;
  TRTSSettings rts_settings;
  TDTRSettings dtr_settings;
  TXOnXOffSettings xonxoff_settings;
  TCommOptions options;
  friend bool operator==(const LineValues&, const LineValues&) = default;
};

// What the component notifies, and on which thread.
struct NotifyValues {
  TDeviceEvents monitor_events{deChar, deFlag, deOutEmpty};
  bool synchronize = true;
};

}  // namespace serial
