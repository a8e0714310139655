#include "serial/dcb_builder.h"

namespace serial {
namespace {

std::uint32_t Flag(bool on) { return on ? 1u : 0u; }

std::uint32_t DtrControl(const StoredLineSettings& s) {
  // Leaving DTR open means holding it enabled while the port is open.
  std::uint32_t control = 0;
  if (s.line.dtr_settings.Contains(fsDTREnabled) || s.line.options.Contains(coLeaveDTROpen))
    control |= platform::DTR_CONTROL_ENABLE;
  if (s.line.dtr_settings.Contains(fsDTRHandshake)) control |= platform::DTR_CONTROL_HANDSHAKE;
  return control;
}

std::uint32_t RtsControl(const StoredLineSettings& s) {
  // Both members together give RTS_CONTROL_TOGGLE.
  std::uint32_t control = 0;
  if (s.line.rts_settings.Contains(fsRTSEnabled)) control |= platform::RTS_CONTROL_ENABLE;
  if (s.line.rts_settings.Contains(fsRTSHandshake)) control |= platform::RTS_CONTROL_HANDSHAKE;
  return control;
}

void SetFlags(platform::DCB& dcb, const StoredLineSettings& s) {
  dcb.fBinary = 1;
  dcb.fParity = Flag(s.line.options.Contains(coParityCheck));
  dcb.fOutxCtsFlow = Flag(s.line.rts_settings.Contains(fsCTSOut));
  dcb.fOutxDsrFlow = Flag(s.line.dtr_settings.Contains(fsDSROut));
  dcb.fDtrControl = DtrControl(s);
  dcb.fDsrSensitivity = Flag(s.line.options.Contains(coDSRSensitivity));
  dcb.fTXContinueOnXoff = Flag(s.line.options.Contains(coTXContinueOnXOff));
  dcb.fOutX = Flag(s.line.xonxoff_settings.Contains(fsOutX));
  dcb.fInX = Flag(s.line.xonxoff_settings.Contains(fsInX));
  dcb.fErrorChar = Flag(s.line.options.Contains(coErrorChar));
  dcb.fNull = Flag(s.line.options.Contains(coDiscardNull));
  dcb.fRtsControl = RtsControl(s);
  dcb.fAbortOnError = Flag(s.line.options.Contains(coAbortOnError));
}

}  // namespace

platform::DCB BuildDCB(const StoredLineSettings& s) {
  platform::DCB dcb{};
  dcb.DCBlength = platform::kDcbLength;
  dcb.BaudRate = s.line.baud_value;
  SetFlags(dcb, s);
  dcb.XonLim = static_cast<std::uint16_t>(s.buffers.input_size / 4);
  dcb.XoffLim = static_cast<std::uint16_t>(s.buffers.input_size / 4);
  dcb.ByteSize = static_cast<std::uint8_t>(s.data_control.data_bits + 4);
  dcb.Parity = static_cast<std::uint8_t>(s.data_control.parity);
  dcb.StopBits = static_cast<std::uint8_t>(s.data_control.stop_bits);
  dcb.XonChar = s.event_chars.xon_char;
  dcb.XoffChar = s.event_chars.xoff_char;
  dcb.ErrorChar = s.event_chars.error_char;
  dcb.EofChar = s.event_chars.eof_char;
  dcb.EvtChar = s.event_chars.event_char;
  return dcb;
}

}  // namespace serial
