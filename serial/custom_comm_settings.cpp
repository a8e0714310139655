// The component's own settings, the apply operations and the live device control block.
#include <string>

#include "serial/custom_comm.h"
#include "serial/enum_range.h"
#include "serial/timeouts_record.h"

namespace serial {

// ---- baud rate ------------------------------------------------------------------------

TBaudRate TCustomComm::BaudRate() {
  if (!IsOpen() || line_.baud_rate == brCustom) return line_.baud_rate;
  // A device rate outside the table reads as brCustom, which then sticks while open.
  line_.baud_rate = brCustom;
  const std::uint32_t rate = BaudValue();
  for (int member = br110; member < brCustom; ++member) {
    if (BaudTable[member] == rate) {
      line_.baud_rate = static_cast<TBaudRate>(member);
      break;
    }
  }
  return line_.baud_rate;
}

void TCustomComm::SetBaudRate(TBaudRate value) {
  RequireMember(value, brCustom, "BaudRate");
  if (value == line_.baud_rate) return;
  line_.baud_rate = value;
  if (value == brCustom) return;  // BaudValue keeps the rate until it is written
  line_.baud_value = BaudTable[value];
  ApplyDCB();
}

std::uint32_t TCustomComm::BaudValue() {
  platform::DCB dcb;
  if (GetDCB(dcb)) line_.baud_value = dcb.BaudRate;
  return line_.baud_value;
}

void TCustomComm::SetBaudValue(std::uint32_t value) {
  if (line_.baud_rate != brCustom || value == line_.baud_value) return;
  line_.baud_value = value;
  ApplyDCB();
}

void TCustomComm::SetDeviceName(const std::string& value) {
  if (IsOpen() || value == line_.device_name) return;
  line_.device_name = value;
}

// ---- flow control and line-control sets -----------------------------------------------

void TCustomComm::SetFlowControl(TFlowControl value) {
  RequireMember(value, fcCustom, "FlowControl");
  if (value == line_.flow_control) return;
  line_.flow_control = value;
  if (value == fcCustom) return;  // the sets keep their values and become writable
  StoreLineControl(PresetLineControl(value, line_.options));
  ApplyDCB();
}

TRTSSettings TCustomComm::RTSSettings() {
  RefreshLineControl();
  return line_.rts_settings;
}

TDTRSettings TCustomComm::DTRSettings() {
  RefreshLineControl();
  return line_.dtr_settings;
}

TXOnXOffSettings TCustomComm::XOnXOffSettings() {
  RefreshLineControl();
  return line_.xonxoff_settings;
}

TCommOptions TCustomComm::Options() {
  RefreshLineControl();
  return line_.options;
}

void TCustomComm::SetRTSSettings(TRTSSettings value) {
  if (line_.flow_control != fcCustom || value == RTSSettings()) return;
  line_.rts_settings = value;
  ApplyDCB();
}

void TCustomComm::SetDTRSettings(TDTRSettings value) {
  value = NormaliseDTR(value, line_.dtr_settings, line_.options);
  if (line_.flow_control != fcCustom || value == DTRSettings()) return;
  line_.dtr_settings = value;
  ApplyDCB();
}

void TCustomComm::SetXOnXOffSettings(TXOnXOffSettings value) {
  if (line_.flow_control != fcCustom || value == XOnXOffSettings()) return;
  line_.xonxoff_settings = value;
  ApplyDCB();
}

void TCustomComm::SetOptions(TCommOptions value) {
  // Whether DTR stays open is decided before the port opens.
  if (IsOpen()) {
    if (line_.options.Contains(coLeaveDTROpen))
      value.Include(coLeaveDTROpen);
    else
      value.Exclude(coLeaveDTROpen);
  }
  if (value == Options()) return;
  line_.options = value;
  if (IsOpen())
    UpdateDCB();
  else
    StoreLineControl(PresetLineControl(line_.flow_control, line_.options));
}

void TCustomComm::RefreshLineControl() {
  platform::DCB dcb;
  if (!GetDCB(dcb)) return;
  const LineReadBack back = ReadBackLineControl(dcb, line_.options);
  StoreLineControl(back.line);
  line_.options = back.options;
}

void TCustomComm::StoreLineControl(const LineControl& line) {
  line_.rts_settings = line.rts;
  line_.dtr_settings = line.dtr;
  line_.xonxoff_settings = line.xonxoff;
}

// ---- plain values and settings objects ------------------------------------------------

TDeviceEvents TCustomComm::MonitorEvents() const {
  return TDeviceEvents::FromBits(monitor_events_.load());
}
void TCustomComm::SetMonitorEvents(TDeviceEvents value) { monitor_events_ = value.bits(); }
bool TCustomComm::Synchronize() const { return synchronize_.load(); }
void TCustomComm::SetSynchronize(bool value) { synchronize_ = value; }

void TCustomComm::SetDataControl(const TCommDataControl& value) {
  if (&value != &data_control_) data_control_.Assign(&value);
}
void TCustomComm::SetBuffers(const TCommBuffers& value) {
  if (&value != &buffers_) buffers_.Assign(&value);
}
void TCustomComm::SetEventChars(const TCommEventChars& value) {
  if (&value != &event_chars_) event_chars_.Assign(&value);
}
void TCustomComm::SetTimeouts(const TCommTimeoutsEx& value) {
  if (&value != &timeouts_) timeouts_.Assign(&value);
}

// ---- apply operations -----------------------------------------------------------------

StoredLineSettings TCustomComm::StoredLine() const {
  return StoredLineSettings{.line = line_, .buffers = buffers_.Stored(),
                            .data_control = data_control_.Stored(),
                            .event_chars = event_chars_.Stored()};
}

bool TCustomComm::UpdateDCB() {
  const platform::DCB dcb = BuildDCB(StoredLine());
  if (device_ == nullptr || !Succeeded(device_->SetCommState(dcb)))
    throw EDeviceError::Fixed(DEVICE_UPDATE_DCB);
  return true;
}

bool TCustomComm::UpdateBuffers() {
  // Pending transfers are aborted and both queues emptied before the sizes change.
  if (device_ != nullptr)
    device_->PurgeComm(platform::PURGE_TXABORT | platform::PURGE_RXABORT |
                       platform::PURGE_TXCLEAR | platform::PURGE_RXCLEAR);
  if (device_ == nullptr ||
      !Succeeded(device_->SetupComm(buffers_.Stored().input_size, buffers_.Stored().output_size)))
    throw EDeviceError::Fixed(DEVICE_UPDATE_BUFFERS);
  return true;
}

bool TCustomComm::UpdateTimeouts() {
  if (device_ == nullptr ||
      !Succeeded(device_->SetCommTimeouts(BuildTimeouts(timeouts_.Stored()))))
    throw EDeviceError::Fixed(DEVICE_UPDATE_TIMEOUTS);
  return true;
}

void TCustomComm::ApplyDCB() {
  if (IsOpen()) UpdateDCB();
}

bool TCustomComm::GetDCB(platform::DCB& dcb) const {
  dcb = platform::DCB{};
  dcb.DCBlength = platform::kDcbLength;
  return device_ != nullptr && device_->GetCommState(dcb).Ok();
}

}  // namespace serial
