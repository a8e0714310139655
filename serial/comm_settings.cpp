// The four settings objects: reads consult the open device, writes store and then apply.
#include "serial/comm_settings.h"

#include <string>

#include "serial/custom_comm.h"
#include "serial/enum_range.h"
#include "serial/line_control.h"

namespace serial {

namespace {

// A written value reaches the device at once while the component is open.
void ApplyTo(TCustomComm& comm, bool (TCustomComm::*update)()) {
  if (comm.IsOpen()) (comm.*update)();
}

}  // namespace

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string from = source != nullptr ? source->ClassName() : "null object";
  throw EAssignError("Cannot assign a " + from + " to a " + ClassName());
}

// ---- TCommDataControl -----------------------------------------------------------------

TDataBits TCommDataControl::DataBits() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TDataBits>(dcb.ByteSize - 4);
  return values_.data_bits;
}

TParity TCommDataControl::Parity() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TParity>(dcb.Parity);
  return values_.parity;
}

TStopBits TCommDataControl::StopBits() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TStopBits>(dcb.StopBits);
  return values_.stop_bits;
}

void TCommDataControl::SetDataBits(TDataBits value) {
  RequireMember(value, db8, "DataBits");
  if (value == values_.data_bits) return;
  values_.data_bits = value;
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

void TCommDataControl::SetParity(TParity value) {
  RequireMember(value, paSpace, "Parity");
  if (value == values_.parity) return;
  values_.parity = value;
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

void TCommDataControl::SetStopBits(TStopBits value) {
  RequireMember(value, sb2, "StopBits");
  if (value == values_.stop_bits) return;
  values_.stop_bits = value;
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

void TCommDataControl::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommDataControl*>(source);
  if (from == nullptr) AssignError(source);
  values_.data_bits = from->DataBits();
  values_.parity = from->Parity();
  values_.stop_bits = from->StopBits();
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

void TCommDataControl::Load(const DataControlValues& values) {
  SetDataBits(values.data_bits);
  SetParity(values.parity);
  SetStopBits(values.stop_bits);
}

// ---- TCommBuffers ---------------------------------------------------------------------

namespace {

// A queue size the device reports, in its low 16 bits; 0 means "not known", so the stored
// size stands.
std::uint16_t ReportedQueueSize(std::uint32_t reported, std::uint16_t stored) {
  const auto low = static_cast<std::uint16_t>(reported & 0xFFFFu);
  return low != 0 ? low : stored;
}

}  // namespace

std::uint16_t TCommBuffers::InputSize() const {
  platform::COMMPROP properties;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommProperties(properties).Ok())
    return ReportedQueueSize(properties.dwCurrentRxQueue, values_.input_size);
  return values_.input_size;
}

std::uint16_t TCommBuffers::OutputSize() const {
  platform::COMMPROP properties;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommProperties(properties).Ok())
    return ReportedQueueSize(properties.dwCurrentTxQueue, values_.output_size);
  return values_.output_size;
}

void TCommBuffers::SetInputSize(std::uint16_t value) {
  value = ClampQueueSize(value, comm_->PlatformServices().GetVersion());
  if (value == values_.input_size) return;
  values_.input_size = value;
  ApplyTo(*comm_, &TCustomComm::UpdateBuffers);
}

void TCommBuffers::SetOutputSize(std::uint16_t value) {
  value = ClampQueueSize(value, comm_->PlatformServices().GetVersion());
  if (value == values_.output_size) return;
  values_.output_size = value;
  ApplyTo(*comm_, &TCustomComm::UpdateBuffers);
}

void TCommBuffers::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommBuffers*>(source);
  if (from == nullptr) AssignError(source);
  // Sizes as the source reports them, stored without the clamp; time-outs as stored.
  values_.input_size = from->InputSize();
  values_.output_size = from->OutputSize();
  values_.input_timeout = from->values_.input_timeout;
  values_.output_timeout = from->values_.output_timeout;
  ApplyTo(*comm_, &TCustomComm::UpdateBuffers);
}

void TCommBuffers::Load(const BufferValues& values) {
  SetInputSize(values.input_size);
  SetOutputSize(values.output_size);
  SetInputTimeout(values.input_timeout);
  SetOutputTimeout(values.output_timeout);
}

// ---- TCommEventChars ------------------------------------------------------------------

std::uint8_t TCommEventChars::Live(std::uint8_t platform::DCB::*field,
                                   std::uint8_t stored) const {
  platform::DCB dcb;
  return comm_->GetDCB(dcb) ? dcb.*field : stored;
}

void TCommEventChars::Store(std::uint8_t& stored, std::uint8_t value) {
  if (value == stored) return;
  stored = value;
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

std::uint8_t TCommEventChars::XonChar() const { return Live(&platform::DCB::XonChar, values_.xon_char); }
std::uint8_t TCommEventChars::XoffChar() const { return Live(&platform::DCB::XoffChar, values_.xoff_char); }
std::uint8_t TCommEventChars::EofChar() const { return Live(&platform::DCB::EofChar, values_.eof_char); }
std::uint8_t TCommEventChars::ErrorChar() const {
  return Live(&platform::DCB::ErrorChar, values_.error_char);
}
std::uint8_t TCommEventChars::EventChar() const { return Live(&platform::DCB::EvtChar, values_.event_char); }

void TCommEventChars::SetXonChar(std::uint8_t value) { Store(values_.xon_char, value); }
void TCommEventChars::SetXoffChar(std::uint8_t value) { Store(values_.xoff_char, value); }
void TCommEventChars::SetEofChar(std::uint8_t value) { Store(values_.eof_char, value); }
void TCommEventChars::SetErrorChar(std::uint8_t value) { Store(values_.error_char, value); }
void TCommEventChars::SetEventChar(std::uint8_t value) { Store(values_.event_char, value); }

void TCommEventChars::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommEventChars*>(source);
  if (from == nullptr) AssignError(source);
  values_.xon_char = from->XonChar();
  values_.xoff_char = from->XoffChar();
  values_.eof_char = from->EofChar();
  values_.error_char = from->ErrorChar();
  values_.event_char = from->EventChar();
  ApplyTo(*comm_, &TCustomComm::UpdateDCB);
}

void TCommEventChars::Load(const EventCharValues& values) {
  SetXonChar(values.xon_char);
  SetXoffChar(values.xoff_char);
  SetEofChar(values.eof_char);
  SetErrorChar(values.error_char);
  SetEventChar(values.event_char);
}

// ---- TCommTimeoutsEx ------------------------------------------------------------------

std::uint32_t TCommTimeoutsEx::Live(std::uint32_t platform::COMMTIMEOUTS::*field,
                                    std::uint32_t stored) const {
  platform::COMMTIMEOUTS timeouts;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommTimeouts(timeouts).Ok()) return timeouts.*field;
  return stored;
}

void TCommTimeoutsEx::Store(std::uint32_t& stored, std::uint32_t value) {
  if (value == stored) return;
  stored = value;
  ApplyTo(*comm_, &TCustomComm::UpdateTimeouts);
}

std::uint32_t TCommTimeoutsEx::ReadInterval() const {
  return Live(&platform::COMMTIMEOUTS::ReadIntervalTimeout, values_.read_interval);
}
std::uint32_t TCommTimeoutsEx::ReadMultiplier() const {
  return Live(&platform::COMMTIMEOUTS::ReadTotalTimeoutMultiplier, values_.read_multiplier);
}
std::uint32_t TCommTimeoutsEx::ReadConstant() const {
  return Live(&platform::COMMTIMEOUTS::ReadTotalTimeoutConstant, values_.read_constant);
}
std::uint32_t TCommTimeoutsEx::WriteMultiplier() const {
  return Live(&platform::COMMTIMEOUTS::WriteTotalTimeoutMultiplier, values_.write_multiplier);
}
std::uint32_t TCommTimeoutsEx::WriteConstant() const {
  return Live(&platform::COMMTIMEOUTS::WriteTotalTimeoutConstant, values_.write_constant);
}

void TCommTimeoutsEx::SetReadInterval(std::uint32_t value) { Store(values_.read_interval, value); }
void TCommTimeoutsEx::SetReadMultiplier(std::uint32_t value) { Store(values_.read_multiplier, value); }
void TCommTimeoutsEx::SetReadConstant(std::uint32_t value) { Store(values_.read_constant, value); }
void TCommTimeoutsEx::SetWriteMultiplier(std::uint32_t value) {
  Store(values_.write_multiplier, value);
}
void TCommTimeoutsEx::SetWriteConstant(std::uint32_t value) { Store(values_.write_constant, value); }

void TCommTimeoutsEx::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommTimeoutsEx*>(source);
  if (from == nullptr) AssignError(source);
  values_.read_interval = from->ReadInterval();
  values_.read_multiplier = from->ReadMultiplier();
  values_.read_constant = from->ReadConstant();
  values_.write_multiplier = from->WriteMultiplier();
  values_.write_constant = from->WriteConstant();
  ApplyTo(*comm_, &TCustomComm::UpdateTimeouts);
}

void TCommTimeoutsEx::Load(const TimeoutValues& values) {
  SetReadInterval(values.read_interval);
  SetReadMultiplier(values.read_multiplier);
  SetReadConstant(values.read_constant);
  SetWriteMultiplier(values.write_multiplier);
  SetWriteConstant(values.write_constant);
}

}  // namespace serial
