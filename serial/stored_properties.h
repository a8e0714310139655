#pragma once
// Loading a stored component: every published property carries a value, and each goes
// through its setter in the published order with the device closed. The order matters:
// under fcCustom the RTS and DTR sets come before FlowControl and are therefore refused,
// while XOnXOffSettings comes after it and takes effect.
#include <cstdint>
#include <string>

#include "serial/comm_types.h"
#include "serial/custom_comm.h"
#include "serial/settings_values.h"

namespace serial {

// The published properties of TXComm, in stored order, starting from the component's
// defaults.
struct StoredCommProperties {
  TBaudRate baud_rate = LineValues{}.baud_rate;
  std::uint32_t baud_value = LineValues{}.baud_value;
  BufferValues buffers;
  TRTSSettings rts_settings;
  DataControlValues data_control;
  std::string device_name = LineValues{}.device_name;
  TDTRSettings dtr_settings;
  EventCharValues event_chars;
  TDeviceEvents monitor_events = NotifyValues{}.monitor_events;
  TFlowControl flow_control = LineValues{}.flow_control;
  TCommOptions options;
  bool synchronize = NotifyValues{}.synchronize;
  TimeoutValues timeouts;
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
