#include "serial/platform/win32/comm_records.h"

namespace serial::platform::win32 {
namespace {

// Both device control blocks name their fields alike, so one copy serves both ways.
template <class From, class To>
void CopyDcb(const From& from, To& to) {
  to.DCBlength = sizeof to;
  to.BaudRate = from.BaudRate;
  to.fBinary = from.fBinary;
  to.fParity = from.fParity;
  to.fOutxCtsFlow = from.fOutxCtsFlow;
  to.fOutxDsrFlow = from.fOutxDsrFlow;
  to.fDtrControl = from.fDtrControl;
  to.fDsrSensitivity = from.fDsrSensitivity;
  to.fTXContinueOnXoff = from.fTXContinueOnXoff;
  to.fOutX = from.fOutX;
  to.fInX = from.fInX;
  to.fErrorChar = from.fErrorChar;
  to.fNull = from.fNull;
  to.fRtsControl = from.fRtsControl;
  to.fAbortOnError = from.fAbortOnError;
  to.fDummy2 = from.fDummy2;
  to.wReserved = from.wReserved;
  to.XonLim = from.XonLim;
  to.XoffLim = from.XoffLim;
  to.ByteSize = from.ByteSize;
  to.Parity = from.Parity;
  to.StopBits = from.StopBits;
  to.XonChar = static_cast<decltype(to.XonChar)>(from.XonChar);
  to.XoffChar = static_cast<decltype(to.XoffChar)>(from.XoffChar);
  to.ErrorChar = static_cast<decltype(to.ErrorChar)>(from.ErrorChar);
  to.EofChar = static_cast<decltype(to.EofChar)>(from.EofChar);
  to.EvtChar = static_cast<decltype(to.EvtChar)>(from.EvtChar);
  to.wReserved1 = from.wReserved1;
}

template <class From, class To>
void CopyTimeouts(const From& from, To& to) {
  to.ReadIntervalTimeout = from.ReadIntervalTimeout;
  to.ReadTotalTimeoutMultiplier = from.ReadTotalTimeoutMultiplier;
  to.ReadTotalTimeoutConstant = from.ReadTotalTimeoutConstant;
  to.WriteTotalTimeoutMultiplier = from.WriteTotalTimeoutMultiplier;
  to.WriteTotalTimeoutConstant = from.WriteTotalTimeoutConstant;
}

}  // namespace

::DCB ToSystem(const DCB& dcb) {
  ::DCB system{};
  CopyDcb(dcb, system);
  return system;
}

DCB FromSystem(const ::DCB& system) {
  DCB dcb;
  CopyDcb(system, dcb);
  return dcb;
}

::COMMTIMEOUTS ToSystem(const COMMTIMEOUTS& timeouts) {
  ::COMMTIMEOUTS system{};
  CopyTimeouts(timeouts, system);
  return system;
}

COMMTIMEOUTS FromSystem(const ::COMMTIMEOUTS& system) {
  COMMTIMEOUTS timeouts;
  CopyTimeouts(system, timeouts);
  return timeouts;
}

COMMPROP FromSystem(const ::COMMPROP& system) {
  return COMMPROP{.dwMaxTxQueue = system.dwMaxTxQueue,
                  .dwMaxRxQueue = system.dwMaxRxQueue,
                  .dwMaxBaud = system.dwMaxBaud,
                  .dwCurrentTxQueue = system.dwCurrentTxQueue,
                  .dwCurrentRxQueue = system.dwCurrentRxQueue};
}

COMSTAT FromSystem(const ::COMSTAT& system) {
  COMSTAT status;
  status.fCtsHold = system.fCtsHold;
  status.fDsrHold = system.fDsrHold;
  status.fRlsdHold = system.fRlsdHold;
  status.fXoffHold = system.fXoffHold;
  status.fXoffSent = system.fXoffSent;
  status.fEof = system.fEof;
  status.fTxim = system.fTxim;
  status.cbInQue = system.cbInQue;
  status.cbOutQue = system.cbOutQue;
  return status;
}

}  // namespace serial::platform::win32
