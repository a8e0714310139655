// The component's own settings, the apply operations and the live device control block.
#include <string>

#include "serial/custom_comm.h"
#include "serial/enum_range.h"

namespace serial {

// ---- baud rate ------------------------------------------------------------------------

TBaudRate TCustomComm::BaudRate() {
  if (!IsOpen() || baud_rate_ == brCustom) return baud_rate_;
  // A device rate outside the table reads as brCustom, which then sticks while open.
  baud_rate_ = brCustom;
  const std::uint32_t rate = BaudValue();
  for (int member = br110; member < brCustom; ++member) {
    if (BaudTable[member] == rate) {
      baud_rate_ = static_cast<TBaudRate>(member);
      break;
    }
  }
  return baud_rate_;
}

void TCustomComm::SetBaudRate(TBaudRate value) {
  RequireMember(value, brCustom, "BaudRate");
  if (value == baud_rate_) return;
  baud_rate_ = value;
  if (value == brCustom) return;  // BaudValue keeps the rate until it is written
  baud_value_ = BaudTable[value];
  ApplyDCB();
}

std::uint32_t TCustomComm::BaudValue() {
  platform::DCB dcb;
  if (GetDCB(dcb)) baud_value_ = dcb.BaudRate;
  return baud_value_;
}

void TCustomComm::SetBaudValue(std::uint32_t value) {
  if (baud_rate_ != brCustom || value == baud_value_) return;
  baud_value_ = value;
  ApplyDCB();
}

void TCustomComm::SetDeviceName(const std::string& value) {
  if (IsOpen() || value == device_name_) return;
  device_name_ = value;
}

// ---- flow control and line-control sets -----------------------------------------------

void TCustomComm::SetFlowControl(TFlowControl value) {
  RequireMember(value, fcCustom, "FlowControl");
  if (value == flow_control_) return;
  flow_control_ = value;
  if (value == fcCustom) return;  // the sets keep their values and become writable
  StoreLineControl(PresetLineControl(value, options_));
  ApplyDCB();
}

TRTSSettings TCustomComm::RTSSettings() {
  RefreshLineControl();
  return rts_settings_;
}

TDTRSettings TCustomComm::DTRSettings() {
  RefreshLineControl();
  return dtr_settings_;
}

TXOnXOffSettings TCustomComm::XOnXOffSettings() {
  RefreshLineControl();
  return xonxoff_settings_;
}

TCommOptions TCustomComm::Options() {
  RefreshLineControl();
  return options_;
}

void TCustomComm::SetRTSSettings(TRTSSettings value) {
  if (flow_control_ != fcCustom || value == RTSSettings()) return;
  rts_settings_ = value;
  ApplyDCB();
}

void TCustomComm::SetDTRSettings(TDTRSettings value) {
  value = NormaliseDTR(value, dtr_settings_, options_);
  if (flow_control_ != fcCustom || value == DTRSettings()) return;
  dtr_settings_ = value;
  ApplyDCB();
}

void TCustomComm::SetXOnXOffSettings(TXOnXOffSettings value) {
  if (flow_control_ != fcCustom || value == XOnXOffSettings()) return;
  xonxoff_settings_ = value;
  ApplyDCB();
}

void TCustomComm::SetOptions(TCommOptions value) {
  // Whether DTR stays open is decided before the port opens.
  if (IsOpen()) {
    if (options_.Contains(coLeaveDTROpen))
      value.Include(coLeaveDTROpen);
    else
      value.Exclude(coLeaveDTROpen);
  }
  if (value == Options()) return;
  options_ = value;
  if (IsOpen())
    UpdateDCB();
  else
    StoreLineControl(PresetLineControl(flow_control_, options_));
}

void TCustomComm::RefreshLineControl() {
  platform::DCB dcb;
  if (!GetDCB(dcb)) return;
  const LineReadBack back = ReadBackLineControl(dcb, options_);
  StoreLineControl(back.line);
  options_ = back.options;
}

void TCustomComm::StoreLineControl(const LineControl& line) {
  rts_settings_ = line.rts;
  dtr_settings_ = line.dtr;
  xonxoff_settings_ = line.xonxoff;
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
  return StoredLineSettings{
      .baud_value = baud_value_, .rts = rts_settings_, .dtr = dtr_settings_,
      .xonxoff = xonxoff_settings_, .options = options_, .input_size = buffers_.input_size_,
      .data_bits = data_control_.data_bits_, .parity = data_control_.parity_,
      .stop_bits = data_control_.stop_bits_, .xon_char = event_chars_.xon_,
      .xoff_char = event_chars_.xoff_, .eof_char = event_chars_.eof_,
      .error_char = event_chars_.error_, .event_char = event_chars_.event_};
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
      !Succeeded(device_->SetupComm(buffers_.input_size_, buffers_.output_size_)))
    throw EDeviceError::Fixed(DEVICE_UPDATE_BUFFERS);
  return true;
}

bool TCustomComm::UpdateTimeouts() {
  const platform::COMMTIMEOUTS timeouts{
      .ReadIntervalTimeout = timeouts_.read_interval_,
      .ReadTotalTimeoutMultiplier = timeouts_.read_multiplier_,
      .ReadTotalTimeoutConstant = timeouts_.read_constant_,
      .WriteTotalTimeoutMultiplier = timeouts_.write_multiplier_,
      .WriteTotalTimeoutConstant = timeouts_.write_constant_};
  if (device_ == nullptr || !Succeeded(device_->SetCommTimeouts(timeouts)))
    throw EDeviceError::Fixed(DEVICE_UPDATE_TIMEOUTS);
  return true;
}

void TCustomComm::ApplyDCB() {
  if (IsOpen()) UpdateDCB();
}
void TCustomComm::ApplyBuffers() {
  if (IsOpen()) UpdateBuffers();
}
void TCustomComm::ApplyTimeouts() {
  if (IsOpen()) UpdateTimeouts();
}

bool TCustomComm::GetDCB(platform::DCB& dcb) const {
  dcb = platform::DCB{};
  dcb.DCBlength = platform::kDcbLength;
  return device_ != nullptr && device_->GetCommState(dcb).Ok();
}

}  // namespace serial
