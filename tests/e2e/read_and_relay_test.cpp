// Opening, reading, the relay buttons and the slave address, against the simulated module.
#include <algorithm>

#include <QLineEdit>
#include <QPushButton>

#include "modbus/hex_text.h"
#include "modbus/tests/reference_frames.h"
#include "tests/e2e/module_window.h"

namespace rtutest::e2e {
namespace {

using modbus::ByteString;

const ByteString kModeFrame = modbus::testing_frames::ModeFrame();
const ByteString kReadSlave1 = modbus::testing_frames::ReadSlave1();
const ByteString kReadSlave2 = modbus::testing_frames::ReadSlave2();

class AgainstModule : public ModuleWindow {
 protected:
  // The list holds each value alone: the log line's text after its '='.
  void ExpectList(const QStringList& value_lines) {
    const int rows[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(Cell(rows[i]), value_lines[i].section(u'=', 1)) << rows[i];
  }
  QStringList Tail(int n) const { return Log().mid(Log().size() - n); }
};

TEST_F(AgainstModule, OpenReportsTheDeviceAndItsSettings) {
  Start(FixedModule());
  PressOpen();
  const QString device = window_.Controls().Edit1->text();
  EXPECT_EQ(window_.StatusPanelText(1), device + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_TRUE(window_.XMODEM1().IsOpen());
  EXPECT_TRUE(Log().isEmpty());
}

TEST_F(AgainstModule, ReadLogsTheWholeExchangeAndFillsTheList) {
  Start(FixedModule());
  PressOpen();
  ReadAndTick();
  const QStringList expected =
      QStringList{SentLine(kModeFrame), SentLine(kReadSlave1), ReceivedLine(ExampleAnswer())} +
      ExampleValueLines();
  EXPECT_EQ(Log(), expected);
  ExpectList(ExampleValueLines());
  EXPECT_EQ(Module().RecentRequests(), (std::vector<ByteString>{kModeFrame, kReadSlave1}));
  EXPECT_EQ(instruments_.pauses.size(), 1U);
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(AgainstModule, AnswerToTheModeFrameIsLoggedByTheTickInThePause) {
  sim::SimulatorOptions options = FixedModule();
  options.answer_mode = true;  // this module echoes the mode frame
  Start(options);
  mode_answer_bytes_ = 9;
  PressOpen();
  ReadAndTick();
  const QStringList expected = QStringList{SentLine(kModeFrame), ReceivedLine(kModeFrame),
                                           SentLine(kReadSlave1), ReceivedLine(ExampleAnswer())} +
                               ExampleValueLines();
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(CheckFailures(), 0);
}

TEST_F(AgainstModule, ModeFrameGoesOutOnceAfterEachOpening) {
  Start(FixedModule());
  PressOpen();
  ReadAndTick();
  ReadAndTick();
  PressOpen();  // closes and reopens the same device
  ReadAndTick();
  EXPECT_EQ(Module().RecentRequests(),
            (std::vector<ByteString>{kModeFrame, kReadSlave1, kReadSlave1, kModeFrame, kReadSlave1}));
  EXPECT_EQ(CountOf(SentLine(kModeFrame)), 2);
  EXPECT_EQ(DecodedAnswers(), 3);
  EXPECT_EQ(CheckFailures(), 0);
}

// The module's answer to a relay write, by relay: the request's first six bytes and their
// check.
const ByteString kRelayReplies[] = {{0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x41, 0xCD},
                                    {0x01, 0x10, 0x00, 0x15, 0x00, 0x01, 0x10, 0x0D},
                                    {0x01, 0x10, 0x00, 0x16, 0x00, 0x01, 0xE0, 0x0D},
                                    {0x01, 0x10, 0x00, 0x17, 0x00, 0x01, 0xB1, 0xCD}};

// The relay buttons (Button3..Button10) in the order of the reference relay frames: relay 1
// on, relay 1 off, relay 2 on, ... Relay 2 starts on in the example values, so it is
// switched off before on: every press changes what the list shows.
constexpr int kPressOrder[] = {0, 1, 3, 2, 4, 5, 6, 7};

TEST_F(AgainstModule, EachRelayButtonSwitchesItsRelayAndTheNextReadShowsIt) {
  Start(FixedModule());
  PressOpen();
  ReadAndTick();  // the mode frame goes out here, not with the first relay
  QStringList outputs = {"00 ", "01 ", "00 ", "00 "};
  for (const int button : kPressOrder) {
    const auto& press = modbus::testing_frames::kRelayFrames[button];
    SCOPED_TRACE(press.hex);
    const std::uint64_t before = Module().Counters().requests;
    window_.Controls().RelayButtons[button]->click();
    ASSERT_TRUE(WaitForMoreRequests(before));
    const ByteString frame = Module().RecentRequests().back();
    EXPECT_EQ(modbus::BytesToHex(frame), press.hex);
    EXPECT_EQ(Module().RelayValues()[press.relay - 1], press.on ? 1 : 0);
    // The module's 8-byte reply is logged, not decoded: the list changes only with a read.
    TickWhenWaiting(8);
    // Every reply is logged, relay 2's too, though none of its bytes is above 20 hex.
    EXPECT_EQ(Tail(2),
              (QStringList{SentLine(frame), ReceivedLine(kRelayReplies[press.relay - 1])}));
    EXPECT_EQ(Cell(14 + press.relay), outputs[press.relay - 1]);
    outputs[press.relay - 1] = press.on ? "01 " : "00 ";
    ReadAndTick();
    EXPECT_EQ(Tail(16), ExampleValueLines(outputs));
    ExpectList(ExampleValueLines(outputs));
  }
  EXPECT_EQ(CountOf(SentLine(kModeFrame)), 1);
  EXPECT_EQ(CheckFailures(), 0);
  EXPECT_TRUE(instruments_.boxes.empty());
}

class AddressedModule : public AgainstModule {
 protected:
  void StartModuleAt(std::uint8_t address) {
    sim::SimulatorOptions options = FixedModule();
    options.address = address;
    Start(options);
  }
  void Confirm(const QString& address) {
    window_.Controls().edmodaddr->setText(address);
    window_.Controls().Button2->click();
  }
};

TEST_F(AddressedModule, ConfirmedAddressTwoReadsAModuleAtTwo) {
  StartModuleAt(2);
  Confirm("2");
  PressOpen();
  ReadAndTick();
  EXPECT_EQ(Module().RecentRequests().back(), kReadSlave2);
  ASSERT_EQ(Log().size(), 3 + 16);
  EXPECT_TRUE(Log()[2].startsWith(ReceivedLine({0x02, 0x03, 0x30, 0x00, 0x00, 0x3F, 0x80})));
  EXPECT_EQ(Tail(16), ExampleValueLines());
  EXPECT_EQ(CheckFailures(), 0);
}

TEST_F(AddressedModule, ModuleAtTwoStaysSilentToAddressOne) {
  StartModuleAt(2);
  PressOpen();  // the window starts at address 1
  const std::uint64_t before = Module().Counters().requests;
  PressRead();
  ASSERT_TRUE(WaitForMoreRequests(before, 2));
  // The module decides on its answer as the request ends: none was scheduled.
  EXPECT_EQ(Module().Counters().replies, 0U);
  EXPECT_EQ(Module().RecentRequests().back(), kReadSlave1);
  Tick();
  EXPECT_EQ(Log(), (QStringList{SentLine(kModeFrame), SentLine(kReadSlave1)}));
  EXPECT_EQ(Cell(1), "");
}

}  // namespace
}  // namespace rtutest::e2e
