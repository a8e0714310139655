#pragma once
// Records and constants of the serial communications interface, shaped like the Win32 ones
// so the component's logic reads the same on every platform. Only serial/platform/ maps them
// onto a real operating system.
#include <cstdint>

namespace serial::platform {

// Device control block. Field order and widths follow the Win32 record, whose size is 28.
struct DCB {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  std::uint32_t fBinary : 1 = 0;
  std::uint32_t fParity : 1 = 0;
  std::uint32_t fOutxCtsFlow : 1 = 0;
  std::uint32_t fOutxDsrFlow : 1 = 0;
  std::uint32_t fDtrControl : 2 = 0;
  std::uint32_t fDsrSensitivity : 1 = 0;
  std::uint32_t fTXContinueOnXoff : 1 = 0;
  std::uint32_t fOutX : 1 = 0;
  std::uint32_t fInX : 1 = 0;
  std::uint32_t fErrorChar : 1 = 0;
  std::uint32_t fNull : 1 = 0;
  std::uint32_t fRtsControl : 2 = 0;
  std::uint32_t fAbortOnError : 1 = 0;
  std::uint32_t fDummy2 : 17 = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  friend bool operator==(const DCB&, const DCB&) = default;
};
static_assert(sizeof(DCB) == 28, "the device control block keeps the Win32 size");
inline constexpr std::uint32_t kDcbLength = 28;

inline constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint32_t RTS_CONTROL_TOGGLE = 3;

inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;

inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

// Time-outs in milliseconds, in the order of the Win32 record.
struct COMMTIMEOUTS {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const COMMTIMEOUTS&, const COMMTIMEOUTS&) = default;
};

// Device properties; the component uses the current queue sizes.
struct COMMPROP {
  std::uint32_t dwMaxTxQueue = 0;
  std::uint32_t dwMaxRxQueue = 0;
  std::uint32_t dwMaxBaud = 0;
  std::uint32_t dwCurrentTxQueue = 0;
  std::uint32_t dwCurrentRxQueue = 0;

  friend bool operator==(const COMMPROP&, const COMMPROP&) = default;
};

// Queue status reported with the error flags.
struct COMSTAT {
  std::uint32_t fCtsHold : 1 = 0;
  std::uint32_t fDsrHold : 1 = 0;
  std::uint32_t fRlsdHold : 1 = 0;
  std::uint32_t fXoffHold : 1 = 0;
  std::uint32_t fXoffSent : 1 = 0;
  std::uint32_t fEof : 1 = 0;
  std::uint32_t fTxim : 1 = 0;
  std::uint32_t fReserved : 25 = 0;
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

// Error flags of ClearCommError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;

// Communication event mask bits.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_EVENT1 = 0x0800;
inline constexpr std::uint32_t EV_EVENT2 = 0x1000;

// Purge flags.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Operating system family and version, for the driver queue size bound.
inline constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;
struct OsVersion {
  std::uint32_t dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::uint32_t dwMajorVersion = 4;
};

}  // namespace serial::platform
