#include "serial/stored_properties.h"

#include <stdexcept>

namespace serial {

void LoadStoredProperties(TCustomComm& comm, const StoredCommProperties& stored) {
  if (comm.IsOpen()) throw std::logic_error("stored properties are loaded into a closed port");
  comm.SetBaudRate(stored.baud_rate);
  comm.SetBaudValue(stored.baud_value);
  comm.Buffers().Load(stored.buffers);
  comm.SetRTSSettings(stored.rts_settings);
  comm.DataControl().Load(stored.data_control);
  comm.SetDeviceName(stored.device_name);
  comm.SetDTRSettings(stored.dtr_settings);
  comm.EventChars().Load(stored.event_chars);
  comm.SetMonitorEvents(stored.monitor_events);
  comm.SetFlowControl(stored.flow_control);
  comm.SetOptions(stored.options);
  comm.SetSynchronize(stored.synchronize);
  comm.Timeouts().Load(stored.timeouts);
  comm.SetXOnXOffSettings(stored.xonxoff_settings);
  comm.SetOnCommEvent(stored.on_comm_event);
  comm.SetOnData(stored.on_data);
  comm.SetOnRead(stored.on_read);
  comm.SetOnSend(stored.on_send);
}

}  // namespace serial
