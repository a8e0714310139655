#pragma once
// Readable failure output for the device control block: the fields that are set.
#include <ostream>

#include "serial/platform/comm_types.h"

namespace serial::platform {

inline void PrintTo(const DCB& d, std::ostream* os) {
  *os << "{len " << d.DCBlength << " baud " << d.BaudRate << " bin " << d.fBinary << " par "
      << d.fParity << " cts " << d.fOutxCtsFlow << " dsr " << d.fOutxDsrFlow << " dtr "
      << d.fDtrControl << " dsrsens " << d.fDsrSensitivity << " txcont " << d.fTXContinueOnXoff
      << " outx " << d.fOutX << " inx " << d.fInX << " errch " << d.fErrorChar << " null "
      << d.fNull << " rts " << d.fRtsControl << " abort " << d.fAbortOnError << " lim "
      << d.XonLim << "/" << d.XoffLim << " size " << +d.ByteSize << " parity " << +d.Parity
      << " stop " << +d.StopBits << " chars " << +d.XonChar << "," << +d.XoffChar << ","
      << +d.ErrorChar << "," << +d.EofChar << "," << +d.EvtChar << "}";
}

}  // namespace serial::platform
