// Setter calls with input-chosen values. Enumerations are drawn a little beyond their
// members on both sides: such a value must be refused with std::invalid_argument.
#include "fuzz/settings/settings_values.h"

#include <string>

#include "fuzz/fuzz_check.h"

namespace fuzz {
namespace {

using namespace serial;

// An enumeration value from two below the first member to two above the last.
template <typename E>
E EnumValue(FuzzInput& in, E last, Allowed& allowed) {
  const int v = in.Range(-2, static_cast<int>(last) + 2);
  if (v < 0 || v > static_cast<int>(last)) allowed.invalid_argument = true;
  return static_cast<E>(v);
}

void BaudRateStep(TCustomComm& c, FuzzInput& in, Allowed& a) {
  c.SetBaudRate(EnumValue(in, brCustom, a));
}

void BaudValueStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  // Table rates half of the time, so that a custom rate equal to a member is common.
  const bool table = in.Bool();
  c.SetBaudValue(table ? BaudTable[in.Byte() % brCustom] : in.U32());
}

void DeviceNameStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  const std::vector<std::uint8_t> bytes = in.Bytes(8);
  const std::string before = c.DeviceName();
  const bool was_open = c.IsOpen();
  c.SetDeviceName(std::string(bytes.begin(), bytes.end()));
  if (was_open) FUZZ_REQUIRE(c.DeviceName() == before);
}

void FlowControlStep(TCustomComm& c, FuzzInput& in, Allowed& a) {
  c.SetFlowControl(EnumValue(in, fcCustom, a));
}

void LineSetStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  const int which = in.Range(0, 2);
  const std::uint8_t bits = in.Byte();  // members and bits beyond them
  if (which == 0) c.SetRTSSettings(TRTSSettings::FromBits(bits));
  if (which == 1) c.SetDTRSettings(TDTRSettings::FromBits(bits));
  if (which == 2) c.SetXOnXOffSettings(TXOnXOffSettings::FromBits(bits));
}

void DtrStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  // Both DTR members together, the case the setter must resolve, most of the time.
  std::uint8_t bits = in.Byte();
  if (bits & 0x80) bits |= 0x06;
  c.SetDTRSettings(TDTRSettings::FromBits(bits));
}

void OptionsStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  c.SetOptions(TCommOptions::FromBits(in.Byte()));
}

void PlainStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  if (in.Bool())
    c.SetMonitorEvents(TDeviceEvents::FromBits(in.U16()));
  else
    c.SetSynchronize(in.Bool());
}

void DataControlStep(TCustomComm& c, FuzzInput& in, Allowed& a) {
  switch (in.Range(0, 2)) {
    case 0: c.DataControl().SetDataBits(EnumValue(in, db8, a)); break;
    case 1: c.DataControl().SetParity(EnumValue(in, paSpace, a)); break;
    default: c.DataControl().SetStopBits(EnumValue(in, sb2, a)); break;
  }
}

void BuffersStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  const int which = in.Range(0, 3);
  const std::uint16_t v = in.U16();
  if (which == 0) c.Buffers().SetInputSize(v);
  if (which == 1) c.Buffers().SetOutputSize(v);
  if (which == 2) c.Buffers().SetInputTimeout(v);
  if (which == 3) c.Buffers().SetOutputTimeout(v);
}

void EventCharsStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  const int which = in.Range(0, 4);
  const std::uint8_t v = in.Byte();
  TCommEventChars& e = c.EventChars();
  if (which == 0) e.SetXonChar(v);
  if (which == 1) e.SetXoffChar(v);
  if (which == 2) e.SetEofChar(v);
  if (which == 3) e.SetErrorChar(v);
  if (which == 4) e.SetEventChar(v);
}

void TimeoutsStep(TCustomComm& c, FuzzInput& in, Allowed&) {
  const int which = in.Range(0, 4);
  const std::uint32_t v = in.Bool() ? in.Byte() : in.U32();
  TCommTimeoutsEx& t = c.Timeouts();
  if (which == 0) t.SetReadInterval(v);
  if (which == 1) t.SetReadMultiplier(v);
  if (which == 2) t.SetReadConstant(v);
  if (which == 3) t.SetWriteMultiplier(v);
  if (which == 4) t.SetWriteConstant(v);
}

void ReadStep(TCustomComm& c, FuzzInput&, Allowed&) {
  // Reads while open refresh stored values from the device; they must raise nothing.
  (void)Snap(c);
  (void)c.MonitorEvents();
  (void)c.LockState();
}

using ValueStep = void (*)(TCustomComm&, FuzzInput&, Allowed&);
constexpr ValueStep kValueSteps[kValueStepCount] = {
    BaudRateStep, BaudValueStep, DeviceNameStep, FlowControlStep, LineSetStep,
    DtrStep,      OptionsStep,   PlainStep,      DataControlStep, BuffersStep,
    EventCharsStep, TimeoutsStep, ReadStep};

}  // namespace

void RunValueStep(int which, TCustomComm& comm, FuzzInput& in, Allowed& allowed) {
  kValueSteps[which](comm, in, allowed);
}

}  // namespace fuzz
