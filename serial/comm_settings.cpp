// The four settings objects: reads consult the open device, writes store and then apply.
#include "serial/comm_settings.h"

#include <string>

#include "serial/custom_comm.h"
#include "serial/enum_range.h"
#include "serial/line_control.h"

namespace serial {

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string from = source != nullptr ? source->ClassName() : "null object";
  throw EAssignError("Cannot assign a " + from + " to a " + ClassName());
}

// ---- TCommDataControl -----------------------------------------------------------------

TDataBits TCommDataControl::DataBits() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TDataBits>(dcb.ByteSize - 4);
  return data_bits_;
}

TParity TCommDataControl::Parity() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TParity>(dcb.Parity);
  return parity_;
}

TStopBits TCommDataControl::StopBits() const {
  platform::DCB dcb;
  if (comm_->GetDCB(dcb)) return static_cast<TStopBits>(dcb.StopBits);
  return stop_bits_;
}

void TCommDataControl::SetDataBits(TDataBits value) {
  RequireMember(value, db8, "DataBits");
  if (value == data_bits_) return;
  data_bits_ = value;
  comm_->ApplyDCB();
}

void TCommDataControl::SetParity(TParity value) {
  RequireMember(value, paSpace, "Parity");
  if (value == parity_) return;
  parity_ = value;
  comm_->ApplyDCB();
}

void TCommDataControl::SetStopBits(TStopBits value) {
  RequireMember(value, sb2, "StopBits");
  if (value == stop_bits_) return;
  stop_bits_ = value;
  comm_->ApplyDCB();
}

void TCommDataControl::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommDataControl*>(source);
  if (from == nullptr) AssignError(source);
  data_bits_ = from->DataBits();
  parity_ = from->Parity();
  stop_bits_ = from->StopBits();
  comm_->ApplyDCB();
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
    return ReportedQueueSize(properties.dwCurrentRxQueue, input_size_);
  return input_size_;
}

std::uint16_t TCommBuffers::OutputSize() const {
  platform::COMMPROP properties;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommProperties(properties).Ok())
    return ReportedQueueSize(properties.dwCurrentTxQueue, output_size_);
  return output_size_;
}

void TCommBuffers::SetInputSize(std::uint16_t value) {
  value = ClampQueueSize(value, comm_->PlatformServices().GetVersion());
  if (value == input_size_) return;
  input_size_ = value;
  comm_->ApplyBuffers();
}

void TCommBuffers::SetOutputSize(std::uint16_t value) {
  value = ClampQueueSize(value, comm_->PlatformServices().GetVersion());
  if (value == output_size_) return;
  output_size_ = value;
  comm_->ApplyBuffers();
}

void TCommBuffers::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommBuffers*>(source);
  if (from == nullptr) AssignError(source);
  // Sizes as the source reports them, stored without the clamp; time-outs as stored.
  input_size_ = from->InputSize();
  output_size_ = from->OutputSize();
  input_timeout_ = from->input_timeout_;
  output_timeout_ = from->output_timeout_;
  comm_->ApplyBuffers();
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
  comm_->ApplyDCB();
}

std::uint8_t TCommEventChars::XonChar() const { return Live(&platform::DCB::XonChar, xon_); }
std::uint8_t TCommEventChars::XoffChar() const { return Live(&platform::DCB::XoffChar, xoff_); }
std::uint8_t TCommEventChars::EofChar() const { return Live(&platform::DCB::EofChar, eof_); }
std::uint8_t TCommEventChars::ErrorChar() const {
  return Live(&platform::DCB::ErrorChar, error_);
}
std::uint8_t TCommEventChars::EventChar() const { return Live(&platform::DCB::EvtChar, event_); }

void TCommEventChars::SetXonChar(std::uint8_t value) { Store(xon_, value); }
void TCommEventChars::SetXoffChar(std::uint8_t value) { Store(xoff_, value); }
void TCommEventChars::SetEofChar(std::uint8_t value) { Store(eof_, value); }
void TCommEventChars::SetErrorChar(std::uint8_t value) { Store(error_, value); }
void TCommEventChars::SetEventChar(std::uint8_t value) { Store(event_, value); }

void TCommEventChars::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommEventChars*>(source);
  if (from == nullptr) AssignError(source);
  xon_ = from->XonChar();
  xoff_ = from->XoffChar();
  eof_ = from->EofChar();
  error_ = from->ErrorChar();
  event_ = from->EventChar();
  comm_->ApplyDCB();
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
  comm_->ApplyTimeouts();
}

std::uint32_t TCommTimeoutsEx::ReadInterval() const {
  return Live(&platform::COMMTIMEOUTS::ReadIntervalTimeout, read_interval_);
}
std::uint32_t TCommTimeoutsEx::ReadMultiplier() const {
  return Live(&platform::COMMTIMEOUTS::ReadTotalTimeoutMultiplier, read_multiplier_);
}
std::uint32_t TCommTimeoutsEx::ReadConstant() const {
  return Live(&platform::COMMTIMEOUTS::ReadTotalTimeoutConstant, read_constant_);
}
std::uint32_t TCommTimeoutsEx::WriteMultiplier() const {
  return Live(&platform::COMMTIMEOUTS::WriteTotalTimeoutMultiplier, write_multiplier_);
}
std::uint32_t TCommTimeoutsEx::WriteConstant() const {
  return Live(&platform::COMMTIMEOUTS::WriteTotalTimeoutConstant, write_constant_);
}

void TCommTimeoutsEx::SetReadInterval(std::uint32_t value) { Store(read_interval_, value); }
void TCommTimeoutsEx::SetReadMultiplier(std::uint32_t value) { Store(read_multiplier_, value); }
void TCommTimeoutsEx::SetReadConstant(std::uint32_t value) { Store(read_constant_, value); }
void TCommTimeoutsEx::SetWriteMultiplier(std::uint32_t value) {
  Store(write_multiplier_, value);
}
void TCommTimeoutsEx::SetWriteConstant(std::uint32_t value) { Store(write_constant_, value); }

void TCommTimeoutsEx::Assign(const TPersistent* source) {
  const auto* from = dynamic_cast<const TCommTimeoutsEx*>(source);
  if (from == nullptr) AssignError(source);
  read_interval_ = from->ReadInterval();
  read_multiplier_ = from->ReadMultiplier();
  read_constant_ = from->ReadConstant();
  write_multiplier_ = from->WriteMultiplier();
  write_constant_ = from->WriteConstant();
  comm_->ApplyTimeouts();
}

}  // namespace serial
