// The component's settings as its reads report them.
#include "fuzz/settings/settings_rig.h"

namespace fuzz {

serial::StoredLineSettings SettingsAsRead(serial::TCustomComm& comm) {
  serial::StoredLineSettings s;
  s.line.baud_value = comm.BaudValue();
  s.line.rts_settings = comm.RTSSettings();
  s.line.dtr_settings = comm.DTRSettings();
  s.line.xonxoff_settings = comm.XOnXOffSettings();
  s.line.options = comm.Options();
  s.buffers.input_size = comm.Buffers().InputSize();
  s.data_control = comm.DataControl().LiveValues();
  s.event_chars = comm.EventChars().LiveValues();
  return s;
}

Snapshot Snap(serial::TCustomComm& comm) {
  Snapshot s;
  s.dcb = serial::BuildDCB(SettingsAsRead(comm));
  s.baud_rate = comm.BaudRate();
  s.flow_control = comm.FlowControl();
  s.device_name = comm.DeviceName();
  s.output_size = comm.Buffers().OutputSize();
  s.input_timeout = comm.Buffers().InputTimeout();
  s.output_timeout = comm.Buffers().OutputTimeout();
  s.timeouts = comm.Timeouts().LiveValues();
  return s;
}

}  // namespace fuzz
