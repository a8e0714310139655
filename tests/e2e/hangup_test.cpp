// The device goes away in the middle of a session (an adapter pulled, a bench reset) and
// comes back under the same stable name.
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "modbus/tests/reference_frames.h"
#include "tests/e2e/module_window.h"
#include "tests/support/cpu_time.h"

namespace rtutest::e2e {
namespace {

using std::chrono::milliseconds;

const modbus::ByteString kReadSlave1 = modbus::testing_frames::ReadSlave1();

class HangUp : public ModuleWindow {
 protected:
  // The device is away this long: long enough for a second of ticks and a command.
  static constexpr milliseconds kAway{1500};

  void StartModuleThatHangsUp() {
    sim::SimulatorOptions options = FixedModule();
    options.link = ::testing::TempDir() + "qlm7305-e2e-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
    options.faults.hangup_after = 2;  // the mode frame and the first read
    options.faults.hangup_for = kAway;
    Start(options);
    link_ = QString::fromStdString(Module().LinkPath());
    window_.Controls().Edit1->setText(link_);
  }

  bool WaitForHangUps(std::uint64_t n) {
    return Module().WaitUntil([n](const sim::ModuleCounters& c) { return c.hangups >= n; },
                              kDeadline);
  }

  // Runs the window's own 200 ms timer for about a second; returns the process's CPU time
  // meanwhile (the module's thread included).
  double CpuOverASecondOfTicks() {
    const auto start = test_support::ProcessCpuTime();
    window_.Controls().Timer1->start();
    QTest::qWait(1000);
    window_.Controls().Timer1->stop();
    return (test_support::ProcessCpuTime() - start).count();
  }

  QString link_;
};

TEST_F(HangUp, LostDeviceIsReportedWithoutSpinningAndReopensOnceBack) {
  StartModuleThatHangsUp();
  PressOpen();
  ASSERT_EQ(window_.StatusPanelText(1), link_ + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  ReadAndTick();
  ASSERT_EQ(DecodedAnswers(), 1);
  ASSERT_TRUE(WaitForHangUps(1));

  // Ticks go on while a failure box is shown (the box is modal, the timer is not stopped):
  // the box never stacks.
  int ticks_inside_box = 0;
  instruments_.on_box = [&] {
    const std::size_t shown = instruments_.boxes.size();
    for (int i = 0; i < 3; ++i, ++ticks_inside_box) Tick();
    EXPECT_EQ(instruments_.boxes.size(), shown) << "a second box over the first";
  };
  const double cpu = CpuOverASecondOfTicks();
  EXPECT_LT(cpu, 0.5) << "the process kept a core busy while the device was away";
  const std::size_t boxes_from_ticks = instruments_.boxes.size();
  EXPECT_LE(boxes_from_ticks, 6U);  // at most one per tick

  // A command on the lost device says so: a failure line after its sent line, or a box.
  const QStringList before = Log();
  PressRead();
  const bool send_failure_line =
      Log() == before + QStringList{SentLine(kReadSlave1), QStringLiteral("发送失败！")};
  const bool box = Log() == before && instruments_.boxes.size() == boxes_from_ticks + 1;
  EXPECT_TRUE(send_failure_line || box) << Log().join('\n').toStdString();
  RecordProperty("cpu_ms", static_cast<int>(cpu * 1000));
  RecordProperty("boxes_from_ticks", static_cast<int>(boxes_from_ticks));
  RecordProperty("ticks_inside_box", ticks_inside_box);
  RecordProperty("send_failure_line", send_failure_line ? 1 : 0);

  // Once the device is back under the link, the open button reaches it again.
  ASSERT_TRUE(Module().WaitUntil([](const sim::ModuleCounters& c) { return c.line_opens >= 2; },
                                 kAway + kDeadline));
  PressOpen();
  EXPECT_EQ(window_.StatusPanelText(1), link_ + QStringLiteral("打开成功,BaudRate=9600,参数=8N1"));
  instruments_.on_box = nullptr;
  const std::size_t boxes = instruments_.boxes.size();
  ReadAndTick();  // the mode frame goes out again after the reopening
  EXPECT_EQ(DecodedAnswers(), 2);
  EXPECT_EQ(CheckFailures(), 0);
  EXPECT_EQ(instruments_.boxes.size(), boxes);
  EXPECT_EQ(Module().Counters().mode_frames, 2U);
}

}  // namespace
}  // namespace rtutest::e2e
