// The four settings objects: where each group's live values come from, and which apply
// operation takes the group to an open device.
#include "serial/comm_settings.h"

#include <string>

#include "serial/custom_comm.h"
#include "serial/dcb_builder.h"
#include "serial/line_control.h"
#include "serial/timeouts_record.h"

namespace serial {

namespace {

// A written value reaches the device at once while the component is open.
void ApplyTo(TCustomComm& comm, bool (TCustomComm::*update)()) {
  if (comm.IsOpen()) (comm.*update)();
}

// A queue size the device reports, in its low 16 bits; 0 means "not known", so the stored
// size stands.
std::uint16_t ReportedQueueSize(std::uint32_t reported, std::uint16_t stored) {
  const auto low = static_cast<std::uint16_t>(reported & 0xFFFFu);
  return low != 0 ? low : stored;
}

}  // namespace

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string from = source != nullptr ? source->ClassName() : "null object";
  throw EAssignError("Cannot assign a " + from + " to a " + ClassName());
}

DataControlValues TCommDataControl::LiveValues() const {
  platform::DCB dcb;
  return comm_->GetDCB(dcb) ? DataControlFrom(dcb) : values_;
}

void TCommDataControl::ApplyIfOpen() { ApplyTo(*comm_, &TCustomComm::UpdateDCB); }

BufferValues TCommBuffers::LiveValues() const {
  BufferValues live = values_;
  platform::COMMPROP properties;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommProperties(properties).Ok()) {
    live.input_size = ReportedQueueSize(properties.dwCurrentRxQueue, values_.input_size);
    live.output_size = ReportedQueueSize(properties.dwCurrentTxQueue, values_.output_size);
  }
  return live;
}

void TCommBuffers::ApplyIfOpen() { ApplyTo(*comm_, &TCustomComm::UpdateBuffers); }

std::uint16_t TCommBuffers::Clamped(std::uint16_t size) const {
  return ClampQueueSize(size, comm_->PlatformServices().GetVersion());
}

EventCharValues TCommEventChars::LiveValues() const {
  platform::DCB dcb;
  return comm_->GetDCB(dcb) ? EventCharsFrom(dcb) : values_;
}

void TCommEventChars::ApplyIfOpen() { ApplyTo(*comm_, &TCustomComm::UpdateDCB); }

TimeoutValues TCommTimeoutsEx::LiveValues() const {
  platform::COMMTIMEOUTS timeouts;
  platform::SerialDevice* device = comm_->Device();
  if (device != nullptr && device->GetCommTimeouts(timeouts).Ok()) return TimeoutsFrom(timeouts);
  return values_;
}

void TCommTimeoutsEx::ApplyIfOpen() { ApplyTo(*comm_, &TCustomComm::UpdateTimeouts); }

}  // namespace serial
