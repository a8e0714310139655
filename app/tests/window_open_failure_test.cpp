// Why an opening failed: the status text stays "<name>打开失败"; the panel's tooltip names
// the cause with the system's own text. On the fake (every cause) and on a pseudo-terminal.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <QLabel>

#include "app/logic/serial_ports.h"
#include "app/tests/window_fixture.h"
#include "serial/platform/testing/pty_pair.h"

namespace rtutest::testing {
namespace {

QString Tip(const TfrmRTUTest& window) { return window.Controls().StatusPanels[1]->toolTip(); }

QString SystemSays(int error) {
  return QStringLiteral("系统错误 %1：%2").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

struct Refusal {
  const char* call;  // the fake's call that fails
  int error;
  const char* says;  // must appear in the tooltip
};

class RefusedOpening : public WindowTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedOpening, StatusStaysTheTooltipSaysWhy) {
  const Refusal& r = GetParam();
  state_->FailCall(r.call, r.error);
  OpenWith(QStringLiteral("COM3"), QStringLiteral("76800"), QStringLiteral("7O2"));
  EXPECT_EQ(window_->StatusPanelText(1), QStringLiteral("COM3打开失败"));
  EXPECT_FALSE(window_->XMODEM1().IsOpen());
  EXPECT_TRUE(Tip(*window_).contains(QString::fromUtf8(r.says))) << Tip(*window_).toStdString();
  EXPECT_TRUE(Tip(*window_).contains(SystemSays(r.error))) << Tip(*window_).toStdString();
  EXPECT_TRUE(instruments_.boxes.empty());
  state_->ClearFailure(r.call);
  Open();  // a later success takes the reason away
  EXPECT_EQ(Tip(*window_), QString());
}

INSTANTIATE_TEST_SUITE_P(
    EachCause, RefusedOpening,
    ::testing::Values(Refusal{"CreateFile", ENOENT, "没有这个设备：/dev/ttyS2"},
                      Refusal{"CreateFile", EACCES, "sudo usermod -aG "},
                      Refusal{"CreateFile", EBUSY, "/dev/ttyS2 正被其他程序使用"},
                      Refusal{"CreateFile", ENOTTY, "/dev/ttyS2 不是串口设备"},
                      Refusal{"SetCommState", EINVAL, "不接受所设的波特率 76800 或数据格式 7O2"},
                      Refusal{"SetupComm", EINVAL, "不接受所设的收发缓冲区大小"},
                      Refusal{"SetCommTimeouts", EINVAL, "不接受所设的超时时间"}));

// The group named is the one that owns the device file, with the command that adds the user.
using OpenFailureTip = WindowTest;

TEST_F(OpenFailureTip, PermissionNamesTheOwningGroup) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "rtutest_owned_device";
  std::ofstream(file).put('x');
  const QString group = OwnerGroup(file);
  ASSERT_FALSE(group.isEmpty());
  state_->FailCall("CreateFile", EACCES);
  OpenWith(QString::fromStdString(file.string()));
  std::filesystem::remove(file);
  EXPECT_TRUE(Tip(*window_).contains(QStringLiteral("该设备属于用户组 ") + group)) << Tip(*window_).toStdString();
  EXPECT_TRUE(Tip(*window_).contains(QStringLiteral("sudo usermod -aG %1 $USER，然后重新登录").arg(group)));
}

TEST_F(OpenFailureTip, EmptyFormatSaysSo) {
  OpenWith(QStringLiteral("COM1"), QStringLiteral("9600"), QString());
  EXPECT_EQ(Tip(*window_), QStringLiteral("没有填写数据格式，未打开 /dev/ttyS0。"));
}

// On the platform of this build, against real files.
class RealRefusal : public ::testing::Test {
 protected:
  void SetUp() override { instruments_.Attach(window_); }
  QString OpenNamed(const QString& name) {
    window_.Controls().Edit1->setText(name);
    window_.Controls().Button1->click();
    EXPECT_EQ(window_.StatusPanelText(1), name + QStringLiteral("打开失败"));
    return Tip(window_);
  }
  TfrmRTUTest window_;
  Instruments instruments_;
};

TEST_F(RealRefusal, NoSuchDeviceListsThosePresent) {
  const QString tip = OpenNamed(QStringLiteral("/dev/rtutest-no-such-port"));
  EXPECT_TRUE(tip.startsWith(QStringLiteral("没有这个设备：/dev/rtutest-no-such-port"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(SystemSays(ENOENT))) << tip.toStdString();
  const QStringList present = SerialDeviceNames();
  EXPECT_TRUE(present.isEmpty() ? tip.endsWith(QStringLiteral("本机没有找到串口设备。"))
                                : tip.contains(present.join(QStringLiteral("、"))))
      << tip.toStdString();
}

TEST_F(RealRefusal, PseudoTerminalInUseByAnotherProgram) {
  serial::platform::testing::PtyPair pty;
  const QString path = QString::fromStdString(pty.SlavePath());
  serial::TXComm other;  // another program holds the device
  other.SetDeviceName(pty.SlavePath());
  ASSERT_TRUE(other.Open());
  const QString tip = OpenNamed(path);
  EXPECT_TRUE(tip.startsWith(path + QStringLiteral(" 正被其他程序使用"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(SystemSays(EBUSY))) << tip.toStdString();
}

TEST_F(RealRefusal, NotASerialDevice) {
  for (const QString& name : {QStringLiteral("/dev/null"), QStringLiteral("/dev")}) {
    const QString tip = OpenNamed(name);
    EXPECT_TRUE(tip.startsWith(name + QStringLiteral(" 不是串口设备"))) << tip.toStdString();
  }
}

}  // namespace
}  // namespace rtutest::testing
