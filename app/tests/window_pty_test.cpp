// The window on a real terminal device: the test plays the module on the master side of a
// pseudo-terminal pair and checks the log and the list byte for byte.
#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QTest>

#include "app/tests/window_fixture.h"
#include "modbus/requests.h"
#include "modbus/tests/reference_frames.h"
#include "serial/platform/testing/pty_pair.h"

namespace rtutest::testing {
namespace {

using modbus::ByteString;
using serial::platform::testing::PtyPair;

class PtyWindow : public DeviceWindow {
 protected:
  void SetUp() override {
    DeviceWindow::SetUp();
    window_.Controls().Edit1->setText(path_);
  }

  PtyPair pty_;
  const QString path_ = QString::fromStdString(pty_.SlavePath());
};

TEST_F(PtyWindow, OpenReadAndShowTheAnswer) {
  window_.Controls().Button1->click();
  ASSERT_EQ(window_.StatusPanelText(1), path_ + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  const ByteString mode_answer = {0xAA, 0x55, 0x00, 0x01, 0x00};
  instruments_.on_pause = [&] {
    EXPECT_EQ(pty_.Read(9), modbus::RtuModeFrameBytes());
    ASSERT_TRUE(pty_.Write(mode_answer));
    TickWhenWaiting(5);  // the tick that falls due during the pause
  };
  window_.Controls().BitBtn1->click();
  EXPECT_EQ(pty_.Read(8), modbus::ReadAllRequest(1));
  ASSERT_TRUE(pty_.Write(modbus::testing_frames::ExampleResponse()));
  TickWhenWaiting(53);
  const QStringList expected = {
      kStamp + QStringLiteral(" 发送：AA 55 00 05 E0 50 00 01 35 "),
      kStamp + QStringLiteral(" 接收：AA 55 00 01 00 "),
      kStamp + QStringLiteral(" 发送：01 03 00 00 00 18 45 C0 "),
      kStamp + QStringLiteral(" 接收：01 03 30 00 00 3F 80 00 00 41 20 A5 E3 41 BB 00 00 BF 00 "
                              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 "
                              "01 00 00 00 00 00 01 00 00 00 00 25 0B "),
      "AI0=1.000", "AI1=10.000", "AI2=23.456", "AI3=-0.500", "AI4=0.000", "AI5=0.000",
      "AI6=0.000", "AI7=0.000", "DI1=01 ", "DI2=00 ", "DI3=01 ", "DI4=00 ",
      "DO1=00 ", "DO2=01 ", "DO3=00 ", "DO4=00 "};
  EXPECT_EQ(LogOf(window_), expected);
  const std::pair<int, const char*> cells[] = {{1, "1.000"}, {2, "10.000"}, {3, "23.456"},
                                               {4, "-0.500"}, {10, "01 "}, {16, "01 "}};
  for (const auto& [row, text] : cells) EXPECT_EQ(CellOf(window_, row), text) << row;
  EXPECT_TRUE(instruments_.boxes.empty());
}

TEST_F(PtyWindow, RelayCommandAndItsReply) {
  window_.Controls().Button1->click();
  LinkMode = 0;
  window_.Controls().RelayButtons[1]->click();  // Button4: relay 1 off
  EXPECT_EQ(pty_.Read(11), (ByteString{0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x02, 0x00, 0x00, 0xA5, 0x44}));
  const ByteString reply = {0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x01, 0xCD};
  ASSERT_TRUE(pty_.Write(reply));
  TickWhenWaiting(8);
  EXPECT_EQ(LogOf(window_).back(), kStamp + QStringLiteral(" 接收：01 10 00 14 00 01 01 CD "));
  EXPECT_EQ(CellOf(window_, 15), "");
}

TEST_F(PtyWindow, ReopeningTheSamePortWorks) {
  window_.Controls().Button1->click();
  window_.Controls().Button1->click();
  EXPECT_TRUE(window_.XMODEM1().IsOpen());
  EXPECT_EQ(window_.StatusPanelText(1), path_ + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
}

TEST_F(PtyWindow, UnpluggedAdapterReportsTheFrameThatDidNotGoOut) {
  window_.Controls().Button1->click();
  LinkMode = 0;
  pty_.CloseMaster();  // the adapter is unplugged
  Tick();  // nothing waiting: nothing happens
  window_.Controls().BitBtn1->click();
  EXPECT_EQ(LogOf(window_), QStringList({kStamp + QStringLiteral(" 发送：01 03 00 00 00 18 45 C0 "),
                                         QStringLiteral("发送失败！")}));
}

TEST_F(PtyWindow, ArrivingBytesAreAnnouncedOnTheWindowsThreadThroughItsEventLoop) {
  window_.Controls().Button1->click();
  ASSERT_TRUE(window_.XMODEM1().IsOpen());
  std::vector<std::thread::id> threads;
  std::uint32_t last_count = 0;
  window_.XMODEM1().SetOnData([&](serial::TCustomComm&, std::uint32_t received) {
    threads.push_back(std::this_thread::get_id());
    last_count = received;
  });
  ASSERT_TRUE(pty_.Write(ByteString{0x01, 0x02, 0x03}));
  // Only the event loop runs the handed-over notification: nothing is called directly.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !threads.empty(); }, 5000));
  ASSERT_FALSE(threads.empty());
  EXPECT_EQ(threads.front(), std::this_thread::get_id());
  EXPECT_EQ(last_count, 3U);
  // Closing with the port quiet delivers nothing further.
  window_.Controls().Button1->click();
  const auto delivered = threads.size();
  QCoreApplication::processEvents();
  EXPECT_EQ(threads.size(), delivered);
}

}  // namespace
}  // namespace rtutest::testing
