// The window built for Windows, under Wine, on a COM port whose far end the module simulator
// serves (wine_com_peer; fixed values): opening at 9600 8N1, the read-all answer in the log
// and the list, each relay button's frame on the wire, the mode frame once per opening, and
// a failed opening with its reason. The wire file holds every byte the window sent, as the
// line carried it. The timer is stopped: each tick runs once the bytes it should log wait.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/tests/window_fixture.h"
#include "modbus/hex_text.h"
#include "modbus/tests/reference_frames.h"
#include "serial/tests/wait_queued.h"

namespace rtutest::testing {
namespace {

using modbus::ByteString;
namespace frames = modbus::testing_frames;

const QString kMode = QString::fromLatin1(frames::kModeFrameHex);
const QString kReadSlave1 = QStringLiteral("01 03 00 00 00 18 45 C0 ");

QString Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? QString::fromLocal8Bit(value) : QString();
}

class WindowUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("RTUTEST_COM_PORT").isEmpty()) << "run through wine_com_peer";
    LinkMode = 0;  // as at program start
    instruments_.Attach(window_);
    // The half-second pause after the mode frame: the frame has left, then the tick that
    // falls due meanwhile runs.
    instruments_.on_pause = [this] {
      EXPECT_TRUE(WaitForWire(wire_before_pause_ + kMode.size() / 3));
      Tick();
    };
    window_.Controls().Edit1->setText(Env("RTUTEST_COM_PORT"));
  }

  const FormControls& Ui() const { return window_.Controls(); }
  QStringList Log() const { return LogOf(window_); }
  void Tick() { window_.RunHandler([this] { window_.Timer1Timer(); }); }

  // Everything the window has sent, as hex text.
  QString Wire() const {
    std::ifstream in(Env("RTUTEST_COM_WIRE").toStdString(), std::ios::binary);
    const ByteString bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return QString::fromStdString(modbus::BytesToHex(bytes));
  }
  bool WaitForWire(qsizetype bytes) {
    return test_support::WaitFor([&] { return Wire().size() >= bytes * 3; },
                                 [](std::chrono::milliseconds) { QCoreApplication::processEvents(); });
  }
  // Presses a command button; once its frames have left and `answer` bytes are waiting, ticks.
  void Press(QPushButton* button, int answer) {
    wire_before_pause_ = Wire().size() / 3;
    const bool mode_first = LinkMode != 0;
    const qsizetype sent = wire_before_pause_;
    button->click();
    ASSERT_TRUE(WaitForWire(sent + 1)) << "nothing was sent";
    EXPECT_TRUE(serial::testing_support::WaitQueued(window_.XMODEM1(), answer, test_support::kDeadline,
                                                    [] { QCoreApplication::processEvents(); }))
        << "no answer of " << answer << " bytes" << (mode_first ? " after the mode frame" : "");
    Tick();
  }
  // The bytes the log shows as received since line `from`, joined.
  QString ReceivedSince(qsizetype from) const {
    QString all;
    for (const QString& line : Log().mid(from)) {
      if (line.contains(QStringLiteral(" 接收："))) all += line.section(QStringLiteral(" 接收："), 1);
    }
    return all;
  }

  TfrmRTUTest window_;  // on this build's own platform: the Win32 backend
  Instruments instruments_;
  qsizetype wire_before_pause_ = 0;
};

TEST_F(WindowUnderWine, OpensTheComPortAt9600With8N1AndSaysSo) {
  Ui().Button1->click();
  EXPECT_EQ(window_.StatusPanelText(1),
            Env("RTUTEST_COM_PORT") + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_TRUE(window_.XMODEM1().IsOpen());
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(WindowUnderWine, ReadAllFillsTheLogAndTheListAndTheModeFrameGoesOutOncePerOpening) {
  Ui().Button1->click();
  Press(Ui().BitBtn1, 53);
  EXPECT_EQ(ReceivedSince(0), QString::fromStdString(modbus::BytesToHex(frames::ExampleResponse())));
  const QStringList values = {"AI0=1.000", "AI1=10.000", "AI2=23.456", "AI3=-0.500"};
  for (const QString& line : values) EXPECT_TRUE(Log().contains(line)) << line.toStdString();
  EXPECT_EQ(CellOf(window_, 1), "1.000");
  EXPECT_EQ(CellOf(window_, 3), "23.456");
  EXPECT_EQ(CellOf(window_, 4), "-0.500");
  Press(Ui().BitBtn1, 53);
  Ui().Button1->click();  // closes and opens again: the mode frame goes out once more
  Press(Ui().BitBtn1, 53);
  EXPECT_EQ(Wire(), kMode + kReadSlave1 + kReadSlave1 + kMode + kReadSlave1);
  EXPECT_EQ(Log().count(QStringLiteral("CRC校验失败！")), 0);
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(WindowUnderWine, EachRelayButtonSendsItsFrameAndLogsTheReply) {
  Ui().Button1->click();
  QString expected_wire = kMode;
  for (int i = 0; i < 8; ++i) {
    const auto& relay = frames::kRelayFrames[i];
    SCOPED_TRACE(relay.hex);
    const qsizetype log_before = Log().size();
    Press(Ui().RelayButtons[i], 8);
    expected_wire += QString::fromLatin1(relay.hex);
    EXPECT_EQ(Wire(), expected_wire);
    // The reply repeats the request's first six bytes.
    EXPECT_EQ(ReceivedSince(log_before).left(18), QString::fromLatin1(relay.hex).left(18));
  }
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(WindowUnderWine, AFailedOpeningNamesTheReasonInTheTooltip) {
  Ui().Edit1->setText(QStringLiteral("COM250"));
  Ui().Button1->click();
  EXPECT_EQ(window_.StatusPanelText(1), QStringLiteral("COM250打开失败"));
  EXPECT_FALSE(window_.XMODEM1().IsOpen());
  // Why, in the system's words as UTF-8 (no replacement characters), and which ports exist.
  const QString tip = Ui().StatusPanels[1]->toolTip();
  EXPECT_TRUE(tip.contains(QStringLiteral("COM250"))) << tip.toStdString();
  EXPECT_FALSE(tip.contains(QChar::ReplacementCharacter)) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QStringLiteral("COM1"))) << tip.toStdString();  // Wine's registry lists COM1
}

}  // namespace
}  // namespace rtutest::testing
