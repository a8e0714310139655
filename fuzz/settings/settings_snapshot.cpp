// The component's settings as its reads report them.
#include "fuzz/settings/settings_rig.h"

namespace fuzz {

serial::StoredLineSettings SettingsAsRead(serial::TCustomComm& comm) {
  serial::StoredLineSettings s;
  s.baud_value = comm.BaudValue();
  s.rts = comm.RTSSettings();
  s.dtr = comm.DTRSettings();
  s.xonxoff = comm.XOnXOffSettings();
  s.options = comm.Options();
  s.input_size = comm.Buffers().InputSize();
  s.data_bits = comm.DataControl().DataBits();
  s.parity = comm.DataControl().Parity();
  s.stop_bits = comm.DataControl().StopBits();
  s.xon_char = comm.EventChars().XonChar();
  s.xoff_char = comm.EventChars().XoffChar();
  s.eof_char = comm.EventChars().EofChar();
  s.error_char = comm.EventChars().ErrorChar();
  s.event_char = comm.EventChars().EventChar();
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
