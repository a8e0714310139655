// Flow-control presets, DTR normalisation, read-back of the live block and the queue clamp.
#include "serial/line_control.h"

#include <gtest/gtest.h>

#include <ostream>

namespace serial {

void PrintTo(const LineControl& l, std::ostream* os) {
  *os << "{rts " << +l.rts.bits() << " dtr " << +l.dtr.bits() << " xonxoff "
      << +l.xonxoff.bits() << "}";
}

namespace {

struct PresetRow {
  TFlowControl flow_control;
  LineControl plain;       // without coLeaveDTROpen
  LineControl left_open;   // with it
};

class Preset : public testing::TestWithParam<PresetRow> {};

TEST_P(Preset, GivesItsLineControlWithAndWithoutLeavingDTROpen) {
  const PresetRow& row = GetParam();
  EXPECT_EQ(PresetLineControl(row.flow_control, {}), row.plain);
  EXPECT_EQ(PresetLineControl(row.flow_control, {coLeaveDTROpen, coParityCheck}), row.left_open);
}

INSTANTIATE_TEST_SUITE_P(
    FlowControl, Preset,
    testing::Values(
        PresetRow{fcNone, {}, {{}, {fsDTREnabled}, {}}},
        PresetRow{fcRtsCts,
                  {{fsCTSOut, fsRTSHandshake}, {fsDTREnabled}, {}},
                  {{fsCTSOut, fsRTSHandshake}, {fsDTREnabled}, {}}},
        PresetRow{fcDtrDsr,
                  {{fsRTSEnabled}, {fsDSROut, fsDTREnabled}, {}},
                  {{fsRTSEnabled}, {fsDSROut, fsDTREnabled}, {}}},
        PresetRow{fcSoftware,
                  {{}, {fsDTREnabled}, {fsInX, fsOutX}},
                  {{}, {fsDTREnabled}, {fsInX, fsOutX}}},
        PresetRow{fcCustom, {{}, {fsDTREnabled}, {}}, {{}, {fsDTREnabled}, {}}}));

TEST(DTRNormalisation, NeverHoldsEnabledAndHandshakeTogether) {
  struct Case {
    TDTRSettings requested, stored;
    TCommOptions options;
    TDTRSettings expected;
  };
  const TDTRSettings both{fsDTREnabled, fsDTRHandshake};
  for (const Case& c : {
           Case{both, {fsDTRHandshake}, {}, {fsDTREnabled}},     // handshake was set: enable wins
           Case{both, {fsDTREnabled}, {}, {fsDTRHandshake}},     // enable was set: handshake wins
           Case{both, {}, {}, {fsDTRHandshake}},
           Case{{fsDSROut, fsDTRHandshake}, {}, {coLeaveDTROpen}, {fsDSROut, fsDTREnabled}},
           Case{both, {}, {coLeaveDTROpen}, {fsDTREnabled}},
           Case{{fsDSROut}, {fsDTRHandshake}, {}, {fsDSROut}},
       }) {
    EXPECT_EQ(NormaliseDTR(c.requested, c.stored, c.options), c.expected)
        << +c.requested.bits() << " over " << +c.stored.bits();
  }
}

TEST(ReadBack, MapsTheLiveFlagsOntoTheSetsAndOptions) {
  platform::DCB dcb{};
  dcb.fDtrControl = platform::DTR_CONTROL_HANDSHAKE;
  dcb.fOutxDsrFlow = 1;
  dcb.fRtsControl = platform::RTS_CONTROL_TOGGLE;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutX = 1;
  dcb.fParity = dcb.fDsrSensitivity = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = 1;
  dcb.fTXContinueOnXoff = 1;
  const LineReadBack back = ReadBackLineControl(dcb, {});
  EXPECT_EQ(back.line, (LineControl{{fsRTSHandshake, fsRTSEnabled, fsCTSOut},
                                    {fsDTRHandshake, fsDSROut},
                                    {fsOutX}}));
  EXPECT_EQ(back.options, (TCommOptions{coParityCheck, coDSRSensitivity, coErrorChar,
                                         coDiscardNull, coAbortOnError, coTXContinueOnXOff}));
}

TEST(ReadBack, LeaveDTROpenComesFromTheStoredOptionsOnly) {
  platform::DCB dcb{};
  dcb.fDtrControl = platform::DTR_CONTROL_ENABLE;
  dcb.fInX = 1;
  const LineReadBack kept = ReadBackLineControl(dcb, {coLeaveDTROpen, coParityCheck});
  EXPECT_EQ(kept.options, TCommOptions{coLeaveDTROpen});
  EXPECT_EQ(kept.line, (LineControl{{}, {fsDTREnabled}, {fsInX}}));
  EXPECT_EQ(ReadBackLineControl(dcb, {}).options, TCommOptions{});
}

TEST(QueueSizeClamp, BoundDependsOnTheSystemFamilyAndVersion) {
  const platform::OsVersion nt4{platform::VER_PLATFORM_WIN32_NT, 4};
  const platform::OsVersion nt10{platform::VER_PLATFORM_WIN32_NT, 10};
  const platform::OsVersion nt3{platform::VER_PLATFORM_WIN32_NT, 3};
  const platform::OsVersion win9x{platform::VER_PLATFORM_WIN32_WINDOWS, 4};
  struct Case {
    platform::OsVersion version;
    std::uint16_t value, expected;
  };
  for (const Case& c : {Case{nt4, 0, 128}, Case{nt4, 100, 128}, Case{nt4, 127, 128},
                        Case{nt4, 128, 128}, Case{nt4, 2048, 2048}, Case{nt4, 4096, 4096},
                        Case{nt4, 4097, 4096}, Case{nt10, 10000, 4096}, Case{nt3, 10000, 8192},
                        Case{win9x, 8192, 8192}, Case{win9x, 8193, 8192},
                        Case{win9x, 65535, 8192}, Case{win9x, 100, 128}}) {
    EXPECT_EQ(ClampQueueSize(c.value, c.version), c.expected)
        << c.value << " on " << c.version.dwPlatformId << "/" << c.version.dwMajorVersion;
  }
}

}  // namespace
}  // namespace serial
