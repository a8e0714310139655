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
  PutDataControl(dcb, s.data_control);
  PutEventChars(dcb, s.event_chars);
  return dcb;
}

// The block counts data bits from 0, the settings from db4; parity and stop bits are the
// members' ordinals.
void PutDataControl(platform::DCB& dcb, const DataControlValues& values) {
  dcb.ByteSize = static_cast<std::uint8_t>(values.data_bits + 4);
  dcb.Parity = static_cast<std::uint8_t>(values.parity);
  dcb.StopBits = static_cast<std::uint8_t>(values.stop_bits);
}

DataControlValues DataControlFrom(const platform::DCB& dcb) {
  return {.data_bits = static_cast<TDataBits>(dcb.ByteSize - 4),
          .parity = static_cast<TParity>(dcb.Parity),
          .stop_bits = static_cast<TStopBits>(dcb.StopBits)};
}

void PutEventChars(platform::DCB& dcb, const EventCharValues& values) {
  dcb.XonChar = values.xon_char;
  dcb.XoffChar = values.xoff_char;
  dcb.EofChar = values.eof_char;
  dcb.ErrorChar = values.error_char;
  dcb.EvtChar = values.event_char;
}

EventCharValues EventCharsFrom(const platform::DCB& dcb) {
  return {.xon_char = dcb.XonChar,
          .xoff_char = dcb.XoffChar,
          .eof_char = dcb.EofChar,
          .error_char = dcb.ErrorChar,
          .event_char = dcb.EvtChar};
}

}  // namespace serial
