#pragma once
// A window on the in-memory fake port, with the pause, the clock and the failure box
// replaced by recorders, and its timer stopped: tests drive every tick themselves.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <vector>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <QCoreApplication>

#include "app/rtutest.h"
#include "serial/platform/fake/fake_platform.h"
#include "serial/tests/wait_queued.h"
#include "tests/support/wait_for.h"

// Failure messages show texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace rtutest::testing {

struct ShownBox {
  QString title;
  QString text;
};

// The clock every test window reads: 5 March 2024, 14:07:09, shown in en_US form.
inline QDateTime TestNow() { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)); }
inline const QString kStamp = QStringLiteral("3/5/24 2:07:09 PM");

// The texts of the traffic log, one per line (none for an empty log).
inline QStringList LogOf(const TfrmRTUTest& window) {
  const QString text = window.Controls().Memo1->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(u'\n');
}

inline QString CellOf(const TfrmRTUTest& window, int row, int column = 1) {
  return window.Controls().ListView1->topLevelItem(row)->text(column);
}

// One tick as the window's timer runs it (a failure goes to the failure box).
inline void TickOf(TfrmRTUTest& window) {
  window.RunHandler([&window] { window.Timer1Timer(); });
}

// Instruments a window: its timer stopped (tests tick), recorded pauses and boxes, a fixed
// clock, en_US formats. Every window test builds on it: the fake-port fixture below, the
// end-to-end module window, the reliability rig and the Wine window tests.
class Instruments {
 public:
  void Attach(TfrmRTUTest& window) {
    window.Controls().Timer1->stop();
    window.SetPause([this](std::chrono::milliseconds d) {
      pauses.push_back(d);
      if (on_pause) on_pause();
    });
    window.SetClock(TestNow);
    window.SetLogLocale(QLocale(QStringLiteral("en_US")));
    window.Failures().SetPresenter([this](const QString& title, const QString& text) {
      boxes.push_back({title, text});
      if (on_box) on_box();
    });
  }

  std::vector<std::chrono::milliseconds> pauses;
  std::vector<ShownBox> boxes;
  std::function<void()> on_pause;  // runs inside the pause after the mode frame
  std::function<void()> on_box;    // runs while a failure box is shown
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LinkMode = 0;  // as at program start
    state_ = platform_->State();
    window_ = std::make_unique<TfrmRTUTest>(platform_);
    instruments_.Attach(*window_);
  }

  const FormControls& Ui() const { return window_->Controls(); }
  QStringList Log() const { return LogOf(*window_); }
  QString Cell(int row) const { return CellOf(*window_, row); }

  // Presses the open button with these texts (through the event path of a click).
  void OpenWith(const QString& device, const QString& baud = "9600", const QString& format = "8N1") {
    Ui().Edit1->setText(device);
    Ui().ComboBox1->setEditText(baud);
    Ui().ComboBox6->setEditText(format);
    Ui().Button1->click();
  }
  void Open() { OpenWith(QStringLiteral("COM1")); }
  // Opened with the mode frame already sent, as after a first command.
  void OpenReady() {
    Open();
    LinkMode = 0;
  }
  void Tick() { TickOf(*window_); }
  void Feed(const modbus::ByteString& bytes) { state_->Feed(bytes); }
  modbus::ByteString Written() const { return state_->Written(); }

  std::shared_ptr<serial::platform::fake::FakePlatform> platform_ =
      std::make_shared<serial::platform::fake::FakePlatform>();
  std::shared_ptr<serial::platform::fake::FakeState> state_;
  std::unique_ptr<TfrmRTUTest> window_;
  Instruments instruments_;
};

// A window on this build's own platform (a real terminal device, or a COM port), instrumented.
// Tests tick when the bytes they wait for have arrived, so a tick falls exactly where the
// test wants it.
class DeviceWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    LinkMode = 0;  // as at program start
    instruments_.Attach(window_);
  }

  const FormControls& Ui() const { return window_.Controls(); }
  QStringList Log() const { return LogOf(window_); }
  QString Cell(int row) const { return CellOf(window_, row); }
  QStringList Tail(int n) const { return Log().mid(Log().size() - n); }
  void Tick() { TickOf(window_); }
  void PressOpen() { Ui().Button1->click(); }
  void PressRead() { Ui().BitBtn1->click(); }
  // Until the port holds count bytes, letting queued events (the port's notifications) run
  // meanwhile as the window's event loop would between ticks.
  bool WaitUntilWaiting(std::uint32_t count) {
    return serial::testing_support::WaitQueued(window_.XMODEM1(), count, test_support::kDeadline,
                                               [] { QCoreApplication::processEvents(); });
  }
  void TickWhenWaiting(std::uint32_t count) {
    EXPECT_TRUE(WaitUntilWaiting(count)) << "waited for " << count << " bytes";
    Tick();
  }
  int CountOf(const QString& line) const { return static_cast<int>(Log().count(line)); }
  // Lines written by decoding the example answer (AI0=1.000 starts each), and check failures.
  int DecodedAnswers() const { return CountOf(QStringLiteral("AI0=1.000")); }
  int CheckFailures() const { return CountOf(QStringLiteral("CRC校验失败！")); }

  TfrmRTUTest window_;
  Instruments instruments_;
};

inline QString Hex(const modbus::ByteString& bytes) {
  QString text;
  for (std::uint8_t b : bytes) text += QStringLiteral("%1 ").arg(uint{b}, 2, 16, QChar(u'0')).toUpper();
  return text;
}

// The log's line for a frame sent, or a block received, at the test clock's time.
inline QString SentLine(const modbus::ByteString& frame) {
  return kStamp + QStringLiteral(" 发送：") + Hex(frame);
}
inline QString ReceivedLine(const modbus::ByteString& block) {
  return kStamp + QStringLiteral(" 接收：") + Hex(block);
}

// The sixteen value lines of the module's example answer, with the relays given.
inline QStringList ExampleValueLines(const QStringList& outputs = {"00 ", "01 ", "00 ", "00 "}) {
  QStringList lines = {"AI0=1.000", "AI1=10.000", "AI2=23.456", "AI3=-0.500", "AI4=0.000",
                       "AI5=0.000", "AI6=0.000",  "AI7=0.000",  "DI1=01 ",    "DI2=00 ",
                       "DI3=01 ",   "DI4=00 "};
  for (int j = 0; j < outputs.size(); ++j) lines << QStringLiteral("DO%1=").arg(j + 1) + outputs[j];
  return lines;
}

inline modbus::ByteString Join(std::initializer_list<modbus::ByteString> parts) {
  modbus::ByteString all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace rtutest::testing
