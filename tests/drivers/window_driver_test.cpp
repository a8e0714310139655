// The window (offscreen) in the bench's guest on a real driver: every rate and data format
// of its lists reaching the device, the module simulator on the host end of the FTDI line,
// a real unplug and replug of the adapter while the window polls, and closing the window
// while its output cannot drain.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/form_layout.h"
#include "app/logic/serial_ports.h"
#include "app/tests/window_on_module_cases.h"
#include "tests/drivers/bench_line.h"
#include "tests/reliability/process_probe.h"
#include "tests/reliability/window_rig.h"

namespace drivers {
namespace {

using Clock = std::chrono::steady_clock;
using namespace rtutest::testing;  // the shared cases
using reliability::LogCounts;
using reliability::WindowRig;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{10000};
constexpr double kNoSpin = 0.3;  // share of one core; a busy loop comes close to 1.0

// The items of one of the window's drop-down lists, as its form builds them.
std::vector<std::string> WindowList(QComboBox* rtutest::FormControls::*list) {
  QWidget window;
  const rtutest::FormControls ui = rtutest::BuildForm(window);
  std::vector<std::string> items;
  for (int i = 0; i < (ui.*list)->count(); ++i) items.push_back((ui.*list)->itemText(i).toStdString());
  return items;
}

std::string ParamName(const ::testing::TestParamInfo<std::string>& info) { return "x" + info.param; }

// What the device reports while open, in the window's terms.
struct DeviceSettings {
  std::uint32_t baud = 0;
  std::string format;
};

DeviceSettings Reported(serial::TXComm& port) {
  serial::platform::DCB dcb;
  if (!port.GetDCB(dcb)) return {};
  const char parity[] = {'N', 'O', 'E', 'M', 'S'};
  return {dcb.BaudRate, std::string{static_cast<char>('0' + dcb.ByteSize),
                                    dcb.Parity < 5 ? parity[dcb.Parity] : '?',
                                    dcb.StopBits == 2 ? '2' : '1'}};
}

// Opens the window's port with the rate and format texts chosen in its lists, checks that
// the device reports them, and that bytes of that width cross the line and come back.
void OpenAndExchange(const std::string& baud, const std::string& format) {
  WindowRig rig;
  rig.Window().Controls().ComboBox1->setCurrentText(QString::fromStdString(baud));
  rig.Window().Controls().ComboBox6->setCurrentText(QString::fromStdString(format));
  ASSERT_TRUE(rig.OpenPort(DevicePath()));
  serial::TXComm& port = rig.Window().XMODEM1();
  const DeviceSettings reported = Reported(port);
  std::printf("asked %s %s, %s reports %u %s\n", baud.c_str(), format.c_str(),
              DevicePath().c_str(), reported.baud, reported.format.c_str());
  EXPECT_EQ(reported.baud, std::stoul(baud)) << "the driver runs at another rate than asked";
  EXPECT_EQ(reported.format, format) << "the driver runs another data format than asked";
  std::vector<std::uint8_t> bytes = AllByteValues(format[0] - '0');
  bytes.resize(256);
  ASSERT_TRUE(port.SendString(bytes));
  std::vector<std::uint8_t> echo(bytes.size());
  echo.resize(port.ReadBuffer(echo.data(), static_cast<std::uint32_t>(echo.size()), kPatience.count()));
  EXPECT_EQ(echo, bytes);
}

class WindowRate : public ::testing::TestWithParam<std::string> {};
TEST_P(WindowRate, ReachesTheDevice) { OpenAndExchange(GetParam(), "8N1"); }
INSTANTIATE_TEST_SUITE_P(List, WindowRate,
                         ::testing::ValuesIn(WindowList(&rtutest::FormControls::ComboBox1)), ParamName);

class WindowFormat : public ::testing::TestWithParam<std::string> {};
TEST_P(WindowFormat, ReachesTheDevice) { OpenAndExchange("9600", GetParam()); }
INSTANTIATE_TEST_SUITE_P(List, WindowFormat,
                         ::testing::ValuesIn(WindowList(&rtutest::FormControls::ComboBox6)), ParamName);

// A rate the driver cannot run (the 8250 on QEMU's 16550 stops at 115200) is refused: the
// window reports the failed opening, and the port never reads back the rate asked.
class WindowRefusedRate : public ::testing::TestWithParam<std::string> {};
TEST_P(WindowRefusedRate, IsReportedAsAFailedOpening) {
  WindowRig rig;
  rig.Window().Controls().ComboBox1->setCurrentText(QString::fromStdString(GetParam()));
  rig.OpenPort(DevicePath());
  const QString status = rig.Window().Controls().StatusPanels[1]->text();
  const DeviceSettings reported = Reported(rig.Window().XMODEM1());
  std::printf("asked %s 8N1, %s: status \"%s\", device runs %u %s\n", GetParam().c_str(),
              DevicePath().c_str(), status.toStdString().c_str(), reported.baud,
              reported.format.c_str());
  EXPECT_EQ(status, QString::fromStdString(DevicePath()) + QStringLiteral("打开失败"));
  EXPECT_NE(reported.baud, std::stoul(GetParam())) << "the port reads back a rate not run";
}
INSTANTIATE_TEST_SUITE_P(List, WindowRefusedRate,
                         ::testing::Values("230400", "460800", "921600"), ParamName);

// ---- against the module simulator on the host end -------------------------------------

// The bench's line of the shared cases: the host's simulator shows neither what it received
// nor its relays; the window's log and list show its answers.
class BenchModule : public rtutest::testing::DeviceWindow {
 protected:
  void Connect() { Ui().Edit1->setText(QString::fromStdString(DevicePath())); }
  std::optional<modbus::ByteString> WireHolding(std::size_t /*bytes*/) { return std::nullopt; }
  std::optional<int> RelayAtModule(int /*relay*/) { return std::nullopt; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Bench, WindowAgainstModule, BenchModule);

class WindowOnModule : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.OpenPort(DevicePath())); }

  // A read-all whose answer is decoded once all 53 bytes wait; returns what the log showed.
  LogCounts ReadAll() {
    rig_.Read();
    const auto answered = [&] { return rig_.Window().XMODEM1().InQueueCount() >= 53; };
    EXPECT_TRUE(reliability::WaitFor(answered, kPatience)) << "the module's answer did not arrive";
    rig_.Tick();
    LogCounts counts;
    rig_.TakeLog(counts);
    return counts;
  }

  WindowRig rig_;
};

// The line's USB device is pulled out while the window polls, then put back. The polls
// after the unplug are cheap, at most one failure box shows, the next command reports
// "发送失败！"; once back the device must have its old name again, so that pressing 打开串口
// and talking to the far end work. `exchange` talks once and says whether it worked.
void UnplugWhilePollingAndReplug(WindowRig& rig, const std::function<bool()>& exchange) {
  ASSERT_TRUE(exchange());
  const std::string device = DevicePath();
  const auto unplugged = Clock::now();
  ASSERT_NO_THROW(Unplug());
  ASSERT_GE(WaitForNode(device, false, kPatience).count(), 0) << device << " stayed after the unplug";
  std::printf("after the unplug %s was gone in %lld ms\n", device.c_str(),
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - unplugged).count()));
  const double share = reliability::CpuShareOver(milliseconds(2000), [&] {
    rig.ProcessEvents();
    rig.Tick();
  });
  std::printf("window polling after the unplug: %.1f %% of one core, %zu failure box(es)\n",
              share * 100, rig.Boxes().size());
  EXPECT_LT(share, kNoSpin);
  EXPECT_LE(rig.Boxes().size(), 1u);
  LogCounts after;
  rig.TakeLog(after);
  rig.Read();
  rig.TakeLog(after);
  EXPECT_GE(after.send_failures, 1) << "the next command did not report 发送失败！";

  const auto plugged = Clock::now();
  ASSERT_NO_THROW(Plug());
  // The device comes back under the first free number of its kind.
  const std::string kind = device.substr(0, device.find_last_not_of("0123456789") + 1);
  const std::string other = kind + "1";
  const auto exists = [](const std::string& path) { return WaitForNode(path, true, milliseconds(0)).count() >= 0; };
  ASSERT_TRUE(reliability::WaitFor([&] { return exists(device) || exists(other); }, kPatience))
      << "the device did not come back";
  const bool as_before = exists(device);
  std::printf("after the replug (%lld ms): %s %s, %s %s\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - plugged).count()),
              device.c_str(), as_before ? "is back" : "is missing", other.c_str(),
              exists(other) ? "exists" : "does not exist");
  EXPECT_TRUE(as_before) << "the device came back under another number";
  ASSERT_TRUE(rig.OpenPort(device));
  EXPECT_TRUE(exchange());
}

TEST_F(WindowOnModule, AnUnplugWhilePollingIsReportedAndTheReplugWorksAgain) {
  UnplugWhilePollingAndReplug(rig_, [this] { return ReadAll().decodes == 1; });
}

// The same with an echoing far end, for a line with no module behind it.
TEST(WindowOnEcho, AnUnplugWhilePollingIsReportedAndTheReplugWorksAgain) {
  WindowRig rig;
  ASSERT_TRUE(rig.OpenPort(DevicePath()));
  const auto echoed = [&rig] {
    const std::vector<std::uint8_t> frame{0x01, 0x10, 0x00, 0x14, 0x00, 0x01};
    serial::TXComm& port = rig.Window().XMODEM1();
    if (!port.SendString(frame)) return false;
    std::vector<std::uint8_t> echo(frame.size());
    echo.resize(port.ReadBuffer(echo.data(), static_cast<std::uint32_t>(echo.size()), kPatience.count()));
    return echo == frame;
  };
  UnplugWhilePollingAndReplug(rig, echoed);
}

// ---- the ports of the guest ------------------------------------------------------------

// ttyS2 and ttyS3 of the guest are serial-core ports with no UART behind them (a PC's
// firmware registers up to 32): the node opens, but no setting can be read or made. The
// component's opening fails and leaves nothing open, the window's reason says why, and
// its port list leaves them out.
TEST(WindowGhostPort, TheFailedOpeningSaysThereIsNoUart) {
  WindowRig rig;
  EXPECT_FALSE(rig.OpenPort(DevicePath()));
  EXPECT_FALSE(rig.Window().XMODEM1().IsOpen());
  const QString status = rig.Window().Controls().StatusPanels[1]->text();
  const QString reason = rig.Window().Controls().StatusPanels[1]->toolTip();
  std::printf("%s: \"%s\", tooltip \"%s\"\n", DevicePath().c_str(), status.toStdString().c_str(),
              reason.toStdString().c_str());
  EXPECT_EQ(status, QString::fromStdString(DevicePath()) + QStringLiteral("打开失败"));
  EXPECT_TRUE(reason.contains(QStringLiteral("这个端口没有 UART"))) << reason.toStdString();
}

TEST(PortList, ShowsThePortsThatExistWithTheirUsbDescriptions) {
  QStringList listed;
  for (const rtutest::SerialPortInfo& port : rtutest::SerialPorts()) {
    listed << port.name + "|" + port.description;
    std::printf("%s  %s\n", port.name.toStdString().c_str(), port.description.toStdString().c_str());
  }
  const QStringList expected = {"/dev/ttyUSB0|QEMU QEMU USB SERIAL 1-0000:00:03.0-1",
                                "/dev/ttyACM0|Bench ACM-line BENCH0001", "/dev/ttyS0|", "/dev/ttyS1|"};
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(rtutest::SerialDeviceNames(), QStringList({"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1"}));
}

// ---- closing while output cannot drain ------------------------------------------------

// Ends the process when a step overruns its limit, after saying how long it was given: a
// close that waits for a driver's 30 s closing wait must not hold the whole bench.
class StepLimit {
 public:
  StepLimit(const char* step, milliseconds limit)
      : thread_([=, this] {
          std::unique_lock lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::printf("%s still waiting after its %lld ms limit\n", step, static_cast<long long>(limit.count()));
            std::fflush(stdout);
            std::_Exit(1);
          }
        }) {}
  ~StepLimit() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

TEST(WindowClosing, TakesUnderOneSecondWhileOutputCannotDrain) {
  auto rig = std::make_unique<WindowRig>();
  ASSERT_TRUE(rig->OpenPort(DevicePath()));
  const std::uint32_t sent = StallOutput(rig->Window().XMODEM1());
  std::printf("sent %u bytes into the stalled line\n", sent);
  const auto start = Clock::now();
  {
    StepLimit limit("closing the window", milliseconds(5000));
    rig.reset();
  }
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  std::printf("closing the window took %lld ms\n", static_cast<long long>(took.count()));
  EXPECT_LT(took, milliseconds(1000));
}

}  // namespace
}  // namespace drivers
