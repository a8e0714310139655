#pragma once
// Enumerations and sets of the port settings. Every enumeration is stored in 32 bits; every
// set is a bit mask in which member n is bit n.
#include <cstdint>

#include "serial/enum_set.h"

namespace serial {

enum TBaudRate : std::int32_t {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000, brCustom
};

// Bits per second of each table member below brCustom, indexed by ordinal.
inline constexpr std::uint32_t BaudTable[brCustom] = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

enum TFlowControl : std::int32_t { fcNone, fcRtsCts, fcDtrDsr, fcSoftware, fcCustom };
enum TDataBits : std::int32_t { db4, db5, db6, db7, db8 };  // d stands for d + 4 data bits
enum TParity : std::int32_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::int32_t { sb1, sb1p5, sb2 };

enum TRTSSetting : std::int32_t { fsCTSOut, fsRTSEnabled, fsRTSHandshake };
enum TDTRSetting : std::int32_t { fsDSROut, fsDTREnabled, fsDTRHandshake };
enum TXOnXOffSetting : std::int32_t { fsInX, fsOutX };
enum TCommOption : std::int32_t {
  coAbortOnError, coDiscardNull, coDSRSensitivity, coErrorChar, coParityCheck,
  coTXContinueOnXOff, coLeaveDTROpen
};
// Bit for bit the operating system's communication event mask.
enum TDeviceEvent : std::int32_t {
  deChar, deFlag, deOutEmpty, deCTS, deDSR, deRLSD, deBreak, deError, deRing,
  dePrintError, deIn80Full, deProv1, deProv2
};
enum TCommLock : std::int32_t { lkSend, lkRead };

using TRTSSettings = EnumSet<TRTSSetting, std::uint8_t>;
using TDTRSettings = EnumSet<TDTRSetting, std::uint8_t>;
using TXOnXOffSettings = EnumSet<TXOnXOffSetting, std::uint8_t>;
using TCommOptions = EnumSet<TCommOption, std::uint8_t>;
using TDeviceEvents = EnumSet<TDeviceEvent, std::uint16_t>;
using TCommLocks = EnumSet<TCommLock, std::uint8_t>;

}  // namespace serial
