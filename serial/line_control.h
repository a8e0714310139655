#pragma once
// The rules that tie the three line-control sets to the flow-control preset, the options
// and the live device control block. Pure functions of their arguments.
#include <cstdint>

#include "serial/comm_types.h"
#include "serial/platform/comm_types.h"

namespace serial {

struct LineControl {
  TRTSSettings rts;
  TDTRSettings dtr;
  TXOnXOffSettings xonxoff;
  friend bool operator==(const LineControl&, const LineControl&) = default;
};

// The three sets a flow-control preset stands for (fcNone and fcCustom set no handshake;
// every preset but fcNone enables DTR; coLeaveDTROpen enables it always).
LineControl PresetLineControl(TFlowControl flow_control, TCommOptions options);

// A requested DTRSettings value made consistent: coLeaveDTROpen forces DTR enabled without
// handshake, and of fsDTREnabled and fsDTRHandshake together the member that was not set
// before wins, so the two are never held together.
TDTRSettings NormaliseDTR(TDTRSettings requested, TDTRSettings stored, TCommOptions options);

// The line-control sets and options as the live device control block reports them.
// coLeaveDTROpen has no flag of its own in the block and keeps its stored state.
struct LineReadBack {
  LineControl line;
  TCommOptions options;
};
LineReadBack ReadBackLineControl(const platform::DCB& dcb, TCommOptions stored_options);

// Driver queue sizes: at least 128 bytes and at most 4096 on the NT family from 4.0 on,
// else 8192.
std::uint16_t QueueSizeBound(const platform::OsVersion& version);
std::uint16_t ClampQueueSize(std::uint16_t value, const platform::OsVersion& version);

}  // namespace serial
