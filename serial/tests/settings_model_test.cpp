// The settings model with the port closed, and the component-level rules that decide what
// is stored and when it is applied.
#include <gtest/gtest.h>

#include "serial/stored_properties.h"
#include "serial/tests/dcb_print.h"
#include "serial/tests/fake_port.h"

namespace serial {
namespace {

using testing_support::FakePort;
using testing_support::Names;

TEST(SettingsDefaults, AreTheConstructorsValues) {
  FakePort p;
  TXComm& c = p.comm;
  EXPECT_EQ(c.BaudRate(), br9600);
  EXPECT_EQ(c.BaudValue(), 9600u);
  EXPECT_EQ(c.DeviceName(), "COM2");
  EXPECT_EQ(c.FlowControl(), fcNone);
  EXPECT_TRUE(c.RTSSettings().empty() && c.DTRSettings().empty());
  EXPECT_TRUE(c.XOnXOffSettings().empty() && c.Options().empty());
  EXPECT_EQ(c.MonitorEvents(), (TDeviceEvents{deChar, deFlag, deOutEmpty}));
  EXPECT_TRUE(c.Synchronize());
  EXPECT_EQ(c.DataControl().DataBits(), db8);
  EXPECT_EQ(c.DataControl().Parity(), paNone);
  EXPECT_EQ(c.DataControl().StopBits(), sb1);
  EXPECT_EQ(c.Buffers().InputSize(), 2048);
  EXPECT_EQ(c.Buffers().OutputSize(), 2048);
  EXPECT_EQ(c.Buffers().InputTimeout(), 500);
  EXPECT_EQ(c.Buffers().OutputTimeout(), 500);
  const TCommEventChars& ch = c.EventChars();
  EXPECT_EQ(std::vector<int>({ch.XonChar(), ch.XoffChar(), ch.EofChar(), ch.ErrorChar(),
                              ch.EventChar()}),
            std::vector<int>({17, 19, 0, 0, 10}));
  const TCommTimeoutsEx& t = c.Timeouts();
  EXPECT_EQ(std::vector<std::uint32_t>({t.ReadInterval(), t.ReadMultiplier(), t.ReadConstant(),
                                        t.WriteMultiplier(), t.WriteConstant()}),
            std::vector<std::uint32_t>({1, 0, 1, 0, 1}));
  EXPECT_EQ(c.LockState(), (TCommLocks{lkSend, lkRead}));
}

// Every read and write of a closed component stays in the model: only the clamp's
// version query reaches the platform.
TEST(SettingsClosed, MakeNoDeviceCall) {
  FakePort p;
  TXComm& c = p.comm;
  c.SetBaudRate(brCustom);
  c.SetBaudValue(76800);
  c.SetFlowControl(fcCustom);
  c.SetRTSSettings({fsRTSEnabled});
  c.SetDTRSettings({fsDTRHandshake});
  c.SetXOnXOffSettings({fsInX});
  c.SetOptions({coParityCheck});
  c.DataControl().SetParity(paEven);
  c.Buffers().SetInputSize(1024);
  c.EventChars().SetEventChar(13);
  c.Timeouts().SetReadConstant(50);
  c.SetDeviceName("ttyS1");
  (void)c.BaudRate(), (void)c.BaudValue(), (void)c.RTSSettings(), (void)c.Options();
  (void)c.DataControl().DataBits(), (void)c.Buffers().InputSize();
  (void)c.EventChars().XonChar(), (void)c.Timeouts().ReadInterval();
  platform::DCB dcb;
  EXPECT_FALSE(c.GetDCB(dcb));
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(BaudRate, ValueIsWritableOnlyUnderCustom) {
  FakePort p;
  p.comm.SetBaudValue(76800);
  EXPECT_EQ(p.comm.BaudValue(), 9600u);
  p.comm.SetBaudRate(br57600);
  p.comm.SetBaudRate(brCustom);
  EXPECT_EQ(p.comm.BaudValue(), 57600u) << "brCustom keeps the previous table rate";
  p.comm.SetBaudValue(76800);
  EXPECT_EQ(p.comm.BaudValue(), 76800u);
  p.comm.SetBaudRate(br9600);
  EXPECT_EQ(p.comm.BaudValue(), 9600u);
}

TEST(BaudRate, TableMembersAndCustomValuesReachAnOpenDevice) {
  FakePort p;
  p.OpenAndClear();
  p.comm.SetBaudRate(br115200);
  p.comm.SetBaudRate(brCustom);  // nothing applied
  p.comm.SetBaudValue(76800);
  p.comm.SetBaudValue(76800);  // no difference, nothing applied
  ASSERT_EQ(p.Applied().size(), 2u);
  EXPECT_EQ(p.Applied()[0].BaudRate, 115200u);
  EXPECT_EQ(p.Applied()[1].BaudRate, 76800u);
}

TEST(BaudRate, ValuesOutsideTheTypeAreRefused) {
  FakePort p;
  EXPECT_THROW(p.comm.SetBaudRate(static_cast<TBaudRate>(16)), std::invalid_argument);
  EXPECT_THROW(p.comm.SetBaudRate(static_cast<TBaudRate>(-1)), std::invalid_argument);
  EXPECT_THROW(p.comm.SetFlowControl(static_cast<TFlowControl>(5)), std::invalid_argument);
  EXPECT_THROW(p.comm.DataControl().SetDataBits(static_cast<TDataBits>(5)),
               std::invalid_argument);
  EXPECT_EQ(p.comm.BaudRate(), br9600);
  EXPECT_EQ(p.comm.FlowControl(), fcNone);
}

TEST(FlowControl, PresetsReplaceTheThreeSets) {
  FakePort p;
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetXOnXOffSettings({fsOutX});
  p.comm.SetFlowControl(fcDtrDsr);
  EXPECT_EQ(p.comm.RTSSettings(), TRTSSettings{fsRTSEnabled});
  EXPECT_EQ(p.comm.DTRSettings(), (TDTRSettings{fsDSROut, fsDTREnabled}));
  EXPECT_EQ(p.comm.XOnXOffSettings(), TXOnXOffSettings{});
  p.comm.SetFlowControl(fcCustom);  // the sets stay as they are
  EXPECT_EQ(p.comm.DTRSettings(), (TDTRSettings{fsDSROut, fsDTREnabled}));
  p.comm.SetFlowControl(fcNone);
  EXPECT_TRUE(p.comm.DTRSettings().empty() && p.comm.RTSSettings().empty());
}

TEST(FlowControl, LeavingDTROpenEnablesDTRInEveryPreset) {
  FakePort p;
  p.comm.SetOptions({coLeaveDTROpen});  // closed: runs the fcNone preset at once
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTREnabled});
  p.comm.SetFlowControl(fcRtsCts);
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTREnabled});
  EXPECT_EQ(p.comm.RTSSettings(), (TRTSSettings{fsCTSOut, fsRTSHandshake}));
}

TEST(FlowControl, OnlyPresetsOtherThanCustomAreAppliedWhileOpen) {
  FakePort p;
  p.OpenAndClear();
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetFlowControl(fcCustom);
  EXPECT_EQ(p.Applied().size(), 0u);
  p.comm.SetFlowControl(fcSoftware);
  ASSERT_EQ(p.Applied().size(), 1u);
  EXPECT_EQ(p.Applied()[0].fOutX, 1u);
  EXPECT_EQ(p.Applied()[0].fDtrControl, platform::DTR_CONTROL_ENABLE);
}

TEST(LineControlSets, AreRefusedUnlessFlowControlIsCustom) {
  FakePort p;
  p.comm.SetRTSSettings({fsRTSEnabled});
  p.comm.SetDTRSettings({fsDTREnabled});
  p.comm.SetXOnXOffSettings({fsInX});
  EXPECT_TRUE(p.comm.RTSSettings().empty() && p.comm.DTRSettings().empty() &&
              p.comm.XOnXOffSettings().empty());
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetRTSSettings({fsRTSEnabled, fsRTSHandshake});
  p.OpenAndClear();
  EXPECT_EQ(p.state->Dcb().fRtsControl, platform::RTS_CONTROL_TOGGLE);
}

TEST(LineControlSets, DTRIsNormalisedBeforeItIsStored) {
  FakePort p;
  const TDTRSettings both{fsDTREnabled, fsDTRHandshake};
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetDTRSettings(both);
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTRHandshake});
  p.comm.SetDTRSettings(both);
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTREnabled});
  p.comm.SetOptions({coLeaveDTROpen});  // closed under fcCustom: preset gives [fsDTREnabled]
  p.comm.SetFlowControl(fcRtsCts);
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetDTRSettings({fsDSROut, fsDTRHandshake});
  EXPECT_EQ(p.comm.DTRSettings(), (TDTRSettings{fsDSROut, fsDTREnabled}));
}

TEST(Options, ClosedWriteRunsThePresetAlsoUnderCustom) {
  FakePort p;
  p.comm.SetFlowControl(fcCustom);
  p.comm.SetRTSSettings({fsCTSOut});
  p.comm.SetXOnXOffSettings({fsOutX});
  p.comm.SetOptions({coDiscardNull});
  EXPECT_EQ(p.comm.RTSSettings(), TRTSSettings{});
  EXPECT_EQ(p.comm.DTRSettings(), TDTRSettings{fsDTREnabled});
  EXPECT_EQ(p.comm.XOnXOffSettings(), TXOnXOffSettings{});
  p.comm.SetRTSSettings({fsCTSOut});
  p.comm.SetOptions({coDiscardNull});  // unchanged: the custom sets stay
  EXPECT_EQ(p.comm.RTSSettings(), TRTSSettings{fsCTSOut});
}

TEST(DeviceName, ChangesOnlyWhileClosed) {
  FakePort p;
  p.comm.SetDeviceName("ttyUSB0");
  p.OpenAndClear();
  p.comm.SetDeviceName("ttyUSB1");
  EXPECT_EQ(p.comm.DeviceName(), "ttyUSB0");
  p.comm.Close();
  EXPECT_EQ(p.comm.DeviceName(), "ttyUSB0");
  p.comm.SetDeviceName("TTYUSB0");
  EXPECT_EQ(p.comm.DeviceName(), "TTYUSB0");
}

TEST(QueueSizeClamp, StoredSizesAndTheResultingLimits) {
  struct Case {
    platform::OsVersion version;
    std::uint16_t input, stored, limit;
  };
  for (const Case& c : {Case{{platform::VER_PLATFORM_WIN32_NT, 4}, 100, 128, 32},
                        Case{{platform::VER_PLATFORM_WIN32_NT, 4}, 10000, 4096, 1024},
                        Case{{platform::VER_PLATFORM_WIN32_WINDOWS, 4}, 10000, 8192, 2048}}) {
    FakePort p;
    p.state->SetVersion(c.version);
    p.comm.Buffers().SetInputSize(c.input);
    p.comm.Buffers().SetOutputSize(c.input);
    EXPECT_EQ(p.comm.Buffers().InputSize(), c.stored);
    EXPECT_EQ(p.comm.Buffers().OutputSize(), c.stored);
    ASSERT_TRUE(p.comm.Open());
    EXPECT_EQ(p.Applied().at(0).XonLim, c.limit);
    EXPECT_EQ(p.Applied().at(0).XoffLim, c.limit);
    EXPECT_EQ(p.state->ArgsOf<platform::fake::QueueSizes>("SetupComm").at(0),
              (platform::fake::QueueSizes{c.stored, c.stored}));
  }
}

TEST(QueueSizeClamp, AClampedValueEqualToTheStoredOneIsNotApplied) {
  FakePort p;
  p.comm.Buffers().SetInputSize(4096);
  p.OpenAndClear();
  p.comm.Buffers().SetInputSize(9000);
  EXPECT_EQ(p.state->CallCount("SetupComm"), 0u);
}

// ---- assignment -----------------------------------------------------------------------

TEST(Assign, FromAnotherClassOrNothingFailsNamingBothAndChangesNothing) {
  FakePort p;
  FakePort other;
  p.comm.DataControl().SetParity(paOdd);
  try {
    p.comm.DataControl().Assign(&other.comm.Buffers());
    FAIL() << "assignment from another class succeeded";
  } catch (const EAssignError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TCommBuffers to a TCommDataControl");
  }
  EXPECT_EQ(p.comm.DataControl().Parity(), paOdd);
  EXPECT_THROW(p.comm.Timeouts().Assign(nullptr), EAssignError);
  EXPECT_THROW(p.comm.EventChars().Assign(&other.comm.Timeouts()), EAssignError);
  EXPECT_THROW(p.comm.Buffers().Assign(&other.comm.EventChars()), EAssignError);
}

TEST(Assign, CopiesEveryValueWithoutClampOrDifferenceTest) {
  FakePort p;
  FakePort source;
  source.comm.Buffers().SetInputTimeout(0);
  source.comm.Buffers().SetOutputTimeout(70);
  source.comm.EventChars().SetErrorChar(0x3F);
  source.comm.Timeouts().SetWriteConstant(300);
  source.comm.DataControl().SetStopBits(sb2);
  ASSERT_TRUE(source.comm.Open());
  // The open source reports a queue size the clamp would never let through.
  source.state->SetProperties({.dwCurrentTxQueue = 64, .dwCurrentRxQueue = 50});
  p.comm.SetBuffers(source.comm.Buffers());
  p.comm.SetEventChars(source.comm.EventChars());
  p.comm.SetTimeouts(source.comm.Timeouts());
  p.comm.SetDataControl(source.comm.DataControl());
  EXPECT_EQ(p.comm.Buffers().InputSize(), 50);
  EXPECT_EQ(p.comm.Buffers().OutputSize(), 64);
  EXPECT_EQ(p.comm.Buffers().InputTimeout(), 0);
  EXPECT_EQ(p.comm.Buffers().OutputTimeout(), 70);
  EXPECT_EQ(p.comm.EventChars().ErrorChar(), 0x3F);
  EXPECT_EQ(p.comm.Timeouts().WriteConstant(), 300u);
  EXPECT_EQ(p.comm.DataControl().StopBits(), sb2);
  EXPECT_EQ(p.DeviceCalls(), Names{}) << "a closed target applies nothing";
}

TEST(Assign, FromAnOpenComponentTakesTheDevicesValues) {
  FakePort p;
  FakePort source;
  ASSERT_TRUE(source.comm.Open());
  platform::DCB live = source.state->Dcb();
  live.ByteSize = 7;
  live.Parity = platform::EVENPARITY;
  live.XonChar = 0x21;
  source.state->SetDcb(live);
  source.state->SetTimeouts({10, 20, 30, 40, 50});
  p.comm.SetDataControl(source.comm.DataControl());
  p.comm.SetEventChars(source.comm.EventChars());
  p.comm.SetTimeouts(source.comm.Timeouts());
  EXPECT_EQ(p.comm.DataControl().DataBits(), db7);
  EXPECT_EQ(p.comm.DataControl().Parity(), paEven);
  EXPECT_EQ(p.comm.EventChars().XonChar(), 0x21);
  EXPECT_EQ(p.comm.Timeouts().ReadInterval(), 10u);
  EXPECT_EQ(p.comm.Timeouts().WriteConstant(), 50u);
}

TEST(Assign, IntoAnOpenComponentAppliesItsGroupEvenWhenUnchanged) {
  FakePort p;
  FakePort source;
  p.OpenAndClear();
  p.comm.SetDataControl(source.comm.DataControl());
  p.comm.SetEventChars(source.comm.EventChars());
  p.comm.SetBuffers(source.comm.Buffers());
  p.comm.SetTimeouts(source.comm.Timeouts());
  p.comm.SetTimeouts(p.comm.Timeouts());  // its own object: nothing
  EXPECT_EQ(p.state->OwnerCallNames(),
            (Names{"SetCommState", "SetCommState", "PurgeComm", "SetupComm",
                   "SetCommTimeouts"}));
}

// ---- loading a stored component -------------------------------------------------------

TEST(StoredProperties, LoadThroughTheSettersInStoredOrder) {
  FakePort p;
  StoredCommProperties stored;
  stored.baud_rate = brCustom;
  stored.baud_value = 250000;
  stored.buffers.input_size = 100;  // clamped while loading, like any write
  stored.rts_settings = {fsRTSEnabled};
  stored.dtr_settings = {fsDTRHandshake};
  stored.flow_control = fcCustom;
  stored.xonxoff_settings = {fsOutX};
  stored.device_name = "ttyS3";
  stored.synchronize = false;
  LoadStoredProperties(p.comm, stored);
  EXPECT_EQ(p.comm.BaudRate(), brCustom);
  EXPECT_EQ(p.comm.BaudValue(), 250000u);
  EXPECT_EQ(p.comm.Buffers().InputSize(), 128);
  // RTS and DTR come before FlowControl and met fcNone; XOnXOff comes after it.
  EXPECT_TRUE(p.comm.RTSSettings().empty());
  EXPECT_TRUE(p.comm.DTRSettings().empty());
  EXPECT_EQ(p.comm.XOnXOffSettings(), TXOnXOffSettings{fsOutX});
  EXPECT_EQ(p.comm.DeviceName(), "ttyS3");
  EXPECT_FALSE(p.comm.Synchronize());
  EXPECT_EQ(p.DeviceCalls(), Names{});
}

TEST(StoredProperties, AreNotLoadedIntoAnOpenPort) {
  FakePort p;
  ASSERT_TRUE(p.comm.Open());
  StoredCommProperties stored;
  stored.device_name = "ttyS9";
  EXPECT_THROW(LoadStoredProperties(p.comm, stored), std::logic_error);
  EXPECT_EQ(p.comm.DeviceName(), "COM2");
}

}  // namespace
}  // namespace serial
