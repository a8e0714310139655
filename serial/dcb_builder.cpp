#include "serial/dcb_builder.h"

namespace serial {
namespace {

std::uint32_t Flag(bool on) { return on ? 1u : 0u; }

std::uint32_t DtrControl(const StoredLineSettings& s) {
  // Leaving DTR open means holding it enabled while the port is open.
  std::uint32_t control = 0;
  if (s.dtr.Contains(fsDTREnabled) || s.options.Contains(coLeaveDTROpen))
    control |= platform::DTR_CONTROL_ENABLE;
  if (s.dtr.Contains(fsDTRHandshake)) control |= platform::DTR_CONTROL_HANDSHAKE;
  return control;
}

std::uint32_t RtsControl(const StoredLineSettings& s) {
  // Both members together give RTS_CONTROL_TOGGLE.
  std::uint32_t control = 0;
  if (s.rts.Contains(fsRTSEnabled)) control |= platform::RTS_CONTROL_ENABLE;
  if (s.rts.Contains(fsRTSHandshake)) control |= platform::RTS_CONTROL_HANDSHAKE;
  return control;
}

void SetFlags(platform::DCB& dcb, const StoredLineSettings& s) {
  dcb.fBinary = 1;
  dcb.fParity = Flag(s.options.Contains(coParityCheck));
  dcb.fOutxCtsFlow = Flag(s.rts.Contains(fsCTSOut));
  dcb.fOutxDsrFlow = Flag(s.dtr.Contains(fsDSROut));
  dcb.fDtrControl = DtrControl(s);
  dcb.fDsrSensitivity = Flag(s.options.Contains(coDSRSensitivity));
  dcb.fTXContinueOnXoff = Flag(s.options.Contains(coTXContinueOnXOff));
  dcb.fOutX = Flag(s.xonxoff.Contains(fsOutX));
  dcb.fInX = Flag(s.xonxoff.Contains(fsInX));
  dcb.fErrorChar = Flag(s.options.Contains(coErrorChar));
  dcb.fNull = Flag(s.options.Contains(coDiscardNull));
  dcb.fRtsControl = RtsControl(s);
  dcb.fAbortOnError = Flag(s.options.Contains(coAbortOnError));
}

}  // namespace

platform::DCB BuildDCB(const StoredLineSettings& s) {
  platform::DCB dcb{};
  dcb.DCBlength = platform::kDcbLength;
  dcb.BaudRate = s.baud_value;
  SetFlags(dcb, s);
  dcb.XonLim = static_cast<std::uint16_t>(s.input_size / 4);
  dcb.XoffLim = static_cast<std::uint16_t>(s.input_size / 4);
  dcb.ByteSize = static_cast<std::uint8_t>(s.data_bits + 4);
  dcb.Parity = static_cast<std::uint8_t>(s.parity);
  dcb.StopBits = static_cast<std::uint8_t>(s.stop_bits);
  dcb.XonChar = s.xon_char;
  dcb.XoffChar = s.xoff_char;
  dcb.ErrorChar = s.error_char;
  dcb.EofChar = s.eof_char;
  dcb.EvtChar = s.event_char;
  return dcb;
}

}  // namespace serial
