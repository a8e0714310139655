#include "serial/line_control.h"

#include <algorithm>

namespace serial {

LineControl PresetLineControl(TFlowControl flow_control, TCommOptions options) {
  LineControl line;
  switch (flow_control) {
    case fcRtsCts: line.rts = {fsCTSOut, fsRTSHandshake}; break;
    case fcDtrDsr:
      line.dtr = {fsDSROut};
      line.rts = {fsRTSEnabled};
      break;
    case fcSoftware: line.xonxoff = {fsInX, fsOutX}; break;
    case fcNone:
    case fcCustom: break;
  }
  if (flow_control != fcNone) line.dtr.Include(fsDTREnabled);
  if (options.Contains(coLeaveDTROpen)) line.dtr.Include(fsDTREnabled).Exclude(fsDTRHandshake);
  return line;
}

TDTRSettings NormaliseDTR(TDTRSettings requested, TDTRSettings stored, TCommOptions options) {
  if (options.Contains(coLeaveDTROpen)) requested.Exclude(fsDTRHandshake).Include(fsDTREnabled);
  if (requested.Contains(fsDTREnabled) && requested.Contains(fsDTRHandshake)) {
    if (stored.Contains(fsDTRHandshake))
      requested.Exclude(fsDTRHandshake);
    else
      requested.Exclude(fsDTREnabled);
  }
  return requested;
}

namespace {

TCommOptions ReadBackOptions(const platform::DCB& dcb, TCommOptions stored_options) {
  TCommOptions options;
  if (stored_options.Contains(coLeaveDTROpen)) options.Include(coLeaveDTROpen);
  if (dcb.fParity) options.Include(coParityCheck);
  if (dcb.fDsrSensitivity) options.Include(coDSRSensitivity);
  if (dcb.fErrorChar) options.Include(coErrorChar);
  if (dcb.fNull) options.Include(coDiscardNull);
  if (dcb.fAbortOnError) options.Include(coAbortOnError);
  if (dcb.fTXContinueOnXoff) options.Include(coTXContinueOnXOff);
  return options;
}

}  // namespace

LineReadBack ReadBackLineControl(const platform::DCB& dcb, TCommOptions stored_options) {
  LineReadBack back;
  if (dcb.fDtrControl & platform::DTR_CONTROL_HANDSHAKE) back.line.dtr.Include(fsDTRHandshake);
  if (dcb.fDtrControl & platform::DTR_CONTROL_ENABLE) back.line.dtr.Include(fsDTREnabled);
  if (dcb.fOutxDsrFlow) back.line.dtr.Include(fsDSROut);
  if (dcb.fRtsControl & platform::RTS_CONTROL_HANDSHAKE) back.line.rts.Include(fsRTSHandshake);
  if (dcb.fRtsControl & platform::RTS_CONTROL_ENABLE) back.line.rts.Include(fsRTSEnabled);
  if (dcb.fOutxCtsFlow) back.line.rts.Include(fsCTSOut);
  if (dcb.fOutX) back.line.xonxoff.Include(fsOutX);
  if (dcb.fInX) back.line.xonxoff.Include(fsInX);
  back.options = ReadBackOptions(dcb, stored_options);
  return back;
}

std::uint16_t QueueSizeBound(const platform::OsVersion& version) {
  const bool nt4_or_later =
      version.dwPlatformId == platform::VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 4;
  return nt4_or_later ? 4096 : 8192;
}

std::uint16_t ClampQueueSize(std::uint16_t value, const platform::OsVersion& version) {
  return std::clamp<std::uint16_t>(value, 128, QueueSizeBound(version));
}

}  // namespace serial
