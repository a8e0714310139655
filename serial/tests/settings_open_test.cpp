// The settings model while the port is open: reads report the device, writes apply at once,
// and failed applies raise after the value is stored.
#include <gtest/gtest.h>

#include <cerrno>

#include <functional>

#include "serial/tests/fake_port.h"

namespace serial {
namespace {

using testing_support::CodeOf;
using testing_support::FakePort;
using testing_support::Names;

platform::DCB LiveBlock(FakePort& p, const std::function<void(platform::DCB&)>& change) {
  platform::DCB dcb = p.state->Dcb();
  change(dcb);
  p.state->SetDcb(dcb);
  return dcb;
}

TEST(ReadBackOpen, BaudRateFromTheDeviceAndCustomSticks) {
  FakePort p;
  p.OpenAndClear();
  LiveBlock(p, [](auto& d) { d.BaudRate = 57600; });
  EXPECT_EQ(p.comm.BaudRate(), br57600);
  LiveBlock(p, [](auto& d) { d.BaudRate = 76800; });
  EXPECT_EQ(p.comm.BaudRate(), brCustom);
  EXPECT_EQ(p.comm.BaudValue(), 76800u);
  LiveBlock(p, [](auto& d) { d.BaudRate = 57600; });
  EXPECT_EQ(p.comm.BaudRate(), brCustom) << "brCustom once stored stays while open";
  p.comm.SetBaudRate(br9600);
  LiveBlock(p, [](auto& d) { d.BaudRate = 19200; });
  EXPECT_EQ(p.comm.BaudRate(), br19200);
}

TEST(ReadBackOpen, FailedDeviceReadsGiveTheStoredValues) {
  FakePort p;
  p.comm.DataControl().SetParity(paOdd);
  p.comm.Buffers().SetInputSize(1000);
  p.comm.Timeouts().SetReadConstant(77);
  p.comm.EventChars().SetEofChar(26);
  ASSERT_TRUE(p.comm.Open());
  LiveBlock(p, [](auto& d) { d.BaudRate = 57600; });
  for (const char* call : {"GetCommState", "GetCommProperties", "GetCommTimeouts"})
    p.state->FailCall(call);
  EXPECT_EQ(p.comm.BaudRate(), br9600);
  EXPECT_EQ(p.comm.DataControl().Parity(), paOdd);
  EXPECT_EQ(p.comm.Buffers().InputSize(), 1000);
  EXPECT_EQ(p.comm.Timeouts().ReadConstant(), 77u);
  EXPECT_EQ(p.comm.EventChars().EofChar(), 26);
}

TEST(ReadBackOpen, DataControlCharactersAndTimeoutsComeFromTheDevice) {
  FakePort p;
  ASSERT_TRUE(p.comm.Open());
  LiveBlock(p, [](auto& d) {
    d.ByteSize = 5;
    d.Parity = platform::MARKPARITY;
    d.StopBits = platform::TWOSTOPBITS;
    d.XonChar = 1, d.XoffChar = 2, d.EofChar = 3, d.ErrorChar = 4, d.EvtChar = 5;
  });
  p.state->SetTimeouts({11, 12, 13, 14, 15});
  const TCommDataControl& dc = p.comm.DataControl();
  EXPECT_EQ(dc.DataBits(), db5);
  EXPECT_EQ(dc.Parity(), paMark);
  EXPECT_EQ(dc.StopBits(), sb2);
  const TCommEventChars& ch = p.comm.EventChars();
  EXPECT_EQ(std::vector<int>({ch.XonChar(), ch.XoffChar(), ch.EofChar(), ch.ErrorChar(),
                              ch.EventChar()}),
            std::vector<int>({1, 2, 3, 4, 5}));
  const TCommTimeoutsEx& t = p.comm.Timeouts();
  EXPECT_EQ(std::vector<std::uint32_t>({t.ReadInterval(), t.ReadMultiplier(), t.ReadConstant(),
                                        t.WriteMultiplier(), t.WriteConstant()}),
            std::vector<std::uint32_t>({11, 12, 13, 14, 15}));
}

TEST(ReadBackOpen, QueueSizesTakeTheLow16BitsAndZeroMeansStored) {
  FakePort p;
  p.comm.Buffers().SetOutputSize(1500);
  ASSERT_TRUE(p.comm.Open());
  p.state->SetProperties({.dwCurrentTxQueue = 0, .dwCurrentRxQueue = 0x10400});
  EXPECT_EQ(p.comm.Buffers().InputSize(), 0x0400);
  EXPECT_EQ(p.comm.Buffers().OutputSize(), 1500);
}

TEST(ReadBackOpen, LineControlAndOptionsAreRefreshedFromTheLiveFlags) {
  FakePort p;
  p.comm.SetOptions({coLeaveDTROpen});
  ASSERT_TRUE(p.comm.Open());
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTREnabled}) << "left open reads as enabled";
  LiveBlock(p, [](auto& d) {
    d.fRtsControl = platform::RTS_CONTROL_HANDSHAKE;
    d.fOutxCtsFlow = 1;
    d.fInX = 1;
    d.fParity = 1;
  });
  EXPECT_EQ(p.comm.RTSSettings(), (TRTSSettings{fsRTSHandshake, fsCTSOut}));
  EXPECT_EQ(p.comm.XOnXOffSettings(), TXOnXOffSettings{fsInX});
  EXPECT_EQ(p.comm.Options(), (TCommOptions{coLeaveDTROpen, coParityCheck}));
  EXPECT_EQ(p.comm.FlowControl(), fcNone) << "never derived from the device";
  p.comm.Close();
  EXPECT_EQ(p.comm.RTSSettings(), (TRTSSettings{fsRTSHandshake, fsCTSOut})) << "stored";
}

TEST(WritesOpen, CompareWithTheValueAsRead) {
  FakePort p;
  p.comm.SetFlowControl(fcCustom);
  p.OpenAndClear();
  LiveBlock(p, [](auto& d) {
    d.fRtsControl = platform::RTS_CONTROL_ENABLE;
    d.fParity = 1;
  });
  p.comm.SetRTSSettings({fsRTSEnabled});
  p.comm.SetOptions({coParityCheck});
  EXPECT_TRUE(p.Applied().empty()) << "both equal what the device reports";
  p.comm.SetRTSSettings({});
  EXPECT_EQ(p.Applied().size(), 1u);
}

TEST(WritesOpen, LeaveDTROpenCannotChangeWhileOpen) {
  FakePort with;
  with.comm.SetOptions({coLeaveDTROpen});
  with.OpenAndClear();
  with.comm.SetOptions({});
  EXPECT_EQ(with.comm.Options(), TCommOptions{coLeaveDTROpen});
  EXPECT_TRUE(with.Applied().empty());

  FakePort without;
  without.OpenAndClear();
  without.comm.SetOptions({coLeaveDTROpen, coAbortOnError});
  EXPECT_EQ(without.comm.Options(), TCommOptions{coAbortOnError});
  ASSERT_EQ(without.Applied().size(), 1u);
  EXPECT_EQ(without.Applied()[0].fDtrControl, platform::DTR_CONTROL_DISABLE);
  EXPECT_EQ(without.comm.FlowControl(), fcNone);
}

TEST(WritesOpen, PlainValuesNeverReachTheDevice) {
  FakePort p;
  p.OpenAndClear();
  p.comm.SetMonitorEvents({deRing});
  p.comm.SetSynchronize(false);
  p.comm.Buffers().SetInputTimeout(20);
  p.comm.Buffers().SetOutputTimeout(20);
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(WritesOpen, InputSizePurgesBothQueuesBeforeSettingTheSizes) {
  FakePort p;
  p.OpenAndClear();
  p.state->Feed({1, 2, 3});
  p.comm.Buffers().SetInputSize(1024);
  EXPECT_EQ(p.DeviceCalls(), (Names{"PurgeComm", "SetupComm"}));
  EXPECT_EQ(p.state->ArgsOf<std::uint32_t>("PurgeComm"),
            std::vector<std::uint32_t>{platform::PURGE_TXABORT | platform::PURGE_RXABORT |
                                       platform::PURGE_TXCLEAR | platform::PURGE_RXCLEAR});
  EXPECT_EQ(p.state->ArgsOf<platform::fake::QueueSizes>("SetupComm"),
            (std::vector<platform::fake::QueueSizes>{{1024, 2048}}));
  EXPECT_EQ(p.comm.InQueueCount(), 0u) << "waiting input is discarded";
}

// ---- failed applies -------------------------------------------------------------------

struct ApplyFailure {
  const char* name;
  const char* failing_call;
  std::int32_t code;
  const char* message;
  std::function<void(TXComm&)> write;
  std::function<bool(TXComm&)> stored;  // checked after closing
};

class FailedApply : public testing::TestWithParam<ApplyFailure> {};

TEST_P(FailedApply, RaisesItsCodeAfterStoringTheValue) {
  const ApplyFailure& f = GetParam();
  FakePort p;
  ASSERT_TRUE(p.comm.Open());
  p.state->FailCall(f.failing_call, EPROTO);
  p.state->SetErrorText(EPROTO, "line protocol gone. \r\n");  // as a system text may end
  try {
    f.write(p.comm);
    FAIL() << "no error raised";
  } catch (const EDeviceError& e) {
    EXPECT_EQ(e.ErrorCode(), f.code);
    EXPECT_STREQ(e.what(), f.message);
  }
  // The reason stays readable for diagnosis, out of the message.
  EXPECT_EQ(p.comm.LastSystemError(), (TSystemError{EPROTO, "line protocol gone"}));
  EXPECT_TRUE(p.comm.IsOpen());
  p.comm.Close();
  EXPECT_TRUE(f.stored(p.comm));
}

INSTANTIATE_TEST_SUITE_P(
    Groups, FailedApply,
    testing::Values(
        ApplyFailure{"Parity", "SetCommState", 3, "Unable to update device control block.",
                     [](TXComm& c) { c.DataControl().SetParity(paEven); },
                     [](TXComm& c) { return c.DataControl().Parity() == paEven; }},
        ApplyFailure{"BaudRate", "SetCommState", 3, "Unable to update device control block.",
                     [](TXComm& c) { c.SetBaudRate(br115200); },
                     [](TXComm& c) { return c.BaudValue() == 115200; }},
        ApplyFailure{"OutputSize", "SetupComm", 6, "Unable to update IO buffers.",
                     [](TXComm& c) { c.Buffers().SetOutputSize(512); },
                     [](TXComm& c) { return c.Buffers().OutputSize() == 512; }},
        ApplyFailure{"ReadInterval", "SetCommTimeouts", 7, "Unable to update Timeouts.",
                     [](TXComm& c) { c.Timeouts().SetReadInterval(9); },
                     [](TXComm& c) { return c.Timeouts().ReadInterval() == 9; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailedApply, AFailedPurgeIsNotExamined) {
  FakePort p;
  ASSERT_TRUE(p.comm.Open());
  p.state->FailCall("PurgeComm");
  EXPECT_NO_THROW(p.comm.Buffers().SetInputSize(512));
}

TEST(ApplyOperations, RaiseWhenNoDeviceIsOpen) {
  FakePort p;
  EXPECT_EQ(CodeOf([&] { p.comm.UpdateDCB(); }), 3);
  EXPECT_EQ(CodeOf([&] { p.comm.UpdateBuffers(); }), 6);
  EXPECT_EQ(CodeOf([&] { p.comm.UpdateTimeouts(); }), 7);
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(ApplyOperations, PassTheStoredValuesAsOneRecordEach) {
  FakePort p;
  p.comm.Timeouts().SetReadInterval(2);
  p.comm.Timeouts().SetReadMultiplier(3);
  p.comm.Timeouts().SetReadConstant(4);
  p.comm.Timeouts().SetWriteMultiplier(5);
  p.comm.Timeouts().SetWriteConstant(6);
  p.OpenAndClear();
  EXPECT_TRUE(p.comm.UpdateTimeouts());
  EXPECT_EQ(p.state->ArgsOf<platform::COMMTIMEOUTS>("SetCommTimeouts"),
            (std::vector<platform::COMMTIMEOUTS>{{2, 3, 4, 5, 6}}));
}

}  // namespace
}  // namespace serial
