// Polling, the traffic log, the channel list, and the read and relay commands, on the
// fake port with ticks driven by the test.
#include <QApplication>
#include <QTimer>

#include "app/tests/window_fixture.h"
#include "tests/support/wait_for.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"

namespace rtutest::testing {
namespace {

using modbus::ByteString;
using modbus::testing_frames::ExampleResponse;

using Polling = WindowTest;

TEST_F(Polling, ReadRequestLineForSlaveOne) {
  OpenReady();
  Ui().BitBtn1->click();
  EXPECT_EQ(Log(), QStringList{kStamp + QStringLiteral(" 发送：01 03 00 00 00 18 45 C0 ")});
  EXPECT_EQ(Written(), modbus::ReadAllRequest(1));
}

TEST_F(Polling, ExampleResponseInOneTick) {
  OpenReady();
  Feed(ExampleResponse());
  Tick();
  EXPECT_EQ(Log(), QStringList{ReceivedLine(ExampleResponse())} + ExampleValueLines());
  const std::pair<int, const char*> cells[] = {{1, "1.000"}, {2, "10.000"}, {3, "23.456"},
                                               {4, "-0.500"}, {5, "0.000"}, {8, "0.000"},
                                               {10, "01 "}, {11, "00 "}, {12, "01 "},
                                               {15, "00 "}, {16, "01 "}, {18, "00 "}};
  for (const auto& [row, text] : cells) EXPECT_EQ(Cell(row), text) << row;
}

TEST_F(Polling, CommaLocaleInLogAndList) {
  window_->SetLogLocale(QLocale(QStringLiteral("de_DE")));
  OpenReady();
  Feed(ExampleResponse());
  Tick();
  const QStringList log = Log();
  EXPECT_TRUE(log[0].startsWith(QStringLiteral("05.03.24 14:07:09 接收：01 03 30 ")));
  EXPECT_EQ(log[1], "AI0=1,000");
  EXPECT_EQ(log[3], "AI2=23,456");
  EXPECT_EQ(Cell(1), "1,000");
  EXPECT_EQ(Cell(3), "23,456");
}

TEST_F(Polling, InfinityIsPaddedToFiveInLogAndList) {
  ByteString r = ExampleResponse();
  const auto inf = modbus::AnalogToWire(std::numeric_limits<float>::infinity());
  std::copy(inf.begin(), inf.end(), r.begin() + 3);  // AIN0
  r.resize(51);
  modbus::AppendCrc16(r);
  OpenReady();
  Feed(r);
  Tick();
  EXPECT_EQ(Log()[1], "AI0=  INF");
  EXPECT_EQ(Cell(1), "  INF");
}

TEST_F(Polling, ThirtyBytesAreNotDecodedThirtyOneFailOnTheNextTick) {
  OpenReady();
  Feed(ByteString(30, 0x41));
  Tick();
  Tick();
  EXPECT_EQ(Log(), QStringList{ReceivedLine(ByteString(30, 0x41))});
  Feed(ByteString(31, 0x41));
  Tick();
  EXPECT_EQ(Log().size(), 2);  // the last byte could still begin a frame
  Tick();
  EXPECT_EQ(Log().size(), 3);
  EXPECT_EQ(Log().back(), QStringLiteral("CRC校验失败！"));
  EXPECT_EQ(Cell(1), "");  // a failed check leaves the list alone
}

TEST_F(Polling, BlankBlocksAreNotLogged) {
  OpenReady();
  Feed({0x00});
  Tick();
  Feed({0x0D, 0x0A});
  Tick();
  EXPECT_TRUE(Log().isEmpty());
  Feed(ByteString(31, 0x20));
  Tick();
  Tick();
  EXPECT_EQ(Log(), QStringList{QStringLiteral("CRC校验失败！")});  // no received line before it
}

TEST_F(Polling, RelayReplyIsLoggedButNotDecoded) {
  OpenReady();
  Feed(ExampleResponse());
  Tick();
  const QString before = Cell(15);
  const ByteString reply = {0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x01, 0xCD};
  Feed(reply);
  Tick();
  Tick();
  EXPECT_EQ(Log().size(), 17 + 1);
  EXPECT_EQ(Log().back(), ReceivedLine(reply));
  EXPECT_EQ(Cell(15), before);
}

// The answer is decoded whatever byte follows it in the same tick.
TEST_F(Polling, TrailingByteLosesNothing) {
  OpenReady();
  Feed(Join({ExampleResponse(), {0x00}}));
  Tick();
  EXPECT_EQ(Log().size(), 17);
  Feed(Join({ExampleResponse(), {0x01}}));
  Tick();
  Tick();
  EXPECT_EQ(Log().size(), 17 + 17);
  EXPECT_EQ(Log().mid(18), ExampleValueLines());
}

TEST_F(Polling, ResponseSplitOverTwoTicksDecodesOnce) {
  OpenReady();
  const ByteString r = ExampleResponse();
  Feed(ByteString(r.begin(), r.begin() + 40));
  Tick();
  Feed(ByteString(r.begin() + 40, r.end()));
  Tick();
  Tick();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 2 + 16);
  EXPECT_EQ(log.mid(2), ExampleValueLines());
  EXPECT_FALSE(log.contains(QStringLiteral("CRC校验失败！")));
}

TEST_F(Polling, ResponseAfterAnEchoOfTheRequest) {
  OpenReady();
  Feed(Join({modbus::ReadAllRequest(1), ExampleResponse()}));
  Tick();
  EXPECT_EQ(Log().mid(1), ExampleValueLines());
}

TEST_F(Polling, ClosedPortTicksNothing) {
  state_->ClearCalls();
  Tick();
  EXPECT_TRUE(state_->Calls().empty());
  Open();
  Feed(ExampleResponse());
  state_->FailCall("SetCommState");
  Open();  // closes, and the new opening fails: closed again
  state_->ClearCalls();
  Tick();
  EXPECT_TRUE(state_->Calls().empty());
  EXPECT_TRUE(Log().isEmpty());
  EXPECT_EQ(Cell(1), "");
}

TEST_F(Polling, PendingBytesAreGivenUpBeforeASendAndOnOpening) {
  OpenReady();
  const ByteString r = ExampleResponse();
  const ByteString unfinished(r.begin(), r.begin() + 40);  // waits for the rest
  Feed(unfinished);
  Tick();
  Ui().BitBtn1->click();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 3);
  EXPECT_EQ(log[1], QStringLiteral("CRC校验失败！"));  // before the sent line
  EXPECT_EQ(log[2], SentLine(modbus::ReadAllRequest(1)));
  Feed(unfinished);
  Tick();
  OpenReady();  // opening forgets what was pending, silently
  Tick();
  EXPECT_EQ(Log().size(), 4);
}

TEST_F(Polling, SendIntoAFullQueueIsReported) {
  OpenReady();
  state_->SetWriteLimit(0);
  Ui().BitBtn1->click();
  EXPECT_EQ(Log(), QStringList({SentLine(modbus::ReadAllRequest(1)), QStringLiteral("发送失败！")}));
  EXPECT_TRUE(instruments_.boxes.empty());
}

// An unplugged USB adapter on Windows: the device's queries, reads and writes fail with the
// code its driver gives, and the pending wait ends with that code or, with some drivers,
// completes with an empty mask from then on. The window behaves as after a hang-up: quiet
// polls, "发送失败！" for each command, no box; the event thread ends once with the code
// kept, and the same name opens again once the adapter is back.
struct Unplug {
  int code;
  bool empty_completions;
};

void PrintTo(const Unplug& u, std::ostream* os) {
  *os << "code " << u.code << (u.empty_completions ? ", empty completions" : ", failed wait");
}

class UnpluggedAdapter : public WindowTest, public ::testing::WithParamInterface<Unplug> {
 protected:
  static constexpr const char* kFailing[] = {"ClearCommError", "ReadChunk", "WriteChunk"};
};

TEST_P(UnpluggedAdapter, BehavesAsAHangUpAndTheSameNameOpensAgain) {
  const auto [code, empty_completions] = GetParam();
  OpenWith(QStringLiteral("COM3"));
  LinkMode = 0;
  for (const char* call : kFailing) state_->FailCall(call, code);
  if (empty_completions) {
    state_->RepeatEvent(0);
  } else {
    state_->FailCall("WaitCommEvent", code);
  }
  ASSERT_TRUE(test_support::WaitFor([&] {
    QApplication::processEvents();  // hand-overs, if the thread made any
    return window_->XMODEM1().EventWaitFailure() == code;
  }));
  const std::size_t waits = state_->CallCount("WaitCommEvent");
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    Tick();
  }
  EXPECT_TRUE(Log().isEmpty());
  EXPECT_EQ(state_->CallCount("WaitCommEvent"), waits) << "the event thread ended once";
  Ui().BitBtn1->click();
  Ui().BitBtn1->click();
  const QString sent = SentLine(modbus::ReadAllRequest(1));
  EXPECT_EQ(Log(), QStringList({sent, QStringLiteral("发送失败！"), sent, QStringLiteral("发送失败！")}));
  EXPECT_TRUE(instruments_.boxes.empty());

  for (const char* call : kFailing) state_->ClearFailure(call);
  state_->ClearFailure("WaitCommEvent");
  state_->RepeatEvent(std::nullopt);
  OpenWith(QStringLiteral("COM3"));
  EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM3打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_EQ(state_->CallCount("CloseHandle"), 1U) << "the old device was closed before";
  EXPECT_EQ(window_->XMODEM1().EventWaitFailure(), std::nullopt);
  Feed({0x41});
  Tick();
  EXPECT_TRUE(Log().back().endsWith(QStringLiteral(" 接收：41 ")));
}

// ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ERROR_OPERATION_ABORTED.
INSTANTIATE_TEST_SUITE_P(Win32Codes, UnpluggedAdapter,
                         ::testing::Values(Unplug{22, false}, Unplug{5, false}, Unplug{31, false},
                                           Unplug{995, false}, Unplug{22, true}, Unplug{31, true}));

using Commands = WindowTest;

TEST_F(Commands, FirstCommandAfterOpeningSendsTheModeFrameFirst) {
  Open();
  Ui().BitBtn1->click();
  EXPECT_EQ(Written(), Join({modbus::RtuModeFrameBytes(), modbus::ReadAllRequest(1)}));
  EXPECT_EQ(Log(), QStringList({kStamp + QStringLiteral(" 发送：AA 55 00 05 E0 50 00 01 35 "),
                                SentLine(modbus::ReadAllRequest(1))}));
  EXPECT_EQ(instruments_.pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(500)});
  EXPECT_EQ(LinkMode, 0);
  Ui().BitBtn1->click();  // the second one goes out at once
  EXPECT_EQ(Log().size(), 3);
  EXPECT_EQ(instruments_.pauses.size(), 1U);
  Open();  // reopening: the mode frame again
  Ui().RelayButtons[0]->click();
  EXPECT_EQ(Log().size(), 5);
  EXPECT_EQ(Log()[3], kStamp + QStringLiteral(" 发送：AA 55 00 05 E0 50 00 01 35 "));
  EXPECT_EQ(instruments_.pauses.size(), 2U);
}

TEST_F(Commands, RelayFramesForSlaveOne) {
  OpenReady();
  const char* frames[8] = {
      "01 10 00 14 00 01 02 00 01 64 84 ", "01 10 00 14 00 01 02 00 00 A5 44 ",
      "01 10 00 15 00 01 02 00 01 65 55 ", "01 10 00 15 00 01 02 00 00 A4 95 ",
      "01 10 00 16 00 01 02 00 01 65 66 ", "01 10 00 16 00 01 02 00 00 A4 A6 ",
      "01 10 00 17 00 01 02 00 01 64 B7 ", "01 10 00 17 00 01 02 00 00 A5 77 "};
  for (int i = 0; i < 8; ++i) {
    Ui().RelayButtons[i]->click();
    EXPECT_EQ(Log().back(), kStamp + QStringLiteral(" 发送：") + frames[i]) << "Button" << i + 3;
  }
  EXPECT_EQ(Cell(15), "");  // the list changes only with the next read
}

TEST_F(Commands, ConfirmedAddressIsUsedByLaterRequests) {
  OpenReady();
  for (const auto& [text, address_byte] : {std::pair{"2", 0x02}, std::pair{"300", 0x2C}}) {
    Ui().edmodaddr->setText(text);
    Ui().Button2->click();
    Ui().BitBtn1->click();
    const ByteString expected = modbus::ReadAllRequest(address_byte);
    EXPECT_EQ(Log().back(), SentLine(expected)) << text;
    EXPECT_TRUE(modbus::FrameCheckPasses(expected));
  }
}

TEST_F(Commands, AddressConfirmedDuringThePauseApplies) {
  Open();
  instruments_.on_pause = [&] {
    Ui().edmodaddr->setText("5");
    QTimer::singleShot(0, Ui().Button2, &QPushButton::click);  // a click made during the pause
  };
  Ui().BitBtn1->click();
  EXPECT_EQ(Log().back(), SentLine(modbus::ReadAllRequest(5)));
}

TEST_F(Commands, DueTickDuringThePauseLogsTheModuleAnswer) {
  Open();
  const ByteString answer = {0xAA, 0x55, 0x00, 0x01, 0x01};
  instruments_.on_pause = [&] {
    Feed(answer);
    QTimer::singleShot(0, window_.get(), [this] { Tick(); });  // the tick that fell due
  };
  Ui().BitBtn1->click();
  EXPECT_EQ(Log(), QStringList({SentLine(modbus::RtuModeFrameBytes()), ReceivedLine(answer),
                                SentLine(modbus::ReadAllRequest(1))}));
}

TEST_F(Commands, TwoQuickPressesSendModeSecondThenFirst) {
  Open();
  int pauses = 0;
  instruments_.on_pause = [&] {
    // The second press (here a relay button, to tell the requests apart) was made during
    // the pause; it runs to completion inside the first command.
    if (pauses++ == 0) QTimer::singleShot(0, Ui().RelayButtons[0], &QPushButton::click);
  };
  Ui().BitBtn1->click();
  EXPECT_EQ(Written(), Join({modbus::RtuModeFrameBytes(), modbus::RelayRequest(1, 1, true),
                             modbus::ReadAllRequest(1)}));
  EXPECT_EQ(Log().size(), 3);
  EXPECT_EQ(pauses, 1);
}

TEST_F(Commands, PortClosedAfterAFailedOpening) {
  state_->FailCall("CreateFile");
  Open();
  ASSERT_EQ(LinkMode, -1);
  Ui().BitBtn1->click();
  EXPECT_EQ(LinkMode, 0);  // set before the mode frame's write failed
  ASSERT_EQ(instruments_.boxes.size(), 1U);
  EXPECT_EQ(instruments_.boxes[0].text, "Device not opened.");
  EXPECT_TRUE(instruments_.pauses.empty());  // no pause, no request
  Ui().RelayButtons[1]->click();  // skips the mode frame and fails at the request
  EXPECT_EQ(instruments_.boxes.size(), 2U);
  EXPECT_TRUE(instruments_.pauses.empty());
  EXPECT_TRUE(Log().isEmpty());
}

TEST_F(Commands, LogKeepsTheMostRecentLines) {
  OpenReady();
  Ui().Memo1->setMaximumBlockCount(3);  // the window keeps 10^6; the rule is the same
  for (int i = 0; i < 5; ++i) Ui().BitBtn1->click();
  Feed({0x41});
  Tick();
  EXPECT_EQ(Log(), QStringList({SentLine(modbus::ReadAllRequest(1)), SentLine(modbus::ReadAllRequest(1)),
                                ReceivedLine({0x41})}));
}

}  // namespace
}  // namespace rtutest::testing
