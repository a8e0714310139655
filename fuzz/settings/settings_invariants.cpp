// What holds after every step of a settings run, closed or open.
#include "fuzz/fuzz_check.h"
#include "fuzz/settings/settings_rig.h"
#include "serial/line_control.h"

namespace fuzz {
namespace {

using namespace serial;

// Fields of a block that no setting can make meaningless.
void CheckBlockSane(const platform::DCB& dcb) {
  FUZZ_REQUIRE(dcb.DCBlength == platform::kDcbLength);
  FUZZ_REQUIRE(dcb.fBinary == 1);
  FUZZ_REQUIRE(dcb.fDtrControl != (platform::DTR_CONTROL_ENABLE | platform::DTR_CONTROL_HANDSHAKE));
  FUZZ_REQUIRE(dcb.ByteSize >= 4 && dcb.ByteSize <= 8);
  FUZZ_REQUIRE(dcb.Parity <= platform::SPACEPARITY);
  FUZZ_REQUIRE(dcb.StopBits <= platform::TWOSTOPBITS);
  FUZZ_REQUIRE(dcb.XonLim == dcb.XoffLim);
  FUZZ_REQUIRE(dcb.XonLim >= 32 && dcb.XonLim <= 2048);
  FUZZ_REQUIRE(dcb.fDummy2 == 0 && dcb.wReserved == 0 && dcb.wReserved1 == 0);
}

// The device holds what the stored settings build. The flow limits are left out: they
// follow InputSize only at the next UpdateDCB, since a queue size change applies the queue
// sizes alone.
void CheckDeviceInStep(SettingsRig& rig) {
  platform::DCB device = rig.state->Dcb();
  CheckBlockSane(device);
  platform::DCB built = BuildDCB(SettingsAsRead(rig.comm));
  built.XonLim = device.XonLim;
  built.XoffLim = device.XoffLim;
  FUZZ_REQUIRE(built == device);
}

void CheckBaud(TCustomComm& c) {
  const TBaudRate rate = c.BaudRate();
  FUZZ_REQUIRE(rate >= br110 && rate <= brCustom);
  if (rate != brCustom) FUZZ_REQUIRE(c.BaudValue() == BaudTable[rate]);
}

// A preset decides the three sets; only fcCustom lets them differ.
void CheckPreset(TCustomComm& c) {
  const TFlowControl flow = c.FlowControl();
  FUZZ_REQUIRE(flow >= fcNone && flow <= fcCustom);
  if (flow == fcCustom) return;
  const LineControl held{c.RTSSettings(), c.DTRSettings(), c.XOnXOffSettings()};
  FUZZ_REQUIRE(held == PresetLineControl(flow, c.Options()));
}

void CheckQueueSizes(SettingsRig& rig) {
  const std::uint16_t bound = rig.bound_raised ? 8192 : 4096;
  for (std::uint16_t size : {rig.comm.Buffers().InputSize(), rig.comm.Buffers().OutputSize()})
    FUZZ_REQUIRE(size >= 128 && size <= bound);
}

}  // namespace

void CheckSettingsInvariants(SettingsRig& rig) {
  TCustomComm& c = rig.comm;
  const TDTRSettings dtr = c.DTRSettings();
  FUZZ_REQUIRE(!(dtr.Contains(fsDTREnabled) && dtr.Contains(fsDTRHandshake)));
  if (c.Options().Contains(coLeaveDTROpen)) FUZZ_REQUIRE(dtr.Contains(fsDTREnabled));
  CheckBaud(c);
  CheckPreset(c);
  CheckQueueSizes(rig);
  CheckBlockSane(BuildDCB(SettingsAsRead(c)));
  if (c.IsOpen()) CheckDeviceInStep(rig);
}

}  // namespace fuzz
