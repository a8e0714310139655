// The device control block built from stored settings, field by field, and the device
// records read back into the settings.
#include "serial/dcb_builder.h"

#include <gtest/gtest.h>

#include <functional>

#include "serial/tests/dcb_print.h"
#include "serial/timeouts_record.h"

namespace serial {
namespace {

using platform::DCB;

// The block of the component's defaults: 9600 8N1, no handshake, DTR and RTS held inactive.
DCB DefaultBlock() {
  DCB dcb{};
  dcb.DCBlength = 28;
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.XonLim = 512;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.EvtChar = 10;
  return dcb;
}

TEST(DeviceControlBlock, DefaultsGiveA9600EightNoneOneBlockWithEveryOtherFieldZero) {
  EXPECT_EQ(BuildDCB(StoredLineSettings{}), DefaultBlock());
}

struct Row {
  const char* name;
  std::function<void(StoredLineSettings&)> setting;
  std::function<void(DCB&)> expected;  // the change against the default block
};

const Row kRows[] = {
    {"BaudValue", [](auto& s) { s.line.baud_value = 76800; }, [](auto& d) { d.BaudRate = 76800; }},
    {"ParityCheck", [](auto& s) { s.line.options = {coParityCheck}; }, [](auto& d) { d.fParity = 1; }},
    {"CTSOut", [](auto& s) { s.line.rts_settings = {fsCTSOut}; }, [](auto& d) { d.fOutxCtsFlow = 1; }},
    {"DSROut", [](auto& s) { s.line.dtr_settings = {fsDSROut}; }, [](auto& d) { d.fOutxDsrFlow = 1; }},
    {"DTREnabled", [](auto& s) { s.line.dtr_settings = {fsDTREnabled}; }, [](auto& d) { d.fDtrControl = 1; }},
    {"LeaveDTROpen", [](auto& s) { s.line.options = {coLeaveDTROpen}; },
     [](auto& d) { d.fDtrControl = 1; }},
    {"DTRHandshake", [](auto& s) { s.line.dtr_settings = {fsDTRHandshake}; },
     [](auto& d) { d.fDtrControl = 2; }},
    {"DTRHandshakeLeftOpen",
     [](auto& s) {
       s.line.dtr_settings = {fsDTRHandshake};
       s.line.options = {coLeaveDTROpen};
     },
     [](auto& d) { d.fDtrControl = 3; }},
    {"DSRSensitivity", [](auto& s) { s.line.options = {coDSRSensitivity}; },
     [](auto& d) { d.fDsrSensitivity = 1; }},
    {"TXContinueOnXOff", [](auto& s) { s.line.options = {coTXContinueOnXOff}; },
     [](auto& d) { d.fTXContinueOnXoff = 1; }},
    {"OutX", [](auto& s) { s.line.xonxoff_settings = {fsOutX}; }, [](auto& d) { d.fOutX = 1; }},
    {"InX", [](auto& s) { s.line.xonxoff_settings = {fsInX}; }, [](auto& d) { d.fInX = 1; }},
    {"ErrorChar", [](auto& s) { s.line.options = {coErrorChar}; }, [](auto& d) { d.fErrorChar = 1; }},
    {"DiscardNull", [](auto& s) { s.line.options = {coDiscardNull}; }, [](auto& d) { d.fNull = 1; }},
    {"AbortOnError", [](auto& s) { s.line.options = {coAbortOnError}; },
     [](auto& d) { d.fAbortOnError = 1; }},
    {"RTSEnabled", [](auto& s) { s.line.rts_settings = {fsRTSEnabled}; }, [](auto& d) { d.fRtsControl = 1; }},
    {"RTSHandshake", [](auto& s) { s.line.rts_settings = {fsRTSHandshake}; },
     [](auto& d) { d.fRtsControl = 2; }},
    {"RTSToggle", [](auto& s) { s.line.rts_settings = {fsRTSEnabled, fsRTSHandshake}; },
     [](auto& d) { d.fRtsControl = platform::RTS_CONTROL_TOGGLE; }},
    {"SmallestQueue", [](auto& s) { s.buffers.input_size = 128; },
     [](auto& d) { d.XonLim = d.XoffLim = 32; }},
    {"QueueDividedDown", [](auto& s) { s.buffers.input_size = 2051; },
     [](auto& d) { d.XonLim = d.XoffLim = 512; }},
    {"LargestQueue", [](auto& s) { s.buffers.input_size = 8192; },
     [](auto& d) { d.XonLim = d.XoffLim = 2048; }},
    {"FourDataBits", [](auto& s) { s.data_control.data_bits = db4; }, [](auto& d) { d.ByteSize = 4; }},
    {"SevenDataBits", [](auto& s) { s.data_control.data_bits = db7; }, [](auto& d) { d.ByteSize = 7; }},
    {"MarkParity", [](auto& s) { s.data_control.parity = paMark; },
     [](auto& d) { d.Parity = platform::MARKPARITY; }},
    {"SpaceParity", [](auto& s) { s.data_control.parity = paSpace; },
     [](auto& d) { d.Parity = platform::SPACEPARITY; }},
    {"OneAndAHalfStopBits", [](auto& s) { s.data_control.stop_bits = sb1p5; },
     [](auto& d) { d.StopBits = platform::ONE5STOPBITS; }},
    {"TwoStopBits", [](auto& s) { s.data_control.stop_bits = sb2; },
     [](auto& d) { d.StopBits = platform::TWOSTOPBITS; }},
    // Distinct values, so that two swapped characters cannot pass.
    {"Characters",
     [](auto& s) {
       s.event_chars.xon_char = 1;
       s.event_chars.xoff_char = 2;
       s.event_chars.eof_char = 3;
       s.event_chars.error_char = 4;
       s.event_chars.event_char = 5;
     },
     [](auto& d) {
       d.XonChar = 1;
       d.XoffChar = 2;
       d.EofChar = 3;
       d.ErrorChar = 4;
       d.EvtChar = 5;
     }},
};

class DeviceControlBlockRow : public testing::TestWithParam<Row> {};

TEST_P(DeviceControlBlockRow, SetsItsFieldsAndNothingElse) {
  StoredLineSettings settings;
  GetParam().setting(settings);
  DCB expected = DefaultBlock();
  GetParam().expected(expected);
  EXPECT_EQ(BuildDCB(settings), expected);
}

INSTANTIATE_TEST_SUITE_P(Mapping, DeviceControlBlockRow, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Every member, and distinct characters and time-outs, so that a shifted or swapped field
// cannot pass.
TEST(DeviceRecords, ReadingBackWhatWasBuiltGivesTheStoredValues) {
  StoredLineSettings stored;
  for (int m = db4; m <= db8; ++m) {
    stored.data_control = {static_cast<TDataBits>(m), static_cast<TParity>(m),
                           static_cast<TStopBits>(m % (sb2 + 1))};
    EXPECT_EQ(DataControlFrom(BuildDCB(stored)), stored.data_control) << "member " << m;
  }
  stored.event_chars = {1, 2, 3, 4, 5};
  EXPECT_EQ(EventCharsFrom(BuildDCB(stored)), stored.event_chars);
  const TimeoutValues timeouts{11, 12, 13, 14, 15};
  EXPECT_EQ(TimeoutsFrom(BuildTimeouts(timeouts)), timeouts);
}

}  // namespace
}  // namespace serial
