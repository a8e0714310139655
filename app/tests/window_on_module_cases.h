#pragma once
// The window against the module with the example values, on every line that reaches one (a
// pseudo-terminal, the driver bench's adapter, a COM port under Wine): opening, the read-all
// exchange in the log and the list, each relay button, the mode frame once per opening. The
// timer is stopped: each tick runs once the bytes it should log wait. A line is a DeviceWindow
// with
//   void Connect();  // the module's end ready, its device typed into Edit1
//   std::optional<modbus::ByteString> WireHolding(std::size_t bytes);
//     // once the module's end has received `bytes` bytes in all, all it received (nullopt
//     // where the line does not show it)
//   std::optional<int> RelayAtModule(int relay);  // relay 1..4 as the module holds it, where shown
#include <cstddef>
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QPushButton>

#include "app/tests/window_fixture.h"
#include "modbus/tests/reference_frames.h"

namespace rtutest::testing {

namespace module_frames {
using namespace modbus::testing_frames;

inline modbus::ByteString FromHex(const char* hex) {
  const QByteArray bytes = QByteArray::fromHex(hex);  // the blanks are skipped
  return {bytes.begin(), bytes.end()};
}

// The module's answer to a relay write, by relay: the request's first six bytes and their
// check.
inline const modbus::ByteString kRelayReplies[] = {{0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x41, 0xCD},
                                                   {0x01, 0x10, 0x00, 0x15, 0x00, 0x01, 0x10, 0x0D},
                                                   {0x01, 0x10, 0x00, 0x16, 0x00, 0x01, 0xE0, 0x0D},
                                                   {0x01, 0x10, 0x00, 0x17, 0x00, 0x01, 0xB1, 0xCD}};
}  // namespace module_frames

template <class Line>
class WindowAgainstModule : public Line {
 protected:
  void SetUp() override {
    Line::SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    // The half-second pause after the mode frame: the frame has reached the module, then the
    // tick that falls due meanwhile runs.
    this->instruments_.on_pause = [this] {
      ExpectWire(in_pause_);
      this->Tick();
    };
    this->Connect();
  }

  // Everything the window sent since the test began reached the module, where the line shows it.
  void ExpectWire(const modbus::ByteString& expected) {
    if (const auto wire = this->WireHolding(expected.size())) {
      EXPECT_EQ(Hex(*wire), Hex(expected));
    }
  }
  // Presses a command button that sends `frame` (the first after an opening sends the mode
  // frame before it); once the module has them and `answer` bytes wait, ticks.
  void Press(QPushButton* button, const modbus::ByteString& frame, std::uint32_t answer) {
    if (LinkMode != 0) in_pause_ = sent_ = Join({sent_, module_frames::ModeFrame()});
    sent_ = Join({sent_, frame});
    button->click();
    ExpectWire(sent_);
    this->TickWhenWaiting(answer);
  }
  void ReadAll() { Press(this->Ui().BitBtn1, module_frames::ReadSlave1(), 53); }
  // Presses Button3..Button10 (0..7, in the order of the reference relay frames). The module's
  // 8-byte reply is logged, not decoded: the list changes only with a read.
  void PressRelay(int button) {
    const auto& relay = module_frames::kRelayFrames[button];
    SCOPED_TRACE(relay.hex);
    const modbus::ByteString frame = module_frames::FromHex(relay.hex);
    Press(this->Ui().RelayButtons[button], frame, 8);
    if (const auto held = this->RelayAtModule(relay.relay)) {
      EXPECT_EQ(*held, relay.on ? 1 : 0);
    }
    // Every reply is logged, relay 2's too, though none of its bytes is above 20 hex.
    const modbus::ByteString& reply = module_frames::kRelayReplies[relay.relay - 1];
    EXPECT_EQ(this->Tail(2), (QStringList{SentLine(frame), ReceivedLine(reply)}));
  }

  // The list holds each value alone: the log line's text after its '='.
  void ExpectList(const QStringList& value_lines) {
    const int rows[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18};
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(this->Cell(rows[i]), value_lines[i].section(u'=', 1)) << rows[i];
    }
  }
  int ModeFramesSent() const { return this->CountOf(SentLine(module_frames::ModeFrame())); }

  modbus::ByteString sent_;      // what the window has sent
  modbus::ByteString in_pause_;  // what it had sent when the pause after the mode frame began
};

TYPED_TEST_SUITE_P(WindowAgainstModule);

TYPED_TEST_P(WindowAgainstModule, OpenReportsTheDeviceAndItsSettings) {
  this->PressOpen();
  EXPECT_EQ(this->window_.StatusPanelText(1),
            this->Ui().Edit1->text() + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_TRUE(this->window_.XMODEM1().IsOpen());
  EXPECT_TRUE(this->Log().isEmpty());
  EXPECT_TRUE(this->instruments_.boxes.empty());
}

TYPED_TEST_P(WindowAgainstModule, ReadLogsTheWholeExchangeAndFillsTheList) {
  using namespace module_frames;
  this->PressOpen();
  this->ReadAll();
  EXPECT_EQ(this->Log(), QStringList({SentLine(ModeFrame()), SentLine(ReadSlave1()),
                                      ReceivedLine(ExampleResponse())}) +
                             ExampleValueLines());
  this->ExpectList(ExampleValueLines());
  EXPECT_EQ(this->instruments_.pauses.size(), 1U);
  EXPECT_TRUE(this->instruments_.boxes.empty());
}

TYPED_TEST_P(WindowAgainstModule, ModeFrameGoesOutOnceAfterEachOpening) {
  this->PressOpen();
  this->ReadAll();
  this->ReadAll();
  EXPECT_EQ(this->ModeFramesSent(), 1);
  this->PressOpen();  // closes and reopens the same device
  this->ReadAll();    // the module has had mode, read, read, mode, read
  EXPECT_EQ(this->ModeFramesSent(), 2);
  EXPECT_EQ(this->DecodedAnswers(), 3);
  EXPECT_EQ(this->CheckFailures(), 0);
  EXPECT_TRUE(this->instruments_.boxes.empty());
}

TYPED_TEST_P(WindowAgainstModule, EachRelayButtonSwitchesItsRelayAndTheNextReadShowsIt) {
  this->PressOpen();
  // The four on-buttons (the first press sends the mode frame first), one read; then the four
  // off-buttons, one read.
  for (const int on : {0, 2, 4, 6}) this->PressRelay(on);
  this->ReadAll();
  EXPECT_EQ(this->Tail(16), ExampleValueLines({"01 ", "01 ", "01 ", "01 "}));
  for (const int off : {1, 3, 5, 7}) this->PressRelay(off);
  this->ReadAll();
  EXPECT_EQ(this->Tail(16), ExampleValueLines({"00 ", "00 ", "00 ", "00 "}));
  // Then each button with a read after it: every press changes what the list shows, and only
  // once the read's answer arrives.
  QStringList outputs = {"00 ", "00 ", "00 ", "00 "};
  for (int button = 0; button < 8; ++button) {
    const auto& press = module_frames::kRelayFrames[button];
    this->PressRelay(button);
    EXPECT_EQ(this->Cell(14 + press.relay), outputs[press.relay - 1]) << press.hex;
    outputs[press.relay - 1] = press.on ? "01 " : "00 ";
    this->ReadAll();
    EXPECT_EQ(this->Tail(16), ExampleValueLines(outputs)) << press.hex;
    this->ExpectList(ExampleValueLines(outputs));
  }
  EXPECT_EQ(this->ModeFramesSent(), 1);
  EXPECT_EQ(this->CheckFailures(), 0);
  EXPECT_TRUE(this->instruments_.boxes.empty());
}

REGISTER_TYPED_TEST_SUITE_P(WindowAgainstModule, OpenReportsTheDeviceAndItsSettings,
                            ReadLogsTheWholeExchangeAndFillsTheList,
                            ModeFrameGoesOutOnceAfterEachOpening,
                            EachRelayButtonSwitchesItsRelayAndTheNextReadShowsIt);

}  // namespace rtutest::testing
