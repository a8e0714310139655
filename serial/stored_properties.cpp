#include "serial/stored_properties.h"

#include <stdexcept>

namespace serial {
namespace {

void LoadBuffers(TCommBuffers& buffers, const StoredCommProperties& stored) {
  buffers.SetInputSize(stored.buffers.input_size);
  buffers.SetOutputSize(stored.buffers.output_size);
  buffers.SetInputTimeout(stored.buffers.input_timeout);
  buffers.SetOutputTimeout(stored.buffers.output_timeout);
}

void LoadDataControl(TCommDataControl& data_control, const StoredCommProperties& stored) {
  data_control.SetDataBits(stored.data_control.data_bits);
  data_control.SetParity(stored.data_control.parity);
  data_control.SetStopBits(stored.data_control.stop_bits);
}

void LoadEventChars(TCommEventChars& chars, const StoredCommProperties& stored) {
  chars.SetXonChar(stored.event_chars.xon_char);
  chars.SetXoffChar(stored.event_chars.xoff_char);
  chars.SetEofChar(stored.event_chars.eof_char);
  chars.SetErrorChar(stored.event_chars.error_char);
  chars.SetEventChar(stored.event_chars.event_char);
}

void LoadTimeouts(TCommTimeoutsEx& timeouts, const StoredCommProperties& stored) {
  timeouts.SetReadInterval(stored.timeouts.read_interval);
  timeouts.SetReadMultiplier(stored.timeouts.read_multiplier);
  timeouts.SetReadConstant(stored.timeouts.read_constant);
  timeouts.SetWriteMultiplier(stored.timeouts.write_multiplier);
  timeouts.SetWriteConstant(stored.timeouts.write_constant);
}

}  // namespace

void LoadStoredProperties(TCustomComm& comm, const StoredCommProperties& stored) {
  if (comm.IsOpen()) throw std::logic_error("stored properties are loaded into a closed port");
  comm.SetBaudRate(stored.baud_rate);
  comm.SetBaudValue(stored.baud_value);
  LoadBuffers(comm.Buffers(), stored);
  comm.SetRTSSettings(stored.rts_settings);
  LoadDataControl(comm.DataControl(), stored);
  comm.SetDeviceName(stored.device_name);
  comm.SetDTRSettings(stored.dtr_settings);
  LoadEventChars(comm.EventChars(), stored);
  comm.SetMonitorEvents(stored.monitor_events);
  comm.SetFlowControl(stored.flow_control);
  comm.SetOptions(stored.options);
  comm.SetSynchronize(stored.synchronize);
  LoadTimeouts(comm.Timeouts(), stored);
  comm.SetXOnXOffSettings(stored.xonxoff_settings);
  comm.SetOnCommEvent(stored.on_comm_event);
  comm.SetOnData(stored.on_data);
  comm.SetOnRead(stored.on_read);
  comm.SetOnSend(stored.on_send);
}

}  // namespace serial
