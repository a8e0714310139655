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
  s.data_control.data_bits = comm.DataControl().DataBits();
  s.data_control.parity = comm.DataControl().Parity();
  s.data_control.stop_bits = comm.DataControl().StopBits();
  s.event_chars.xon_char = comm.EventChars().XonChar();
  s.event_chars.xoff_char = comm.EventChars().XoffChar();
  s.event_chars.eof_char = comm.EventChars().EofChar();
  s.event_chars.error_char = comm.EventChars().ErrorChar();
  s.event_chars.event_char = comm.EventChars().EventChar();
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
  const serial::TCommTimeoutsEx& t = comm.Timeouts();
  s.timeouts[0] = t.ReadInterval();
  s.timeouts[1] = t.ReadMultiplier();
  s.timeouts[2] = t.ReadConstant();
  s.timeouts[3] = t.WriteMultiplier();
  s.timeouts[4] = t.WriteConstant();
  return s;
}

}  // namespace fuzz
