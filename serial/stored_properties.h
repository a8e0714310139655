#pragma once
// Loading a stored component: every published property carries a value, and each goes
// through its setter in the published order with the device closed. The order matters:
// under fcCustom the RTS and DTR sets come before FlowControl and are therefore refused,
// while XOnXOffSettings comes after it and takes effect.
#include <cstdint>
#include <string>

#include "serial/comm_types.h"
#include "serial/custom_comm.h"

namespace serial {

// The published properties of TXComm, in stored order. Defaults are the component's.
struct StoredCommProperties {
  TBaudRate baud_rate = br9600;
  std::uint32_t baud_value = 9600;
  struct {
    std::uint16_t input_size = 2048;
    std::uint16_t output_size = 2048;
    std::uint16_t input_timeout = 500;
    std::uint16_t output_timeout = 500;
  } buffers;
  TRTSSettings rts_settings;
  struct {
    TDataBits data_bits = db8;
    TParity parity = paNone;
    TStopBits stop_bits = sb1;
  } data_control;
  std::string device_name = "COM2";
  TDTRSettings dtr_settings;
  struct {
    std::uint8_t xon_char = 17;
    std::uint8_t xoff_char = 19;
    std::uint8_t eof_char = 0;
    std::uint8_t error_char = 0;
    std::uint8_t event_char = 10;
  } event_chars;
  TDeviceEvents monitor_events{deChar, deFlag, deOutEmpty};
  TFlowControl flow_control = fcNone;
  TCommOptions options;
  bool synchronize = true;
  struct {
    std::uint32_t read_interval = 1;
    std::uint32_t read_multiplier = 0;
    std::uint32_t read_constant = 1;
    std::uint32_t write_multiplier = 0;
    std::uint32_t write_constant = 1;
  } timeouts;
  TXOnXOffSettings xonxoff_settings;
  TCommEvent on_comm_event;
  TDataEvent on_data;
  TNotifyEvent on_read;
  TNotifyEvent on_send;
};

// Applies stored through the setters in stored order. The device must be closed (a loaded
// component has never been opened); an open one raises std::logic_error and is left as is.
void LoadStoredProperties(TCustomComm& comm, const StoredCommProperties& stored);

}  // namespace serial
